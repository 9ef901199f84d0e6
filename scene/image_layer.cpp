#include "scene/image_layer.h"

#include <strings.h>

#include <cstring>

#include "files/chunk_save.h"
#include "files/loaders.h"
#include "files/scrambled_io.h"
#include "platform/graphics.h"
#include "platform/paths.h"
#include "platform/render_context.h"

namespace {

constexpr uint32_t kTagLoad = MakeTag("LOAD");
constexpr uint32_t kTagRelease = MakeTag("RLAS");
constexpr uint32_t kTagOffset = MakeTag("DPOS");
constexpr uint32_t kTagPivot = MakeTag("PIVO");
constexpr uint32_t kTagSource = MakeTag("DREC");
constexpr uint32_t kTagScale = MakeTag("SCAL");
constexpr uint32_t kTagAngle = MakeTag("ANGL");
constexpr uint32_t kTagColour = MakeTag("COLR");
constexpr uint32_t kTagBlendMode = MakeTag("DMOD");
constexpr uint32_t kTagFilter = MakeTag("FILT");
constexpr uint32_t kTagEffect = MakeTag("EFEC");
constexpr uint32_t kTagNoEffect = MakeTag("EDIS");
constexpr uint32_t kTagModelState = MakeTag("SOLD");
constexpr uint32_t kTagUsed = MakeTag("EFLG");
constexpr uint32_t kTagName = MakeTag("FNAM");
constexpr uint32_t kTagVisible = MakeTag("DFLG");

}  // namespace

CImageLayer::~CImageLayer() { Release(); }

void CImageLayer::DeleteEffect() {
    delete effect;
    effect = nullptr;
}

void CImageLayer::Release() {
    if (g_bModelsUsable == 1) model.Release();
    if (texture != nullptr) {
        texture->Release();
        texture = nullptr;
    }
    DeleteEffect();
    used = 0;
    name[0] = '\0';
}

void CImageLayer::ResetGeometry() {
    visible = 0;
    offset = SPoint{0, 0};
    pivot = SPoint{static_cast<int32_t>((kSceneWidth - static_cast<double>(width)) * 0.5), kSceneHeight - height};
    source = SRect{0, 0, width, height};
    scale = SVector2{1.0f, 1.0f};
    angle = 0.0f;
    colour = 0xFFFFFFFFu;
    blendMode = 0;
    filter = 0;
    DeleteEffect();
    effectDelay = 0;
}

int32_t CImageLayer::Load(const char* fileName) {
    bool failed = false;
    if (strcasecmp(fileName, name) != 0) {
        Release();
        const bool isModel = g_bModelsUsable == 1 && strcasecmp(PathExtension(fileName), ".lmf") == 0;
        if (isModel) {
            // A model renders itself into the model target, which the layer shows whole.
            kind = LayerKind::Model;
            failed = model.LoadMesh(fileName) != 0;
            width = failed ? 0 : kSceneWidth;
            height = failed ? 0 : kSceneHeight;
        } else {
            kind = LayerKind::Picture;
            int32_t w = 0, h = 0;
            if (LoadTexture(g_pEngineDevice, &texture, fileName, &w, &h) == 0) {
                width = w;
                height = h;
            } else {
                width = 0;
                height = 0;
                failed = true;
            }
        }
    }
    used = 1;
    std::strncpy(name, fileName, kLayerNameSize - 1);
    name[kLayerNameSize - 1] = '\0';
    ResetGeometry();
    if (kind == LayerKind::Model) model.SetupDefaultState();
    return failed ? -1 : 0;
}

void CImageLayer::InitMainLayer() {
    Release();
    kind = LayerKind::SceneTarget;
    width = kSceneWidth;
    height = kSceneHeight;
    used = 1;
    name[0] = '\0';
    ResetGeometry();
}

int32_t CImageLayer::ParseCommand(CReadStream* stream, uint32_t size, uint32_t* bytesRead) {
    bool failed = false;
    CChunkReader reader(stream, size);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        switch (header.tag) {
            case kTagLoad: {
                char fileName[kLayerNameSize];
                body.ReadString(fileName, kLayerNameSize);
                if (Load(fileName) != 0) failed = true;
                break;
            }
            case kTagRelease: Release(); break;
            case kTagEffect: ParseEffectBody(body); break;
            // The model state is read whatever the switches say.
            case kTagModelState: model.ParseCommand(body); break;
            default: ReadPlacementField(header.tag, body); break;
        }
    }
    *bytesRead = size;
    return failed ? -1 : 0;
}

// The placement sub-chunks that scripts and saves share; other tags are left alone.
void CImageLayer::ReadPlacementField(uint32_t tag, CChunkReader& body) {
    switch (tag) {
        case kTagOffset: ReadFields(body, &offset); break;
        case kTagPivot: ReadFields(body, &pivot); break;
        case kTagSource: ReadFields(body, &source); break;
        case kTagScale: ReadFields(body, &scale); break;
        case kTagAngle: body.ReadF32(&angle); break;
        case kTagColour: body.ReadU32(&colour); break;
        case kTagBlendMode: body.ReadU32(&blendMode); break;
        case kTagFilter: body.ReadU32(&filter); break;
        default: break;
    }
}

uint32_t CImageLayer::ParseEffect(CReadStream* stream, uint32_t size) {
    CChunkReader body(stream, size);
    ParseEffectBody(body);
    return size;
}

void CImageLayer::ParseEffectBody(CChunkReader& body) {
    uint32_t type = 0;
    if (!body.ReadU32(&type)) return;
    body.ReadI32(&effectDelay);
    CCut cut;
    CFade fade;
    IEffecter9* made = nullptr;
    uint32_t params[IEffecter9::kMaxParams];
    uint32_t count = 0;
    if (type == EffectType::Cut) {
        made = &cut;
        count = body.ReadU32(&params[0]) ? 1 : 0;
    } else if (type == EffectType::Fade) {
        made = &fade;
        if (body.ReadU32(&params[0])) count = body.ReadU32(&params[1]) ? 2 : 1;
    } else {
        return;
    }
    made->SetParams(params, count);
    made->CopyTo(&effect);
    startPending = 1;
}

void CImageLayer::StampEffectStart(uint32_t pageStart) {
    model.StampMotionStart(pageStart);
    if (startPending != 1) return;
    effectStart = pageStart;
    startPending = 0;
}

SLayerDrawRecord CImageLayer::MakeDrawRecord(CTexture* drawTexture) const {
    const bool premultiplied = kind == LayerKind::Model;
    return SLayerDrawRecord{drawTexture, offset, pivot, source, scale.x, scale.y, angle, colour, blendMode, filter,
                            premultiplied};
}

// Whether the draw puts each texel of the target on the screen pixel of the same place (one to
// one, unfiltered, unturned), untinted and in the normal blend mode: only then may the model
// target start from the scene beneath the layer.
bool CImageLayer::ShowsTargetInPlace() const {
    return blendMode == 0 && (colour & 0x00FFFFFFu) == 0x00FFFFFFu && filter != 1 && scale.x == 1.0f &&
           scale.y == 1.0f && angle == 0.0f && pivot.x + offset.x == source.left && pivot.y + offset.y == source.top;
}

void CImageLayer::TakeEndState() {
    visible = effect->GetEndState() == EffectEndState::Hidden ? 0 : 1;
    DeleteEffect();
}

int32_t CImageLayer::Draw() {
    if (used != 1) return 0;
    CTexture* drawTexture = texture;
    int32_t modelResult = 0;
    if (kind == LayerKind::SceneTarget) {
        drawTexture = g_pSceneTargetTexture;
    } else if (kind == LayerKind::Model) {
        // Only a model that is shown or has an effect renders; its result becomes the layer's.
        if (g_bModelsUsable == 1 && (visible == 1 || effect != nullptr)) {
            const EModelBackdrop backdrop =
                ShowsTargetInPlace() ? EModelBackdrop::SceneBeneath : EModelBackdrop::Transparent;
            modelResult = model.Render(g_pModelTargetSurface, backdrop);
        }
        drawTexture = g_pModelTargetTexture;
    }
    const SLayerDrawRecord record = MakeDrawRecord(drawTexture);
    CGraphicsDevice* device = g_pEngineDevice;

    if (effect == nullptr) {
        if (visible == 1) DrawLayerRecord(device, record, colour);
        return modelResult;
    }
    const int32_t elapsed = static_cast<int32_t>(g_GameClock - effectStart - static_cast<uint32_t>(effectDelay));
    if (startPending == 1 || elapsed < 0) {
        if (visible == 1) DrawLayerRecord(device, record, colour);
        return LayerFrame::Animating | LayerFrame::HoldText;
    }
    if (effect->Apply(device, elapsed, record) == EffectResult::Running) {
        return LayerFrame::Animating | LayerFrame::HoldText;
    }
    TakeEndState();
    return modelResult;
}

void CImageLayer::FinishEffect(int32_t motionLength) {
    if (used != 1) return;
    if (effect != nullptr) TakeEndState();
    if (kind == LayerKind::Model) model.Finish(motionLength);
}

int32_t CImageLayer::GetMotionLength() const {
    return used == 1 && kind == LayerKind::Model ? model.GetMotionLength() : 0;
}

int32_t CImageLayer::Save(CWriteStream* stream, uint32_t* byteCount) const {
    CSaveChunkWriter writer(stream);
    writer.Chunk(kTagUsed, &used, 4);
    if (used != 0) {
        writer.Chunk(kTagName, name, static_cast<uint32_t>(strnlen(name, kLayerNameSize - 1)) + 1);
        writer.Chunk(kTagVisible, &visible, 4);
        writer.Chunk(kTagOffset, &offset, 8);
        writer.Chunk(kTagPivot, &pivot, 8);
        writer.Chunk(kTagSource, &source, 16);
        writer.Chunk(kTagScale, &scale, 8);
        writer.Chunk(kTagAngle, &angle, 4);
        writer.Chunk(kTagColour, &colour, 4);
        writer.Chunk(kTagBlendMode, &blendMode, 4);
        writer.Chunk(kTagFilter, &filter, 4);
        writer.Chunk(effect != nullptr ? kTagEffect : kTagNoEffect, nullptr, 0);
        if (kind == LayerKind::Model) {
            CSaveChunkWriter counter(nullptr);
            model.Save(counter);
            writer.Header(kTagModelState, counter.Total());
            model.Save(writer);
        }
    }
    *byteCount = writer.Total();
    return 0;
}

int32_t CImageLayer::Restore(CReadStream* stream, uint32_t size, uint32_t* bytesRead) {
    int32_t result = 0;
    CChunkReader reader(stream, size, ReadSaveScrambled);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        switch (header.tag) {
            case kTagUsed: {
                uint32_t value = 0;
                if (!body.ReadU32(&value)) break;
                if (value == 0) Release();
                used = value;
                break;
            }
            case kTagName: {
                char fileName[kLayerNameSize];
                body.ReadString(fileName, kLayerNameSize);
                if (Load(fileName) != 0) result = -1;
                break;
            }
            case kTagVisible: body.ReadU32(&visible); break;
            case kTagNoEffect: DeleteEffect(); break;
            case kTagModelState: model.Restore(body); break;
            // EFEC restores nothing.
            default: ReadPlacementField(header.tag, body); break;
        }
    }
    *bytesRead = size;
    return result;
}
