#include "model/model_holder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <optional>
#include <string>

#include "model/model_draw.h"
#include "model/shader_context.h"
#include "platform/graphics.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "sound/sound_player.h"

namespace {

constexpr uint32_t kTagPivot = MakeTag("PIVO");
constexpr uint32_t kTagPosition = MakeTag("POS ");
constexpr uint32_t kTagRotation = MakeTag("ROT ");
constexpr uint32_t kTagScale = MakeTag("SCAL");
constexpr uint32_t kTagBlink = MakeTag("BLNK");
constexpr uint32_t kTagLipSync = MakeTag("LIPS");
constexpr uint32_t kTagDepthClear = MakeTag("ZCLR");
constexpr uint32_t kTagMotion = MakeTag("PFLM");
constexpr uint32_t kTagLayerNumber = MakeTag("LNO ");
constexpr uint32_t kTagLayer = MakeTag("LAYR");
constexpr uint32_t kTagColour = MakeTag("COLR");
constexpr uint32_t kTagMorph = MakeTag("MORP");
constexpr uint32_t kTagFade = MakeTag("FADE");
constexpr uint32_t kTagVisible = MakeTag("DFLG");

constexpr uint32_t kBlinkCheckMs = 300;
constexpr int kBlinkChancePercent = 10;
constexpr float kLipSilence = -5000.0f;  // hundredths of a dB: quieter keeps the mouth shut
constexpr float kLipClosePerMs = 0.007f;
constexpr float kLipOpenPerMs = 0.01f;
constexpr size_t kSlotNameLength = 127;
constexpr SRect kSceneRect{0, 0, 800, 600};

BlinkRandom g_blinkRandom = std::rand;

// Fresh part states: invisible, white, morph target 0 with weight 0, no fade, no slot, and
// plain tracks (the default state and the scripts set the rest).
std::unique_ptr<CModelPartState[]> AllocPartStates(int32_t count) {
    CModelState record;
    if (record.AllocParts(count) == 0) return nullptr;
    return std::move(record.parts);
}

template <typename Value>
void CopyAnimated(CAnimatedValue<Value>& to, const CAnimatedValue<Value>& from) {
    to.value = from.value;
    to.animating = from.animating;
    to.track.CopyFrom(from.track);
}

// The part-slot fields that a layer's name gives ("Null" for a layer without a name).
CPartSlotChange SlotOfLayerName(const std::string& stored) {
    std::string name(stored.c_str());  // the name as stored ends at its terminating zero
    if (name.empty()) name = "Null";
    name.resize(std::min(name.size(), kSlotNameLength));
    CPartSlotChange slot{kSlotNone, 0, 0, -1};
    ParsePartSlotCommand(name.c_str(), &slot);
    return slot;
}

bool IsFading(const CModelPartState& part) { return part.fadeMode == kFadeIn || part.fadeMode == kFadeOut; }

// Steps a part's fade to page time t: the alpha factor to draw with, or a negative value when
// the part is not drawn by its fade this frame. A finished fade sets the visibility it leads to.
float StepFade(CModelPartState& part, int32_t t) {
    const bool in = part.fadeMode == kFadeIn;
    const uint32_t duration = part.fadeTimes[0];
    const int64_t since = int64_t{t} - int64_t{part.fadeTimes[1]};
    float f;
    if (duration == 0) f = since < 0 ? 0.0f : 1.0f;
    else f = static_cast<float>(since) / static_cast<float>(duration);
    if (f >= 1.0f) {
        part.fadeMode = kFadeNone;
        part.visible = in ? 1 : 0;
        return part.visible ? 1.0f : -1.0f;
    }
    if (in) return f <= 0.0f ? -1.0f : f;
    return f < 0.0f ? 1.0f : 1.0f - f;
}

// While the model draws into its target, alpha blends by its own factors (each surface blend
// mode sets them) and adds up, so that the alpha is the coverage of what was drawn, whatever
// the engine blends alpha by elsewhere.
constexpr SRenderStateValue kTargetAlphaBlend[] = {{RenderState::SeparateAlphaBlendEnable, 1},
                                                   {RenderState::SrcBlendAlpha, Blend::One},
                                                   {RenderState::DestBlendAlpha, Blend::InvSrcAlpha},
                                                   {RenderState::BlendOpAlpha, BlendOp::Add}};
static_assert(std::size(kTargetAlphaBlend) <= CRenderStateScope::kMaxStates);

// The model target holds each pixel's colour already weighted by its coverage, and the coverage
// as alpha, so that the layer adds it over the scene with the source factor one and a
// translucent part counts its alpha once. It starts from transparent black, so a model leaves
// no trail and one layer's model never shows in another layer; or, when `scene` is given (an
// opaque surface that the layer's draw covers pixel for pixel), from a copy of it: a surface
// that weighs what lies beneath then draws over the scene itself, and the copy's full coverage
// makes the layer show the target as it is.
void StartModelTarget(CGraphicsDevice* device, CSurface* target, CSurface* scene) {
    const bool opaque = scene != nullptr && scene->GetFormat() == Format::X8R8G8B8;
    if (opaque && device->StretchRect(scene, &kSceneRect, target, &kSceneRect, TexFilter::None) == 0) return;
    device->Clear(0, nullptr, ClearFlag::Target, 0, 1.0f, 0);
}

}  // namespace

void SetBlinkRandom(BlinkRandom random) { g_blinkRandom = random != nullptr ? random : std::rand; }

int32_t CModelHolder::LoadMesh(const char* fileName) {
    Release();
    if (OpenModelStream(&model, g_pEngineDevice, fileName) != 0) return -1;
    const int32_t count = static_cast<int32_t>(model.layers.size());
    parts = AllocPartStates(count);
    if (count > 0 && parts == nullptr) {
        model.Free();
        return -1;
    }
    partCount = count;
    return 0;
}

int32_t CModelHolder::BuildDefaultState(CModelState* record) const {
    if (record->AllocParts(partCount) == 0) return -1;
    record->lipSyncChannel = -1;
    record->motion.Append(SMotionSegment{}, 0);
    for (int32_t i = 0; i < record->partCount; ++i) record->parts[i].morphTarget = -1;
    return 0;
}

void CModelHolder::SetupDefaultState() {
    CModelState record;
    if (BuildDefaultState(&record) != 0) return;
    for (int32_t i = 0; i < record.partCount; ++i)
        record.parts[i].slot = SlotOfLayerName(model.layers[static_cast<size_t>(i)].name);
    ApplyState(record);
}

void CModelHolder::ApplyState(const CModelState& state) {
    CopyAnimated(pivot, state.pivot);
    CopyAnimated(position, state.position);
    CopyAnimated(rotation, state.rotation);
    CopyAnimated(scale, state.scale);
    if (state.blinkOn == 1) {
        blinkState = kBlinkWaiting;
        blinkLayer = static_cast<int32_t>(state.blinkSettings[0]);
        blinkTargetLayer = static_cast<int32_t>(state.blinkSettings[1]);
        blinkPeriod = static_cast<int32_t>(state.blinkSettings[2]);
    } else {
        blinkState = kBlinkOff;
    }
    lipChannel = state.lipSyncChannel;
    lipLayer = static_cast<int32_t>(state.lipSyncSettings[0]);
    lipTargetLayer = static_cast<int32_t>(state.lipSyncSettings[1]);
    depthClear = static_cast<int32_t>(state.clearDepth);
    motion.CopyFrom(state.motion);
    selectionSwitch = static_cast<int32_t>(state.motionWord);
    const int32_t count = std::min(partCount, state.partCount);
    for (int32_t i = 0; i < count; ++i) {
        CModelPartState& to = parts[i];
        const CModelPartState& from = state.parts[i];
        to.slot = from.slot;
        to.visible = from.visible;
        CopyAnimated(to.colour, from.colour);
        to.morphTarget = from.morphTarget;
        CopyAnimated(to.morphWeight, from.morphWeight);
        to.fadeMode = from.fadeMode;
        to.fadeWord = from.fadeWord;
        std::copy(std::begin(from.fadeTimes), std::end(from.fadeTimes), to.fadeTimes);
    }
}

// --- Script form -----------------------------------------------------------------------------

// Scripts and saves share the sub-chunk walk; the forms differ in the blink, the motion list,
// the value blocks (a script may animate them, a save holds the current values) and the layer
// states.
void CModelHolder::ReadSubChunks(CChunkReader& body, EModelForm form) {
    const bool saved = form == EModelForm::Saved;
    int32_t layerNumber = -1;
    CChunkHeader header;
    while (body.NextChunk(&header)) {
        CChunkReader chunk = body.Body();
        switch (header.tag) {
            case kTagPivot: saved ? pivot.Restore(chunk, 3) : pivot.Parse(chunk, 3); break;
            case kTagPosition: saved ? position.Restore(chunk, 3) : position.Parse(chunk, 3); break;
            case kTagRotation: saved ? rotation.Restore(chunk, 3) : rotation.Parse(chunk, 3); break;
            case kTagScale: saved ? scale.Restore(chunk, 3) : scale.Parse(chunk, 3); break;
            case kTagBlink: ReadBlink(chunk, form); break;
            case kTagLipSync:
                chunk.ReadI32(&lipLayer);
                chunk.ReadI32(&lipTargetLayer);
                chunk.ReadI32(&lipChannel);
                break;
            case kTagDepthClear: chunk.Read(&depthClear, 4); break;
            case kTagMotion: ReadMotion(chunk, form); break;
            case kTagLayerNumber: chunk.ReadI32(&layerNumber); break;
            case kTagLayer:
                if (layerNumber < 0 || layerNumber >= partCount) break;
                if (saved) RestoreLayerState(chunk, parts[layerNumber]);
                else ParseLayerState(chunk, parts[layerNumber]);
                break;
            default: break;
        }
    }
}

// A script's BLNK switches the blink on (waiting) or off; a save's holds the state it stood in.
void CModelHolder::ReadBlink(CChunkReader& chunk, EModelForm form) {
    int32_t word = 0;
    chunk.ReadI32(&word);
    if (word == 0) {
        blinkState = kBlinkOff;
        return;
    }
    blinkState = form == EModelForm::Saved ? word : kBlinkWaiting;
    chunk.ReadI32(&blinkLayer);
    chunk.ReadI32(&blinkTargetLayer);
    chunk.ReadI32(&blinkPeriod);
}

// A script's PFLM is a counted list of segments; a save's holds the first segment alone. Either
// plays from its page's start: a restored clock goes back, and a motion start kept from a later
// page would hold the motion on its first frame until the clock caught up.
void CModelHolder::ReadMotion(CChunkReader& chunk, EModelForm form) {
    motion.RemoveAll();
    motionStartPending = 1;
    uint32_t count = 1;
    if (form == EModelForm::Script) chunk.ReadU32(&count);
    for (uint32_t i = 0; i < count; ++i) {
        int32_t f[5] = {};
        const uint32_t got = chunk.Read(f, sizeof f);
        if (form == EModelForm::Script && got != sizeof f) break;
        if (motion.Append(SMotionSegment{f[0], f[1], f[2], f[3], f[4], 0}, motion.Count()) != 0) break;
    }
}

int32_t CModelHolder::ParseCommand(CChunkReader& body) {
    ReadSubChunks(body, EModelForm::Script);
    return 0;
}

void CModelHolder::ParseLayerState(CChunkReader& body, CModelPartState& part) {
    CChunkHeader header;
    while (body.NextChunk(&header)) {
        CChunkReader chunk = body.Body();
        switch (header.tag) {
            case kTagColour:
                part.colour.Parse(chunk, 4);
                part.colour.track.clampFlags = 0;
                break;
            case kTagMorph:
                chunk.ReadI32(&part.morphTarget);
                part.morphWeight.Parse(chunk, 1);
                break;
            case kTagFade: {
                uint32_t mode = 0;
                chunk.ReadU32(&mode);
                part.fadeMode = static_cast<uint16_t>(mode);
                chunk.ReadU32(&part.fadeTimes[0]);
                chunk.ReadU32(&part.fadeTimes[1]);
                break;
            }
            default: break;
        }
    }
}

// --- Blink and lip sync ------------------------------------------------------------------------

float CModelHolder::BlinkWeight(uint32_t now) {
    const uint32_t elapsed = now - blinkPhaseStart;
    // A period of 0 or less closes and opens at once instead of dividing by zero.
    const float t = blinkPeriod > 0 ? static_cast<float>(elapsed) / static_cast<float>(blinkPeriod) : 2.0f;
    switch (blinkState) {
        case kBlinkWaiting:
            if (elapsed >= kBlinkCheckMs) {
                if (g_blinkRandom() % 100 < kBlinkChancePercent) blinkState = kBlinkClosing;
                blinkPhaseStart = now;
            }
            return 0.0f;
        case kBlinkClosing:
            if (t < 1.0f) return t;
            blinkState = kBlinkOpening;
            blinkPhaseStart = now;
            return 1.0f;
        case kBlinkOpening:
            if (t > 1.0f) {
                blinkState = kBlinkWaiting;
                blinkPhaseStart = now;
                return 0.0f;
            }
            return 1.0f - t;
        default: return 0.0f;
    }
}

float CModelHolder::LipSyncWeight(uint32_t now) {
    if (lipPlayer == nullptr) return 0.0f;
    int32_t left = -10000, right = -10000;
    lipPlayer->GetLevel(&left, &right);
    const float level = static_cast<float>(std::max(left, right));
    // Every level above the silence asks for more than a fully open mouth: the mouth is open
    // while the voice is heard and shut in its pauses, moving at the limited speeds below.
    const float target = level > kLipSilence ? (level - 5000.0f) / -3000.0f : 0.0f;
    const float dt = static_cast<float>(now - lipTime);
    float w;
    if (target - lipWeight < -kLipClosePerMs * dt) w = lipWeight - kLipClosePerMs * dt;
    else if (target - lipWeight > kLipOpenPerMs * dt) w = lipWeight + kLipOpenPerMs * dt;
    else w = target;
    lipWeight = std::clamp(w, 0.0f, 1.0f);
    lipTime = now;
    return lipWeight;
}

// --- Drawing -----------------------------------------------------------------------------------

void CModelHolder::BuildWorld(SMatrix* world) const {
    const SVector3& p = pivot.value;
    SMatrix m, step;
    MatrixTranslation(&m, -p.x, -p.y, -p.z);
    const auto then = [&](const SMatrix& next) { MatrixMultiply(&m, &m, &next); };
    then(*MatrixScaling(&step, scale.value.x, scale.value.y, scale.value.z));
    then(*MatrixRotationZ(&step, rotation.value.z));
    then(*MatrixRotationX(&step, rotation.value.x));
    then(*MatrixRotationY(&step, rotation.value.y));
    then(*MatrixTranslation(&step, position.value.x, position.value.y, position.value.z));
    then(*MatrixTranslation(&step, p.x, p.y, p.z));
    *world = m;
}

int32_t CModelHolder::Render(CSurface* destination, EModelBackdrop backdrop) {
    const int32_t pageTime = static_cast<int32_t>(g_GameClock - g_PageStartClock);
    int32_t result = 0;
    if (motion.Evaluate(static_cast<int32_t>(g_GameClock - motionStart), &model) == 1) result |= ModelFrame::Animating;
    for (auto* value : {&pivot, &position, &rotation, &scale})
        if (value->Step(pageTime) != 0) result |= ModelFrame::Animating;
    SMatrix world;
    BuildWorld(&world);
    g_ShaderContext.SetWorld(world);

    CGraphicsDevice* device = g_pEngineDevice;
    CSurface* offscreen = g_pEngineOffscreenSurface;
    CSurface* scene = g_bSceneTarget == 1 && g_pSceneTargetSurface != nullptr ? g_pSceneTargetSurface
                                                                              : g_pEngineBackBuffer;
    const bool draws = device != nullptr && offscreen != nullptr && destination != nullptr;
    std::optional<CRenderStateScope> targetAlphaBlend;
    if (draws) {
        device->EndScene();
        device->SetRenderTarget(offscreen);
        device->BeginScene();
        const bool fromScene = backdrop == EModelBackdrop::SceneBeneath && NeedsSceneBeneath();
        StartModelTarget(device, offscreen, fromScene ? scene : nullptr);
        if (depthClear == 1) device->Clear(0, nullptr, ClearFlag::ZBuffer, 0, 1.0f, 0);
        if (device->GetRenderState(RenderState::MultisampleAntialias) == 1 && g_bSceneTarget == 1) {
            device->SetRenderState(RenderState::AlphaFunc, Cmp::Always);
            device->SetRenderState(RenderState::AlphaBlendEnable, 0);
            DrawSprite(device, g_pSceneTargetTexture, &kSceneRect, 1, 0.0f, 0.0f, 0xFFFFFFFFu);
            device->SetRenderState(RenderState::AlphaBlendEnable, 1);
            device->SetRenderState(RenderState::AlphaFunc, Cmp::Greater);
        }
        device->SetRenderState(RenderState::ZEnable, 1);
        device->SetRenderState(RenderState::ZWriteEnable, 1);
        device->SetRenderState(RenderState::MultisampleAntialias, static_cast<uint32_t>(antialias));
        targetAlphaBlend.emplace(device, kTargetAlphaBlend);
    }
    result |= RenderLayers(pageTime, draws);
    if (draws) {
        targetAlphaBlend.reset();
        device->EndScene();
        device->SetRenderTarget(scene);
        device->BeginScene();
        device->SetRenderState(RenderState::ZEnable, 0);
        device->SetRenderState(RenderState::ZWriteEnable, 0);
        device->SetRenderState(RenderState::MultisampleAntialias, 0);
        device->StretchRect(offscreen, &kSceneRect, destination, &kSceneRect, TexFilter::None);
    }
    return result;
}

// Whether a layer that may draw this frame (shown, fading, or the blink's or the lip sync's
// layer) has a surface that weighs what lies beneath it.
bool CModelHolder::NeedsSceneBeneath() const {
    for (int32_t i = 0; i < partCount; ++i) {
        const CModelPartState& part = parts[i];
        const bool mayDraw = part.visible != 0 || IsFading(part) || (blinkState != kBlinkOff && i == blinkLayer) ||
                             (lipChannel >= 0 && i == lipLayer);
        if (!mayDraw) continue;
        for (const CLmfMesh& mesh : model.layers[static_cast<size_t>(i)].meshes)
            if (ModelBlendWeighsBeneath(model.surfaces[mesh.surface].blendMode)) return true;
    }
    return false;
}

int32_t CModelHolder::RenderLayers(int32_t pageTime, bool draws) {
    int32_t result = 0;
    for (int32_t i = 0; i < partCount; ++i) result |= DrawPart(i, pageTime, draws);
    return result;
}

// Steps part i's tracks, fade, blink and lip sync to the page time and, when `draws`, draws it
// as its blink, lip sync, bust, morph or plain skinned mesh. Returns ModelFrame bits.
int32_t CModelHolder::DrawPart(int32_t index, int32_t pageTime, bool draws) {
    CModelPartState& part = parts[index];
    if (selectionSwitch == 1 && !IsPartSelected(part.slot, g_PartSelectors)) return 0;
    int32_t result = 0;
    // Both tracks are stepped whether or not the part is drawn, so that a finished track never
    // keeps reporting itself as running.
    if (part.colour.Step(pageTime) != 0) result |= ModelFrame::Animating;
    if (part.morphWeight.Step(pageTime) != 0) result |= ModelFrame::Animating;
    SColorF colour = part.colour.value;
    bool fading = IsFading(part);
    bool drawn = part.visible != 0;
    bool hiddenByFade = false;
    if (fading) {
        const bool fadingIn = part.fadeMode == kFadeIn;
        const float factor = StepFade(part, pageTime);
        fading = IsFading(part);
        drawn = factor >= 0.0f;
        hiddenByFade = !drawn;
        colour.a *= std::max(factor, 0.0f);
        if (fading) result |= ModelFrame::Animating;
        if (fading && fadingIn && index == lipLayer && lipChannel >= 0) result |= ModelFrame::HoldText;
    }
    if (index == lipLayer && lipChannel >= 0 && part.morphWeight.animating) result |= ModelFrame::HoldText;

    CGraphicsDevice* device = g_pEngineDevice;
    const uint32_t edgePass = static_cast<uint32_t>(edge);
    // The eyes and the mouth are drawn whatever their visibility, but not while their fade hides
    // them: the edge pass ignores the colour's alpha, so an alpha of 0 would still draw the outline.
    const auto morphTo = [&](int32_t target, float weight) {
        if (draws && !hiddenByFade)
            model.DrawMorphLayer(device, static_cast<uint32_t>(index), static_cast<uint16_t>(target),
                                 g_ShaderContext, SVector3{weight, 0.0f, 0.0f}, &colour, edgePass);
    };
    if (blinkState != kBlinkOff) {
        if (index == blinkLayer && !fading) {
            morphTo(blinkTargetLayer, BlinkWeight(g_GameClock));
            return result;
        }
        if (index == static_cast<uint16_t>(blinkTargetLayer)) return result;
    }
    if (lipChannel >= 0) {
        if (index == lipLayer) {
            morphTo(lipTargetLayer, LipSyncWeight(g_GameClock));
            return result;
        }
        if (index == static_cast<uint16_t>(lipTargetLayer)) return result;
    }
    if (!drawn) return result;
    if (part.slot.bustFlag == 1 && selectionSwitch == 1) {
        morphTo(part.slot.bustLayer, g_PartSelectors.bustWeight);
    } else if (part.morphTarget < 0) {
        if (draws) model.DrawLayer(device, static_cast<uint32_t>(index), g_ShaderContext, &colour, edgePass);
    } else {
        morphTo(part.morphTarget, part.morphWeight.value);
    }
    return result;
}

// --- Finishing, saving, restoring --------------------------------------------------------------

int32_t CModelHolder::GetMotionLength() const {
    int64_t length = 0;
    for (const CPtrList::Node* node = motion.segments.head; node != nullptr; node = node->next) {
        const auto* segment = static_cast<const SMotionSegment*>(node->data);
        if (segment->msPerFrame < 1) break;
        length += segment->totalMs;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(length, INT32_MIN, INT32_MAX));
}

void CModelHolder::Finish(int32_t motionLength) {
    for (auto* value : {&pivot, &position, &rotation, &scale}) value->Finish();
    motionStart = 0u - static_cast<uint32_t>(motionLength);
    motionStartPending = 0;
    for (int32_t i = 0; i < partCount; ++i) {
        CModelPartState& part = parts[i];
        part.colour.Finish();
        part.morphWeight.Finish();
        if (IsFading(part)) {
            part.visible = part.fadeMode == kFadeIn ? 1 : 0;
            part.fadeMode = kFadeNone;
        }
    }
}

void CModelHolder::Save(CSaveChunkWriter& writer) const {
    pivot.Save(writer, kTagPivot, 3);
    position.Save(writer, kTagPosition, 3);
    rotation.Save(writer, kTagRotation, 3);
    scale.Save(writer, kTagScale, 3);
    if (blinkState == kBlinkOff) {
        writer.ChunkU32(kTagBlink, 0);
    } else {
        const int32_t blink[4] = {blinkState, blinkLayer, blinkTargetLayer, blinkPeriod};
        writer.Chunk(kTagBlink, blink, sizeof blink);
    }
    const int32_t lips[3] = {lipLayer, lipTargetLayer, lipChannel};
    writer.Chunk(kTagLipSync, lips, sizeof lips);
    writer.Chunk(kTagDepthClear, &depthClear, 4);
    SMotionSegment first{};
    motion.GetAt(0, &first);  // an empty list saves a zero segment
    const int32_t segment[5] = {first.from, first.to, first.msPerFrame, first.holdMs, first.blendMs};
    writer.Chunk(kTagMotion, segment, sizeof segment);
    for (int32_t i = 0; i < partCount; ++i) {
        const CModelPartState& part = parts[i];
        const bool morphs = part.morphTarget >= 0;
        writer.Chunk(kTagLayerNumber, &i, 4);
        writer.Header(kTagLayer, morphs ? 52 : 48);
        writer.Chunk(kTagVisible, &part.visible, 4);
        writer.Chunk(kTagColour, &part.colour.value, 16);
        if (morphs) {
            uint8_t morph[8];
            std::memcpy(morph, &part.morphTarget, 4);
            std::memcpy(morph + 4, &part.morphWeight.value, 4);
            writer.Chunk(kTagMorph, morph, 8);
        } else {
            writer.Chunk(kTagMorph, &part.morphTarget, 4);
        }
    }
}

void CModelHolder::Restore(CChunkReader& body) { ReadSubChunks(body, EModelForm::Saved); }

void CModelHolder::StampMotionStart(uint32_t pageStart) {
    if (motionStartPending != 1) return;
    motionStart = pageStart;
    motionStartPending = 0;
}

void CModelHolder::RestoreLayerState(CChunkReader& body, CModelPartState& part) {
    CChunkHeader header;
    while (body.NextChunk(&header)) {
        CChunkReader chunk = body.Body();
        switch (header.tag) {
            case kTagVisible: chunk.ReadU32(&part.visible); break;
            case kTagColour: part.colour.Restore(chunk, 4); break;
            case kTagMorph:
                chunk.ReadI32(&part.morphTarget);
                part.morphWeight.Restore(chunk, 1);
                break;
            default: break;
        }
    }
}

void CModelHolder::Release() {
    model.Free();
    parts.reset();
    partCount = 0;
    motion.RemoveAll();
    for (auto* value : {&pivot, &position, &rotation, &scale}) value->track.RemoveAll();
    lipPlayer = nullptr;
}
