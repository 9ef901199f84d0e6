// The two timed waits a page can carry, both on the game clock: KLOK, the input lock
// (`CClockWait`), and ACTL, the automatic advance (`CActionControl`). Either may wait for a
// condition before its timer starts: IWF (the page's transitions have finished) or TWF (the
// text is fully shown and no voice plays).
#pragma once

#include <cstdint>

#include "files/chunk_reader.h"
#include "files/stream.h"

struct CTimedWait {
    int32_t active = 0;
    int32_t iwf = 0;
    int32_t twf = 0;
    int32_t time = 0;
    uint32_t start = 0x80000000u;

    void Clear();
    // IWF holds once the effects are finished; TWF once the text is shown and the voices are silent.
    bool ConditionsHold() const;
    bool HasStarted() const { return start != 0x80000000u; }
    // start := game clock when not started and the conditions hold.
    void StartIfReady();
    // Started and game clock - start >= time (signed).
    bool HasRunOut() const;
    // The page-start stamp: not started when a condition is set, else the given time.
    void Stamp(uint32_t pageStart);
    // Payload size of the save form: 12 plus 8 for each condition flag.
    uint32_t SaveSize() const;

protected:
    // Reads the sub-chunks "IWF ", "TWF " and the time tag; sets active. Returns 0.
    int32_t ReadChunks(CReadStream* stream, ChunkReadFn read, uint32_t* consumed, uint32_t size, uint32_t timeTag);
    int32_t WriteChunks(CWriteStream* stream, uint32_t* size, uint32_t timeTag) const;
};

struct CClockWait : CTimedWait {
    int32_t Parse(CReadStream* stream, uint32_t* consumed, uint32_t size);
    // The KLOK start rule: only a lock with a time above 0 or a condition starts.
    void Start();
    // The lock holds input while active and not run out.
    bool IsLocking() const;
    int32_t Save(CWriteStream* stream, uint32_t* size) const;
    int32_t Restore(CReadStream* stream, uint32_t size, uint32_t* consumed);
};

struct CActionControl : CTimedWait {
    int32_t Parse(CReadStream* stream, uint32_t* consumed, uint32_t size);
    // Starts the timer when its conditions hold; 1 when it has run out.
    int32_t IsElapsed();
    int32_t Save(CWriteStream* stream, uint32_t* size) const;
    int32_t Restore(CReadStream* stream, uint32_t size, uint32_t* consumed);
};
