// The sample game's models. The character is small (a few hundred triangles) but uses every
// feature of the .lmf format: a node hierarchy with pivots and inverse rest matrices, every key
// shape and every behaviour before and after the keys, every shading type, every blend mode,
// textures of sizes that are not powers of two, skinning with two to four weights, palette
// records of every kind, eye and mouth morph pairs, part-slot names with a bust shape, a camera, light groups
// and a foreign chunk larger than the reader's buffer. The dense model is a skinned column of
// 64 animated nodes and more than 10,000 triangles, for measuring loads and poses.
#pragma once

#include "tools/lib/lmf_writer.h"

// Node indices of the character.
enum : uint16_t {
    kCharacterHips = 0,
    kCharacterSpine,
    kCharacterHead,
    kCharacterLeftArm,
    kCharacterRightArm,
    kCharacterLeftLeg,
    kCharacterRightLeg,
    kCharacterCamera,
    kCharacterNodeCount,
};

// Layer indices of the character's morph pairs.
enum : uint32_t {
    kCharacterEyesOpen = 3,
    kCharacterEyesClosed = 4,
    kCharacterMouthClosed = 5,
    kCharacterMouthOpen = 6,
};

constexpr int kDenseModelNodes = 64;

// The swatch model's surfaces: flat and unlit, red, green and blue given in 255ths so that
// the pixels they make can be worked out by hand.
constexpr float kSwatchNormalColour[3] = {255 / 255.0f, 204 / 255.0f, 51 / 255.0f};    // blend mode 0
constexpr float kSwatchMultiplyColour[3] = {153 / 255.0f, 204 / 255.0f, 102 / 255.0f};  // blend mode 2

SLmfModelData MakeSampleCharacter();
SLmfModelData MakeDenseModel();
// Two quads 1.0 wide and 0.8 high in the plane z = 0, centred at (-0.7, 0) (layer 0, the normal
// surface) and (0.7, 0) (layer 1, the multiplying surface), each drawn with the identity
// matrix: the check of how a model composes over the scene beneath it.
SLmfModelData MakeSwatchModel();
