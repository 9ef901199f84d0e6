// Readers of the files the program writes, made from their layouts alone and independent of the
// program's own readers: System.sys, GameData.sys and the save files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The fields the tests look at.
struct SStoredSystemData {
    uint32_t windowed = 0, seOff = 0;
    std::string fontFace;
    int32_t fontHeight = 0;
    uint32_t textSpeed = 0, effectsOn = 0;
    int32_t bgmVolume = 0;
    std::vector<uint8_t> persistentFlags;  // 5
    std::vector<uint8_t> cgFlags;          // 1,024
    std::vector<uint8_t> movieFlags;       // 128
};

// Reads a whole System.sys. False, with the reason in *error, when the file does not have
// exactly the layout's size or a field is out of its range.
bool ReadStoredSystemData(const std::vector<uint8_t>& file, SStoredSystemData* data, std::string* error);

struct SChunk {
    std::string tag;              // the four characters in file order
    std::vector<uint8_t> payload;  // unmasked
};

// Reads a masked chunk stream of `size` bytes that starts at `offset` of the file: a plain CKEY
// chunk of 32 key bytes first, then chunks whose every byte is XORed with key[file offset mod 32].
// False when the stream does not begin with CKEY or a chunk passes its end.
bool ReadMaskedChunks(const std::vector<uint8_t>& file, size_t offset, size_t size, std::vector<SChunk>* chunks,
                      std::string* error);

struct SReadRecord {
    std::string script;
    uint32_t maxPage = 0;
};

// GameData.sys: u32 S, then the masked stream of S bytes (CKEY, one RDAT per script).
bool ReadGameDataFile(const std::vector<uint8_t>& file, std::vector<SReadRecord>* records, std::string* error);

struct SSaveFile {
    uint16_t date[7] = {};  // year, month, day, hour, minute, second, milliseconds
    std::string thumbnailName;     // empty when the pixels are stored
    std::vector<uint8_t> pixels;   // 100 × 75 × 4 bytes B, G, R, A, when stored
    std::string caption;
    std::vector<SChunk> state;     // the engine state's chunks, CKEY included
    std::string script;            // from SCRT
    uint32_t page = 0;
    std::vector<uint8_t> gameFlags;  // FLAG
};

bool ReadSaveFile(const std::vector<uint8_t>& file, SSaveFile* save, std::string* error);
