// The scene lighting of the 3D model layers: an ambient colour and two directional lights,
// each colour and each pair of direction angles static or animated from the page start. The
// LGHT page command sets it; when models are usable, the scene hands it to the shader context
// every frame.
#pragma once

#include <cstdint>

#include "files/stream.h"
#include "scene/animated_value.h"

struct CSceneLight {
    CAnimatedValue<CKeyTrackColor> ambient{SColorF{0.2f, 0.2f, 0.2f, 1.0f}};
    CAnimatedValue<CKeyTrackColor> light1Colour{SColorF{1.0f, 1.0f, 1.0f, 1.0f}};
    // Radians about X and about Y.
    CAnimatedValue<CKeyTrackVec2> light1Angles{SVector2{0.5236f, 0.7854f}};
    CAnimatedValue<CKeyTrackColor> light2Colour{SColorF{0.0f, 0.0f, 0.0f, 1.0f}};
    CAnimatedValue<CKeyTrackVec2> light2Angles{SVector2{0.5236f, -0.7854f}};
    // Game-clock time of the page start; written by the page-start stamp.
    uint32_t startTime;

    CSceneLight();

    // Reads the LGHT payload; always 0. *bytesRead is the payload size.
    int32_t ParseCommand(CReadStream* stream, uint32_t size, uint32_t* bytesRead);
    // Evaluates the animations at the game clock and feeds the shader context; 1 while an
    // animation still runs, else 0.
    int32_t Apply();
    // Ends every running animation at its last key.
    void Finish();
    // Writes the five saved sub-chunks (92 bytes), or with no stream only counts them; 0.
    int32_t Save(CWriteStream* stream, uint32_t* byteCount) const;
    // Reads them back; animations stop. 0.
    int32_t Restore(CReadStream* stream, uint32_t size, uint32_t* bytesRead);
    // Emptied tracks, as the engine's release leaves them.
    void RemoveAllKeys();
};

// The direction of a light turned by its angles: (0, 0, 1) * Rx(about X) * Ry(about Y).
SVector3 LightDirection(const SVector2& angles);
