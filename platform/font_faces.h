// Inside the font layer: face names resolved to font files through fontconfig, and the bounded
// cache of opened FreeType faces, one per file, face index and font height.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct FT_FaceRec_;

// A face name resolved to one font file and the synthetic styles it needs.
struct SResolvedFace {
    std::string familyUtf8;
    std::string file;
    uint32_t fileId = 0;  // small number that stands for the file in cache keys
    int32_t index = 0;    // face index inside the file
    bool syntheticBold = false;
    bool syntheticItalic = false;
};

// Resolves a Shift-JIS face name (already cut to 31 bytes). Null when no installed font has
// Japanese glyphs. The result is shared: fonts keep it for their lifetime.
std::shared_ptr<const SResolvedFace> ResolveFontFace(const std::string& faceSjis, bool bold, bool italic);

// Shift-JIS display names of the installed Japanese faces plus the installed Windows aliases.
std::vector<std::string> ListJapaneseFaceNames();

// An opened face, sized for one font height, with the text metrics of that height.
struct SSizedFace {
    FT_FaceRec_* face = nullptr;
    uint32_t fileId = 0;
    int32_t index = 0;
    int32_t height = 0;  // the font height it was made for
    int32_t ascent = 0;
    int32_t descent = 0;
    int32_t aveCharWidth = 0;
    int32_t maxCharWidth = 0;
    uint64_t lastUse = 0;
};

// The face for (file, height), opened and sized on first use. The pointer is valid until the
// next call (the cache may close the least recently used face). Null when the file cannot be read.
SSizedFace* AcquireSizedFace(const SResolvedFace& resolved, int32_t height);

void CloseCachedFaces();
uint32_t CountFaceOpens();
