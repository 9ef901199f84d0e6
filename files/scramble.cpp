#include "files/scramble.h"

#include <cstring>

void XorWithKey(uint8_t* data, size_t n, const uint8_t* key, uint64_t offset) {
    // The key rotated to the first byte's offset, so whole 32-byte blocks XOR word by word.
    uint8_t rotated[kScrambleKeySize];
    for (uint32_t i = 0; i < kScrambleKeySize; ++i) rotated[i] = key[(offset + i) % kScrambleKeySize];
    uint64_t words[kScrambleKeySize / 8];
    std::memcpy(words, rotated, sizeof words);
    size_t i = 0;
    for (; i + kScrambleKeySize <= n; i += kScrambleKeySize) {
        uint64_t block[kScrambleKeySize / 8];
        std::memcpy(block, data + i, sizeof block);
        for (uint32_t w = 0; w < kScrambleKeySize / 8; ++w) block[w] ^= words[w];
        std::memcpy(data + i, block, sizeof block);
    }
    for (uint32_t k = 0; i < n; ++i, ++k) data[i] ^= rotated[k];
}
