// The read history: for every script file the highest page ever reached, which lets skip mode
// run only through pages the player has read. Kept in GameData.sys as RDAT chunks.
#pragma once

#include <cstdint>
#include <vector>

#include "files/stream.h"

struct CInputState;

struct CReadRecord {
    char name[260];   // the script name exactly as it was opened
    int32_t maxPage;
};

struct CReadHistory {
    std::vector<CReadRecord> records;  // in the order they were first added
    int32_t skipOn = 0;                // 1 while skip mode runs
    int32_t skipUnread = 0;            // skip mode also runs through unread pages
    int32_t maxPage = 0;               // highest page read of the open script

    CReadHistory() = default;
    CReadHistory(const CReadHistory&) = delete;
    CReadHistory& operator=(const CReadHistory&) = delete;
    ~CReadHistory() { Clear(); }

    // max page := the recorded page of that name (case-insensitive), or 0.
    void Lookup(const char* name);
    // The record of that name keeps the larger page; a new name is appended. 0, -1 without memory.
    int32_t Record(const char* name, int32_t page);
    // The skip test for the page number reached: 1 lets skip mode run the next page.
    int32_t CanSkip(CInputState* input, uint32_t pageNumber);
    // The GameData.sys body: CKEY, then one RDAT per record. With no stream only the size.
    int32_t Save(CWriteStream* stream, uint32_t* size) const;
    int32_t SaveRecord(CWriteStream* stream, const CReadRecord& record) const;
    // Reads a body of `size` bytes; fails (-1) when the data ends inside a chunk.
    int32_t Restore(CReadStream* stream, uint32_t size, uint32_t* consumed);
    int32_t RestoreRecord(CReadStream* stream, uint32_t size);
    void Clear();

    const CReadRecord* Find(const char* name) const;
};
