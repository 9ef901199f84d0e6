// The extra menu: a full-screen sub-screen of the title with the picture, movie and music
// galleries and a back button. A gallery choice fades to black and hands the choice to the
// title; back fades the menu out and returns to the title's main menu.
#pragma once

#include <cstdint>
#include <functional>

#include "screens/screen_resources.h"

extern const char kExtraMenuBackgroundPath[];  // "System/Title/ExtraMenuBG.bmp"
extern const char kExtraMenuButtonPath[];      // "System/Title/ExtraMenuButton.bmp"

constexpr uint32_t kExtraMenuFadeMs = 500;
constexpr int32_t kExtraMenuButtonCount = 4;

enum : int32_t {
    kExtraFadeIn = 0,
    kExtraIdle = 1,
    kExtraFadeOut = 2,      // back to the title's menu
    kExtraFadeToBlack = 3,  // on to a gallery
    kExtraDone = 4,
};

// Results.
enum : int32_t {
    kExtraPictureGallery = 1,
    kExtraMovieGallery = 2,
    kExtraMusicGallery = 3,
    kExtraBack = 4,
};

// The hover of a column of `count` buttons after this tick's input: on a tick with pointer
// movement or a left release, the last enabled button whose rectangle (edges included) holds the
// pointer, or -1; then one step of Up/Left or Down/Right over the enabled buttons (those of
// `keyEnabled` when given), with wrap-around, which stamps the key guard. Shared by the title's
// menu, the extra menu and the galleries.
int32_t UpdateButtonHover(int32_t hover, int32_t count, SRect (*rect)(int32_t),
                          const std::function<bool(int32_t)>& enabled,
                          const std::function<bool(int32_t)>& keyEnabled = nullptr);

struct CExtraMenu {
    CScreenResources head;
    int32_t state = kExtraDone;
    int32_t hover = -1;
    int32_t result = 0;
    uint32_t stateStart = 0;

    // Loads the background, the button sheet and the two sounds and starts the fade-in.
    // 0, or -1 at the first load failure (the owner then calls Release).
    int32_t Init();
    // The result once the menu is done, else 0.
    int32_t Update();
    // Draws into the owner's scene and advances the timed states.
    void Draw();
    // The input of the idle state.
    void UpdateButtons();
    void Release() { head.Release(); }

private:
    void EnterState(int32_t next);
};
