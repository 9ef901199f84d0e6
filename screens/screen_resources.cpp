#include "screens/screen_resources.h"

#include <cstring>
#include <new>

#include "app/system_data.h"
#include "files/loaders.h"
#include "platform/audio.h"
#include "platform/devices_graphics.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "platform/text_helpers.h"
#include "sound/sound_loaders.h"

const char kCursorSoundPath[] = "System/OnCursor.ogg";
const char kSelectSoundPath[] = "System/Select.ogg";
const char kErrorCaption[] = "Error!!";

int32_t LoadScreenSound(IDirectSoundPlayer** slot, const char* path) {
    if (LoadSystemSound(g_pDirectSound, slot, path) == 0) return 0;
    ReleaseScreenSound(slot);
    return -1;
}

void ReleaseScreenSound(IDirectSoundPlayer** slot) {
    if (*slot == nullptr) return;
    (*slot)->Close();
    delete *slot;
    *slot = nullptr;
}

void ReleaseTexture(CTexture** texture) {
    if (*texture == nullptr) return;
    (*texture)->Release();
    *texture = nullptr;
}

int32_t CScreenResources::Load(const char* backgroundPath, const char* sheetPath) {
    if (LoadSystemTexture(g_pD3DDevice, &background, backgroundPath) != 0) return -1;
    if (LoadSystemTexture(g_pD3DDevice, &buttonSheet, sheetPath) != 0) return -1;
    return LoadSounds();
}

int32_t CScreenResources::LoadSounds() {
    if (LoadScreenSound(&cursorSound, kCursorSoundPath) != 0) return -1;
    return LoadScreenSound(&selectSound, kSelectSoundPath);
}

void CScreenResources::Release() {
    ReleaseTexture(&background);
    ReleaseTexture(&buttonSheet);
    ReleaseScreenSound(&cursorSound);
    ReleaseScreenSound(&selectSound);
}

void CScreenResources::ApplySoundVolume(const CConfigBlock& config) const {
    ApplySoundEffectVolume(config, cursorSound, selectSound);
}

void CScreenResources::PlayCursor() const { PlayScreenSound(cursorSound); }

bool CScreenResources::TakeActivation(int32_t hover, int32_t before) const {
    if (IsActivation()) {
        if (hover != -1) PlaySelect();
        StampKeyGuard();
        return true;
    }
    if (hover != -1 && hover != before) PlayCursor();
    return false;
}
void CScreenResources::PlaySelect() const { PlayScreenSound(selectSound); }

int32_t VolumeWithSwitch(uint32_t offSwitch, int32_t volume) { return offSwitch != 0 ? -10000 : volume; }

void ApplySoundEffectVolume(const CConfigBlock& config, IDirectSoundPlayer* cursor, IDirectSoundPlayer* select) {
    const int32_t volume = VolumeWithSwitch(config.seOff, config.settings.seVolume);
    if (cursor != nullptr) cursor->SetMasterVolume(volume);
    if (select != nullptr) select->SetMasterVolume(volume);
}

void PlayScreenSound(IDirectSoundPlayer* sound) {
    if (sound == nullptr) return;
    sound->Seek(0);
    sound->Play(1, 0);
}

uint32_t FadeAlpha(uint32_t now, uint32_t start, uint32_t duration) {
    const int32_t elapsed = static_cast<int32_t>(now - start);
    if (elapsed < 0 || duration == 0 || static_cast<uint32_t>(elapsed) >= duration) return 255;
    return static_cast<uint32_t>(static_cast<uint64_t>(elapsed) * 255 / duration);
}

bool IsHoverTick() { return g_Input.mouseMoved != 0 || g_Input.leftUp != 0; }
bool IsActivation() {
    return g_Input.leftUp != 0 || g_Input.IsKeyDown(DIK_RETURN) || g_Input.IsKeyDown(DIK_NUMPADENTER);
}
bool IsPreviousKey() { return g_Input.IsKeyDown(DIK_UP) || g_Input.IsKeyDown(DIK_LEFT); }
bool IsNextKey() { return g_Input.IsKeyDown(DIK_DOWN) || g_Input.IsKeyDown(DIK_RIGHT); }
bool IsLeftKey() { return g_Input.IsKeyDown(DIK_LEFT); }
bool IsRightKey() { return g_Input.IsKeyDown(DIK_RIGHT); }
bool IsCancelClick() { return g_Input.rightUp != 0; }
SPoint MousePosition() { return SPoint{g_Input.mouseX, g_Input.mouseY}; }
void StampKeyGuard() { g_Input.keyGuardTime = g_FrameTime; }

int32_t StepHover(int32_t hover, int32_t direction, int32_t count, const std::function<bool(int32_t)>& enabled) {
    int32_t candidate = hover;
    for (int32_t step = 0; step < count; ++step) {
        if (direction < 0) {
            candidate = candidate <= 0 ? count - 1 : candidate - 1;
        } else {
            candidate = candidate >= count - 1 ? 0 : candidate + 1;
        }
        if (enabled(candidate)) return candidate;
    }
    return hover;
}

void BeginScreenFrame(CGraphicsDevice* device) {
    device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0, 1.0f, 0);
    device->BeginScene();
}

void EndScreenFrame(CGraphicsDevice* device) {
    device->EndScene();
    device->Present();
}

void DrawSheetSprite(CGraphicsDevice* device, CTexture* sheet, const SRect& source, int32_t x, int32_t y,
                     uint32_t colour) {
    DrawSprite(device, sheet, &source, 1, static_cast<float>(x), static_cast<float>(y), colour);
}

void DrawBackground(CGraphicsDevice* device, CTexture* background, uint32_t colour) {
    DrawSheetSprite(device, background, kFullScreenRect, 0, 0, colour);
}

void ShowScreenError(const char* textSjis, bool topmost) {
    ShowMessageBox(textSjis, kErrorCaption,
                   MessageBoxStyle::IconError | (topmost ? static_cast<uint32_t>(MessageBoxStyle::Topmost) : 0u));
}
