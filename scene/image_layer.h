// Picture layers: one drawable level of the scene each. The engine draws 16 of them from back
// to front, plus a main layer that shows the whole-scene target. A layer holds a 2D picture
// (kind 1), a 3D model rendered into the model target (kind 2) or the scene target (kind 3,
// the main layer), with its placement, colour, blend mode, filter, visibility and at most one
// pending transition effect.
#pragma once

#include <cstdint>

#include "files/chunk_reader.h"
#include "files/stream.h"
#include "model/model_holder.h"
#include "platform/math3d.h"
#include "platform/types.h"
#include "scene/effecter.h"

class CTexture;

namespace LayerKind {
enum : uint32_t { Picture = 1, Model = 2, SceneTarget = 3 };
}

// Bits of a layer's frame result.
namespace LayerFrame {
enum : int32_t { Animating = 1, HoldText = 2 };
}

constexpr uint32_t kLayerNameSize = 260;
constexpr int32_t kSceneWidth = 800;
constexpr int32_t kSceneHeight = 600;

struct CImageLayer {
    uint32_t used = 0;  // 1 while the layer holds a picture
    uint32_t kind = LayerKind::Picture;
    CModelHolder model;            // the model of a kind-2 layer
    CTexture* texture = nullptr;   // owned; the picture of a kind-1 layer
    char name[kLayerNameSize] = {};  // Shift-JIS path relative to the data root
    int32_t width = 0;
    int32_t height = 0;
    uint32_t visible = 0;
    SPoint offset{0, 0};  // the picture's top-left corner relative to the pivot, unscaled
    SPoint pivot{0, 0};   // screen position of the centre of scaling and rotation
    SRect source{0, 0, 0, 0};
    SVector2 scale{1.0f, 1.0f};
    float angle = 0.0f;  // radians; positive turns clockwise on screen
    uint32_t colour = 0xFFFFFFFFu;
    uint32_t blendMode = 0;
    uint32_t filter = 0;
    IEffecter9* effect = nullptr;  // owned
    int32_t effectDelay = 0;       // ms after the page start
    uint32_t effectStart = 0;      // game-clock time of the page start that set the effect
    uint32_t startPending = 0;     // 1 until the page-start stamp writes effectStart

    CImageLayer() = default;
    CImageLayer(const CImageLayer&) = delete;
    CImageLayer& operator=(const CImageLayer&) = delete;
    ~CImageLayer();

    // Loads a picture (or a model) and resets the geometry; the same name in any letter case
    // keeps what is loaded. 0, or -1 when the file cannot be loaded (the layer is then used,
    // 0 x 0, with the name set).
    int32_t Load(const char* fileName);
    void InitMainLayer();
    // Reads an IMAG or MIMG payload; 0, or -1 when a LOAD in it failed. *bytesRead = size.
    int32_t ParseCommand(CReadStream* stream, uint32_t size, uint32_t* bytesRead);
    // Reads an EFEC payload; returns the bytes consumed (its size).
    uint32_t ParseEffect(CReadStream* stream, uint32_t size);
    // Draws the layer for this frame and runs its effect; returns LayerFrame bits.
    int32_t Draw();
    // Brings a pending effect to its end state at once, without a last frame, and a model's
    // tracks and fades to their ends with its motion at `motionLength` ms.
    void FinishEffect(int32_t motionLength = 0);
    // The model's remaining motion time (0 for a layer without a model).
    int32_t GetMotionLength() const;
    // Writes the saved sub-chunks, or with no stream only counts them; 0.
    int32_t Save(CWriteStream* stream, uint32_t* byteCount) const;
    // Reads them back; 0, or -1 when the picture cannot be reloaded. *bytesRead = size.
    int32_t Restore(CReadStream* stream, uint32_t size, uint32_t* bytesRead);
    // Frees the picture, the model and the effect; the layer becomes free.
    void Release();
    void ResetGeometry();
    // The page-start stamp: a pending effect start and a pending motion start take the
    // page-start time.
    void StampEffectStart(uint32_t pageStart);

private:
    void ParseEffectBody(CChunkReader& body);
    void ReadPlacementField(uint32_t tag, CChunkReader& body);
    void DeleteEffect();
    SLayerDrawRecord MakeDrawRecord(CTexture* drawTexture) const;
    bool ShowsTargetInPlace() const;
    void TakeEndState();
};
