// The scene camera: the viewpoint of the 3D model layers, an eye position, three rotation
// angles and a vertical field of view, each static or animated from the page start. The
// "CAM " page command sets it; when models are usable, the scene hands its view and a 4:3
// projection to the shader context every frame.
#pragma once

#include <cstdint>

#include "files/stream.h"
#include "scene/animated_value.h"

struct CCamera {
    CAnimatedValue<CKeyTrackVec3> eye{SVector3{0.0f, 0.0f, -1.0f}};
    // Radians about X, about Y and about Z.
    CAnimatedValue<CKeyTrackVec3> angles{SVector3{0.0f, 0.0f, 0.0f}};
    // Vertical, radians.
    CAnimatedValue<CKeyTrackFloat> fieldOfView{1.0471976f};
    // Game-clock time of the page start; written by the page-start stamp.
    uint32_t startTime;

    CCamera();

    // Reads the "CAM " payload; always 0. *bytesRead is the payload size.
    int32_t ParseCommand(CReadStream* stream, uint32_t size, uint32_t* bytesRead);
    // Evaluates the animations at the game clock and feeds the shader context; 1 while an
    // animation still runs, else 0.
    int32_t Apply();
    // Ends every running animation at its last key.
    void Finish();
    // Writes the three saved sub-chunks (52 bytes), or with no stream only counts them; 0.
    int32_t Save(CWriteStream* stream, uint32_t* byteCount) const;
    // Reads them back; animations stop. 0.
    int32_t Restore(CReadStream* stream, uint32_t size, uint32_t* bytesRead);
    // Emptied tracks, as the engine's release leaves them.
    void RemoveAllKeys();
};
