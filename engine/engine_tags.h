// Chunk tags of compiled scripts and of the engine's save state.
#pragma once

#include <cstdint>

#include "files/stream.h"

namespace EngineTag {
// Script container.
constexpr uint32_t kMagic = MakeTag("VSF3");
constexpr uint32_t kHeader = MakeTag("MSTP");
constexpr uint32_t kPage = MakeTag("PAGE");
constexpr uint32_t kEnd = MakeTag("EOF ");
// Page commands; most of them also name the save chunks of their owners.
constexpr uint32_t kMusicNumber = MakeTag("BTNO");
constexpr uint32_t kMusic = MakeTag("BGMT");
constexpr uint32_t kVoiceNumber = MakeTag("VTNO");
constexpr uint32_t kVoice = MakeTag("VOIT");
constexpr uint32_t kEffectNumber = MakeTag("SETN");
constexpr uint32_t kEffect = MakeTag("SET ");
constexpr uint32_t kLayerNumber = MakeTag("IMGN");
constexpr uint32_t kLayer = MakeTag("IMAG");
constexpr uint32_t kMainLayer = MakeTag("MIMG");
constexpr uint32_t kCamera = MakeTag("CAM ");
constexpr uint32_t kLights = MakeTag("LGHT");
constexpr uint32_t kChoices = MakeTag("SELE");
constexpr uint32_t kJumps = MakeTag("JUNP");
constexpr uint32_t kAutoAdvance = MakeTag("ACTL");
constexpr uint32_t kInputLock = MakeTag("KLOK");
constexpr uint32_t kMovie = MakeTag("MOVI");
constexpr uint32_t kHostText = MakeTag("SSCR");
constexpr uint32_t kText = MakeTag("TEXT");
constexpr uint32_t kFlagsUp = MakeTag("FLGU");
constexpr uint32_t kFlagsDown = MakeTag("FLGD");
constexpr uint32_t kCgFlagsUp = MakeTag("CGFU");
constexpr uint32_t kMovieFlagsUp = MakeTag("SFUP");
// Save state.
constexpr uint32_t kKey = MakeTag("CKEY");
constexpr uint32_t kTime = MakeTag("TIME");
constexpr uint32_t kPlayClock = MakeTag("PLAY");
constexpr uint32_t kPageClock = MakeTag("RNEW");
constexpr uint32_t kScript = MakeTag("SCRT");
constexpr uint32_t kFileName = MakeTag("FNAM");
constexpr uint32_t kPageNumber = MakeTag("PNO ");
constexpr uint32_t kGameFlags = MakeTag("FLAG");
}  // namespace EngineTag
