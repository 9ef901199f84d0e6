// The model holder: one .lmf model placed in a picture layer. It owns the loaded model, one part
// state per mesh layer, the model's pivot, position, rotation and scale (static or driven by
// key tracks), an eye blink, a lip sync that follows a voice player's level, a depth-clear
// switch and the motion list. The SOLD sub-chunk of a layer command sets these; each frame the
// layer draw renders the model through the shader context into the shell's off-screen surface
// and copies it into the layer's target; saves keep the current values.
#pragma once

#include <cstdint>
#include <memory>

#include "files/chunk_reader.h"
#include "files/chunk_save.h"
#include "model/lmf_model.h"
#include "model/model_state.h"
#include "scene/animated_value.h"

class CSurface;
class IDirectSoundPlayer;

// Blink states.
enum : int32_t { kBlinkOff = 0, kBlinkWaiting = 1, kBlinkClosing = 2, kBlinkOpening = 3 };

// Bits of Render's result: as the picture layer's frame result.
namespace ModelFrame {
enum : int32_t { Animating = 1, HoldText = 2 };
}

// What the model target may start a frame from (see CModelHolder::Render).
enum class EModelBackdrop {
    Transparent,   // transparent black
    SceneBeneath,  // the scene, when a surface needs what lies beneath: the layer's draw shows
                   // the target pixel for pixel over it, in the normal blend mode, untinted
};

// The random source of the blink (rand by default); tests replace it.
using BlinkRandom = int (*)();
void SetBlinkRandom(BlinkRandom random);

// The two forms of the SOLD sub-chunks: a page command's and a save's.
enum class EModelForm { Script, Saved };

struct CModelHolder {
    CLmfModel model;
    std::unique_ptr<CModelPartState[]> parts;
    int32_t partCount = 0;
    CAnimatedValue<CKeyTrackVec3> pivot{SVector3{0.0f, 0.0f, 0.0f}};
    CAnimatedValue<CKeyTrackVec3> position{SVector3{0.0f, 0.0f, 0.0f}};
    CAnimatedValue<CKeyTrackVec3> rotation{SVector3{0.0f, 0.0f, 0.0f}};  // radians
    CAnimatedValue<CKeyTrackVec3> scale{SVector3{1.0f, 1.0f, 1.0f}};
    int32_t blinkState = kBlinkOff;
    uint32_t blinkPhaseStart = 0;
    int32_t blinkPeriod = 0;  // ms of the closing and of the opening phase
    int32_t blinkLayer = 0;
    int32_t blinkTargetLayer = 0;  // used as u16: the closed-eye shape, never drawn by itself
    int32_t lipChannel = -1;       // voice channel 0-3 followed by the mouth; -1: no lip sync
    int32_t lipLayer = 0;
    int32_t lipTargetLayer = 0;  // used as u16: the open-mouth shape, never drawn by itself
    float lipWeight = 0.0f;
    uint32_t lipTime = 0;
    IDirectSoundPlayer* lipPlayer = nullptr;  // not owned; set after each page by the engine
    int32_t depthClear = 0;
    CSegmentList motion;
    uint32_t motionStart = 0;         // game time from which the motion list is evaluated
    uint32_t motionStartPending = 0;  // 1: the page-start stamp (or a restore's end) writes motionStart
    int32_t selectionSwitch = 0;      // 1: g_PartSelectors chooses the layers drawn
    int32_t antialias = 1;
    int32_t edge = 1;

    CModelHolder() = default;
    CModelHolder(const CModelHolder&) = delete;
    CModelHolder& operator=(const CModelHolder&) = delete;
    ~CModelHolder() { Release(); }

    // Loads the model (loose file, else Image.pac) on the engine device and makes one part
    // state per mesh layer. 0, or -1 (the holder empty) when it cannot be loaded.
    int32_t LoadMesh(const char* fileName);
    // Gives the holder the default state: no transform, blink and lip sync off, one default
    // motion segment, every layer invisible and white with its part slot from its name.
    void SetupDefaultState();
    // Fills a fresh record with the default state for this holder's layer count, before the
    // layers' names give their part slots. 0, or -1 when memory runs out.
    int32_t BuildDefaultState(CModelState* record) const;
    // Copies a state record into the holder (part states up to the smaller layer count).
    void ApplyState(const CModelState& state);
    // Reads a SOLD payload of a script. Returns 0.
    int32_t ParseCommand(CChunkReader& body);
    // Advances everything to this frame's page time and draws the visible layers into the
    // off-screen surface, then copies it into `destination`; without a destination (or a device
    // and its off-screen surface) everything advances and nothing is drawn. ModelFrame bits.
    // The target holds colour weighted by coverage (alpha): the layer draws it with the source
    // factor one. It starts transparent, or, with EModelBackdrop::SceneBeneath and a surface
    // blend mode 2-6 to draw, from the scene beneath when that is opaque (the back buffer).
    int32_t Render(CSurface* destination, EModelBackdrop backdrop = EModelBackdrop::Transparent);
    // Jumps every track and fade to its end and the motion to `motionLength` ms.
    void Finish(int32_t motionLength);
    // The sum of the segments' totals, up to the first segment without a playing speed.
    int32_t GetMotionLength() const;
    // Writes the saved sub-chunks (nothing but the count without a stream).
    void Save(CSaveChunkWriter& writer) const;
    // Reads them back, in any order; the transforms come back static and the motion waits for
    // its page's start, as a page's motion does.
    void Restore(CChunkReader& body);
    // Writes the page's start into a pending motion start (after a page, and after a restore).
    void StampMotionStart(uint32_t pageStart);
    // Frees the model, the part states and the motion list and empties the tracks.
    void Release();

    // The eye morph weight at game time `now`, stepping the blink's states.
    float BlinkWeight(uint32_t now);
    // The mouth morph weight at game time `now`, following the lip player's level.
    float LipSyncWeight(uint32_t now);

private:
    void ReadSubChunks(CChunkReader& body, EModelForm form);
    void ReadBlink(CChunkReader& chunk, EModelForm form);
    void ReadMotion(CChunkReader& chunk, EModelForm form);
    void ParseLayerState(CChunkReader& body, CModelPartState& part);
    void RestoreLayerState(CChunkReader& body, CModelPartState& part);
    bool NeedsSceneBeneath() const;
    int32_t RenderLayers(int32_t pageTime, bool draws);
    int32_t DrawPart(int32_t index, int32_t pageTime, bool draws);
    void BuildWorld(SMatrix* world) const;
};
