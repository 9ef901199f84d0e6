#include "engine/vant_engine.h"

#include <algorithm>
#include <cstring>

#include "files/loaders.h"
#include "model/shader_context.h"
#include "platform/clock.h"
#include "platform/graphics.h"
#include "platform/render_context.h"

CVantEngine::CVantEngine() {
    choiceWindow.Clear();
    jumpTable.Clear();
    flags.Clear();
    autoAdvance.Clear();
    inputLock.Clear();
    SetDefaultEngineSettings(&settings);
}

CVantEngine::~CVantEngine() {
    Release();
    script.Close();
}

void CVantEngine::SetDefaultSettings(CEngineSettings* target) { SetDefaultEngineSettings(target); }

int32_t CVantEngine::Init(CPlatformWindow* window, CGraphicsDevice* device, CSurface* backBuffer, CAudioDevice* sound,
                          const CEngineParams* params, const CEngineSettings* initialSettings) {
    SetModelEffectHooks(CreateModelEffect, ReleaseModelEffect);
    if (InitRenderContext(window, sound, params->modelsUsable, backBuffer, device, params->sceneTarget,
                          params->offscreenSurface) != 0)
        return -1;
    OpenArchives(&params->archives, window);
    if (script.AllocBuffer(kScriptBufferSize) != 0) return -1;
    mainLayer.InitMainLayer();
    if (messageWindow.Init(&params->messageWindow) != 0) return -1;
    if (choiceWindow.SetStyle(&params->choiceWindow) != 0) return -1;
    hostCallback = params->hostCallback;
    hostContext = params->hostContext;
    if (device != nullptr) {
        device->SetRenderState(RenderState::ZEnable, 0);
        device->SetRenderState(RenderState::MultisampleAntialias, 0);
        device->SetRenderState(RenderState::SeparateAlphaBlendEnable, 1);
        device->SetRenderState(RenderState::BlendOpAlpha, BlendOp::Max);
    }
    autoMode = 0;
    readHistory.skipOn = 0;
    messageLog.FadeOutVoices(logVoiceChannels);
    messageLog.SetOpen(0, &messageWindow, logVoiceChannels);
    return ApplySettings(initialSettings);
}

void CVantEngine::Release() {
    movie.Release();
    messageWindow.ReleaseGlyphs();
    for (CImageLayer& layer : layers) layer.Release();
    camera.RemoveAllKeys();
    lights.RemoveAllKeys();
    for (CSoundChannel& channel : musicChannels) channel.Release();
    for (CSoundChannel& channel : voiceChannels) channel.Release();
    for (CSoundChannel& channel : seChannels) channel.Release();
    for (CSoundChannel& channel : logVoiceChannels) channel.Release();
    messageLog.RemoveAll();
    choiceWindow.ReleaseGlyphs();
    CloseScript();
    script.Close();
    ClearRenderContext();
    CloseArchives();
}

int32_t CVantEngine::NewGame(const char* name) {
    movie.Release();
    CloseScript();
    g_GameClock = 0;
    g_PageStartClock = 0;
    g_ClockNow = g_ClockPrevTime = GetTimeMs();
    messageLog.RemoveAll();
    flags.Clear();
    if (OpenScript(name) != 0) return -1;
    if (SkipToBody() != 0) return -1;
    // A command of the first page that failed (a sound or picture that cannot be read) has shown
    // its box; the story goes on as after the same fault on any later page.
    const int32_t result = RunPage();
    return result < 0 && pageFailed_ ? 0 : result;
}

int32_t CVantEngine::Draw() {
    uint32_t status = 0;
    CGraphicsDevice* device = g_pEngineDevice;
    if (g_bSceneTarget == 1 && device != nullptr && g_pSceneTargetSurface != nullptr) {
        device->EndScene();
        device->SetRenderTarget(g_pSceneTargetSurface);
        device->Clear(0, nullptr, ClearFlag::Target, 0, 1.0f, 0);
        device->BeginScene();
    }
    if (g_bModelsUsable == 1) {
        status |= static_cast<uint32_t>(camera.Apply());
        status |= static_cast<uint32_t>(lights.Apply());
    }
    for (CImageLayer& layer : layers) status |= static_cast<uint32_t>(layer.Draw());
    if (g_bSceneTarget == 1 && device != nullptr && g_pSceneTargetSurface != nullptr) {
        device->EndScene();
        device->SetRenderTarget(g_pEngineBackBuffer);
        device->BeginScene();
        status |= static_cast<uint32_t>(mainLayer.Draw());
    }
    if ((status & 2) == 0) g_bHoldTextStart = 0;
    if ((status & 1) == 0) g_bPageEffectsDone = 1;
    return 1;
}

int32_t CVantEngine::DrawMessageWindow() {
    if (messageLog.viewOpen) {
        messageWindow.DrawLogEntry();
        return 1;
    }
    if (messageWindow.whf) {
        g_bPageTextDone = 1;
        return 1;
    }
    g_bPageTextDone = messageWindow.Draw() == 1 ? 1 : 0;
    return 1;
}

void CVantEngine::FinishEffects() {
    // Every model jumps to the end of the longest motion on the scene.
    int32_t motionLength = 0;
    for (const CImageLayer& layer : layers) motionLength = std::max(motionLength, layer.GetMotionLength());
    for (CImageLayer& layer : layers) {
        if (layer.used) layer.FinishEffect(motionLength);
    }
    if (mainLayer.used) mainLayer.FinishEffect(motionLength);
    camera.Finish();
    lights.Finish();
}

namespace {

// The channel plays, or a play command waits for it.
bool ChannelWillPlay(const CSoundChannel& channel) { return channel.active && channel.IsPlayCommand(); }

}  // namespace

void CVantEngine::HookUpLipSync() {
    for (CImageLayer& layer : layers) {
        if (layer.used != 1 || layer.kind != LayerKind::Model) continue;
        const int32_t channel = layer.model.lipChannel;
        if (channel < 0 || channel >= kVoiceChannelCount) continue;
        const CSoundChannel& voice = voiceChannels[channel];
        layer.model.lipPlayer = voice.active ? voice.player : nullptr;
    }
}

int32_t CVantEngine::IsVoicePlaying() const {
    for (const CSoundChannel& channel : voiceChannels) {
        if (ChannelWillPlay(channel)) return 1;
    }
    return 0;
}

void CVantEngine::RearmVoices() {
    for (CSoundChannel& channel : voiceChannels) {
        if (!ChannelWillPlay(channel)) continue;
        channel.status = {1, kSoundRestart, channel.CurrentPlayCount(), channel.CurrentLoopBack(), 0.0f, 0};
        channel.volumeCommand = {1, channel.CurrentVolume(), -1.0f, 0};
        channel.panCommand = {1, channel.CurrentPan(), -1.0f, 0};
        channel.tempoCommand = {1, channel.CurrentTempo(), -1.0f, 0};
    }
}

int32_t CVantEngine::OpenMessageLog(int32_t stopModes) {
    if (stopModes == 1) {
        autoMode = 0;
        readHistory.skipOn = 0;
    }
    return messageLog.SetOpen(1, &messageWindow, logVoiceChannels) == 0 ? 0 : -1;
}

namespace {

void SetChannelMasterVolume(CSoundChannel& channel, int32_t volume) {
    channel.masterVolume = volume;
    if (channel.player != nullptr) channel.player->SetMasterVolume(volume);
}

}  // namespace

int32_t CVantEngine::ApplySettings(const CEngineSettings* source) {
    const uint32_t previousFlags = settings.textFlags;
    settings = *source;
    messageWindow.frameColour = settings.windowColour;
    static_assert(sizeof(CTextFormat) == sizeof(CEngineFontRecord));
    CTextFormat font;
    std::memcpy(&font, &settings.font, sizeof(font));
    messageWindow.SetTextFontMode(static_cast<int32_t>(settings.fontMode), &font);
    messageWindow.textFlags = settings.textFlags;
    if (((previousFlags ^ settings.textFlags) & 2) != 0) messageWindow.RebuildGlyphs();
    messageWindow.effectMode = settings.textEffect;
    messageWindow.speed = settings.textSpeed;
    autoUnit = static_cast<int32_t>(settings.autoWait);
    readHistory.skipUnread = static_cast<int32_t>(settings.skipUnread);
    for (CImageLayer& layer : layers) {
        layer.model.antialias = static_cast<int32_t>(settings.modelAntialias);
        layer.model.edge = static_cast<int32_t>(settings.modelEdge);
    }
    for (CSoundChannel& channel : musicChannels) SetChannelMasterVolume(channel, settings.bgmVolume);
    for (CSoundChannel& channel : voiceChannels) SetChannelMasterVolume(channel, settings.voiceVolume);
    for (CSoundChannel& channel : logVoiceChannels) SetChannelMasterVolume(channel, settings.voiceVolume);
    for (CSoundChannel& channel : seChannels) SetChannelMasterVolume(channel, settings.seVolume);
    return 0;
}

void CVantEngine::GetSaveCaption(char caption[32]) const {
    char text[kTextBytes];
    messageWindow.CopyText(text, nullptr);
    const size_t length = strnlen(text, 31);
    std::memcpy(caption, text, length);
    caption[length] = '\0';
}
