// What every screen of the game shell shares: the screen head (background, button sheet and the
// two interface sounds), the volume rule, hover and key handling over the input snapshot, the key
// guard, fades and the words of the failure boxes.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/types.h"

class CGraphicsDevice;
class CTexture;
class IDirectSoundPlayer;
struct CConfigBlock;

extern const char kCursorSoundPath[];  // "System/OnCursor.ogg"
extern const char kSelectSoundPath[];  // "System/Select.ogg"
extern const char kErrorCaption[];     // "Error!!"

constexpr int32_t kScreenWidth = 800;
constexpr int32_t kScreenHeight = 600;
constexpr SRect kFullScreenRect = {0, 0, kScreenWidth, kScreenHeight};
constexpr uint32_t kOpaqueWhite = 0xFFFFFFFFu;
// The galleries fade in and out over this time and fade their music out at this speed.
constexpr uint32_t kGalleryFadeMs = 500;
constexpr float kGalleryMusicFadeSpeed = 5.0f;

struct CScreenResources {
    CTexture* background = nullptr;
    CTexture* buttonSheet = nullptr;
    IDirectSoundPlayer* cursorSound = nullptr;
    IDirectSoundPlayer* selectSound = nullptr;

    // Loads the background, the sheet, the cursor sound and the select sound, in that order.
    // 0, or -1 at the first failure (what was loaded stays for Release).
    int32_t Load(const char* backgroundPath, const char* sheetPath);
    int32_t LoadSounds();
    // Releases both textures and closes and deletes both sounds; harmless when nothing is held.
    void Release();
    // The volume rule: both sounds at -10000 when sound effects are off, else at their volume.
    void ApplySoundVolume(const CConfigBlock& config) const;
    void PlayCursor() const;
    void PlaySelect() const;
    // The activation rule of a screen taking input: on a left release, Return or keypad Enter the
    // select sound (when a button is hovered), the key guard, and true; otherwise the cursor sound
    // when the hover moved onto a button since `before`, and false.
    bool TakeActivation(int32_t hover, int32_t before) const;
};

// -10000 when the off switch is set, else the volume.
int32_t VolumeWithSwitch(uint32_t offSwitch, int32_t volume);
// The volume rule for a screen's cursor and select sounds (either may be null).
void ApplySoundEffectVolume(const CConfigBlock& config, IDirectSoundPlayer* cursor, IDirectSoundPlayer* select);
// Loads a system sound into the slot (loose file first, then System.pac). 0 / -1.
int32_t LoadScreenSound(IDirectSoundPlayer** slot, const char* path);
// Closes and deletes the player in the slot; the slot becomes null.
void ReleaseScreenSound(IDirectSoundPlayer** slot);
void ReleaseTexture(CTexture** texture);
// From the start: Seek(0), then Play once.
void PlayScreenSound(IDirectSoundPlayer* sound);

// Fades: alpha = trunc(elapsed / duration × 255), 255 once elapsed is negative or reaches the
// duration.
uint32_t FadeAlpha(uint32_t now, uint32_t start, uint32_t duration);
constexpr uint32_t WhiteWithAlpha(uint32_t alpha) { return alpha << 24 | 0xFFFFFFu; }
constexpr uint32_t BlackWithAlpha(uint32_t alpha) { return alpha << 24; }

// The input snapshot g_Input, as the screens read it.
bool IsHoverTick();          // the mouse moved or the left button was released
bool IsActivation();         // left-button release, Return or keypad Enter
bool IsPreviousKey();        // Up or Left
bool IsNextKey();            // Down or Right
bool IsLeftKey();
bool IsRightKey();
bool IsCancelClick();        // right-button release
SPoint MousePosition();
void StampKeyGuard();        // every key reads as up for the guard period

// The hover after one key step of `direction` (-1 or +1) among `count` items, wrapping at both
// ends, passing over items that are not enabled; at most `count` steps, after which the
// starting value is kept.
int32_t StepHover(int32_t hover, int32_t direction, int32_t count, const std::function<bool(int32_t)>& enabled);

// A top-level screen frame: clear to black, begin the scene / end the scene, present.
void BeginScreenFrame(CGraphicsDevice* device);
void EndScreenFrame(CGraphicsDevice* device);
void DrawSheetSprite(CGraphicsDevice* device, CTexture* sheet, const SRect& source, int32_t x, int32_t y,
                     uint32_t colour);
void DrawBackground(CGraphicsDevice* device, CTexture* background, uint32_t colour);

// A failure box with the caption "Error!!" and the error icon.
void ShowScreenError(const char* textSjis, bool topmost);
