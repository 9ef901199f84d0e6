// Writes PACK archives (plain or scrambled) for the tools and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CPackWriterEntry {
    std::string name;  // Shift-JIS relative path; '/' or '\' as separators
    std::vector<uint8_t> data;
};

struct CPackWriteOptions {
    bool scrambled = false;
    uint8_t key[32] = {0x3A, 0x91, 0x07, 0xC4, 0x5E, 0x22, 0xF0, 0x68, 0x1B, 0xD7, 0x84, 0x39, 0xAE, 0x60, 0x15, 0xCB,
                       0x72, 0x0D, 0x9F, 0x46, 0xE3, 0x58, 0x2C, 0xB1, 0x8A, 0x17, 0x6D, 0xF4, 0x33, 0xC9, 0x05, 0x9E};
};

// The archive's bytes: entries sorted in the archive's name order, names stored with '\',
// data after the table in table order. Empty when a name is empty, 260 bytes or longer, or
// given twice (without regard to case), or when the archive would pass 4 GiB.
std::vector<uint8_t> BuildPackArchive(std::vector<CPackWriterEntry> entries, const CPackWriteOptions& options = {});

// Writes the archive to a native path. 0, or -1 when the entries are refused or the file
// cannot be written.
int32_t WritePackArchive(const std::string& path, std::vector<CPackWriterEntry> entries,
                         const CPackWriteOptions& options = {});

// The name as the archive stores it: '/' turned into '\' (whole Shift-JIS characters stepped).
std::string PackEntryName(const std::string& name);
