// The configuration screen: 71 buttons that edit a working copy of the user configuration
// (display mode, effects, text speed, auto-mode wait, skipping, the right-click switch, window
// opacity, text style, font face with a live preview, music, sound-effect and voice switches and
// volumes) plus the closing buttons. Every activation writes the whole working copy back into
// g_Config at once. Opened from the title (opener 0) and from the in-game menu (opener 1).
#pragma once

#include <cstdint>

#include "app/system_data.h"
#include "screens/screen_resources.h"
#include "screens/yes_no_dialog.h"

constexpr int32_t kConfigButtonCount = 71;
constexpr int32_t kMaxFontFaces = 256;
constexpr int32_t kFaceNameSize = 32;

enum : int32_t { kConfigFromTitle = 0, kConfigFromMenu = 1 };
// Results of CConfigScreen::Update.
enum : int32_t {
    kConfigWritten = 1,        // the working copy reached g_Config this tick
    kConfigClosed = 2,
    kConfigReturnToTitle = 3,  // question 1 answered yes
    kConfigQuit = 4,           // question 2 answered yes
};
// Hover after a closing button was used.
constexpr int32_t kConfigHoverClosed = -2;

struct CConfigScreen {
    int32_t opener = kConfigFromTitle;
    CScreenResources head;      // "System/Menu/ConfigBG.bmp", "System/Menu/ConfigButton.bmp", sounds
    CTexture* preview = nullptr;  // the current face name in that face, 180 × 25
    char faceNames[kMaxFontFaces][kFaceNameSize] = {};
    int32_t faceCount = 0;
    int32_t currentFace = -1;  // -1: the stored face is not among the faces found
    CConfigBlock working = {};
    int32_t hover = -1;
    // 0 fade in, 1 idle, 2 question 1 open, 3 question 2 open, 4 fade out, 5 fade to black, 6 done
    int32_t state = 0;
    uint32_t startTime = 0;
    int32_t result = 0;
    CYesNoDialog dialog;

    CConfigScreen() = default;
    CConfigScreen(const CConfigScreen&) = delete;
    CConfigScreen& operator=(const CConfigScreen&) = delete;
    ~CConfigScreen();

    // 0, or -1 when a picture or sound cannot be loaded (the owner then calls Release).
    int32_t Init(int32_t screenOpener);
    // 0 nothing to do; kConfigWritten; kConfigClosed, kConfigReturnToTitle or kConfigQuit once done.
    int32_t Update();
    // Draws into the owner's scene.
    void Draw();
    void Release();

    // Renders the working face name in that face. 0, or -1 when it cannot be rendered.
    int32_t BuildFontPreview();
    // The previous / next face that can be rendered. When none can, nothing changes.
    void PrevFont();
    void NextFont();

private:
    void StepFont(int32_t direction);
    int32_t HitTest() const;
    bool IsOffered(int32_t id) const;
    bool IsCurrent(int32_t id) const;
    void Activate(int32_t id);
    void AskQuestion(int32_t questionKind, int32_t nextState);
};
