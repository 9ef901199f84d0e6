// The byte scrambling shared by the PACK archives and the files the program writes for itself:
// a byte at absolute file offset p is stored XORed with key[p mod 32].
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kScrambleKeySize = 32;

// XORs n bytes, the first of which lies at absolute file offset `offset`. Its own inverse.
void XorWithKey(uint8_t* data, size_t n, const uint8_t* key, uint64_t offset);
