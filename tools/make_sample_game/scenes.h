// The story's pictures: backgrounds, the two characters, event pictures and effect layers.
#pragma once

#include <string>
#include <vector>

#include "tools/make_sample_game/canvas.h"

// LighthouseLit: the night lighthouse with its lamp burning (the Good End after the lamp is lit).
enum class EScene { HarbourDusk, LighthouseNight, LighthouseLit, LampRoom, Market, DawnShore, TitleDusk, TitleNight };
CCanvas PaintScene(EScene scene);

enum class ECharacter { Akari, Shion };
enum class EExpression { Normal, Smile, Worried };
CCanvas PaintCharacter(ECharacter who, EExpression expression);

// Event pictures of the story and the picture gallery, numbered from 1.
constexpr int kEventPictureCount = 6;
CCanvas PaintEventPicture(int number);

// The still of the story movie that asks which lever to pull (the movie table's click areas
// lie on the two levers), in a dim and a bright form.
CCanvas PaintLeverChoice(bool bright);
// A title card: lines of text centred on black.
CCanvas PaintCard(const std::vector<std::string>& lines);

CCanvas PaintLampGlow();    // a warm light, drawn with additive blending
CCanvas PaintNightTint();   // a blue shade, drawn with multiplying blending
CCanvas PaintLensFlare();   // a bright ring for the screen blend
