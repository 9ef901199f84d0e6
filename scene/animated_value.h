// One element of the scene camera or lights: a value that is either static or driven by a key
// track from the owner's start time, with its script form and its saved form.
#pragma once

#include <cstdint>
#include <cstring>

#include "files/chunk_reader.h"
#include "files/chunk_save.h"
#include "platform/render_context.h"
#include "scene/key_track.h"

// Game-clock milliseconds since a start time (wrapping); 0 while the start time is not set.
inline int32_t ElapsedSince(uint32_t startTime) {
    if (startTime == kTimeNotSet) return 0;
    return static_cast<int32_t>(g_GameClock - startTime);
}

template <typename Track>
struct CAnimatedValue {
    using Value = typename Track::ValueType;
    static constexpr int kComponents = Track::kComponents;

    Value value;
    uint32_t animating = 0;
    Track track;

    explicit CAnimatedValue(const Value& initial) : value(initial) {}

    // Script form: u32 animate; animate 0: `stored` floats over the value's first components;
    // otherwise u32 cubic, u32 count and count keys {i32 time ms, `stored` floats}, where the
    // components a key does not store are 1.0. The track's keys are always removed first.
    void Parse(CChunkReader& body, int stored) {
        track.RemoveAll();
        uint32_t animate = 0;
        body.ReadU32(&animate);
        animating = animate;
        float v[kComponents];
        std::memcpy(v, &value, sizeof value);
        if (animate == 0) {
            for (int i = 0; i < stored; ++i) body.ReadF32(&v[i]);
            std::memcpy(&value, v, sizeof value);
            return;
        }
        uint32_t cubic = 0;
        uint32_t count = 0;
        body.ReadU32(&cubic);
        body.ReadU32(&count);
        for (uint32_t k = 0; k < count; ++k) {
            typename Track::Key key;
            float kv[kComponents];
            for (float& c : kv) c = 1.0f;
            bool complete = body.ReadI32(&key.time);
            for (int i = 0; i < stored && complete; ++i) complete = body.ReadF32(&kv[i]);
            if (!complete) break;
            std::memcpy(&key.value, kv, sizeof kv);
            track.SetKey(key);
        }
        track.cubic = static_cast<int32_t>(cubic);
    }

    // Evaluates the track at `time` while animating; returns 1 while the animation still runs.
    uint32_t Step(int32_t time) {
        if (!animating) return 0;
        if (track.Evaluate(time, &value) == 1) {
            animating = 0;
            return 0;
        }
        return 1;
    }

    // Ends a running animation at its last key.
    void Finish() {
        if (!animating) return;
        if (const auto* last = track.LastKey()) value = last->value;
        animating = 0;
    }

    // Saved form: the first `stored` components of the value.
    void Save(CSaveChunkWriter& writer, uint32_t tag, int stored) const {
        writer.Chunk(tag, &value, static_cast<uint32_t>(stored * sizeof(float)));
    }

    // Reads the saved components (whole ones only) and stops any animation; the track keeps
    // its keys.
    void Restore(CChunkReader& body, int stored) {
        float v[kComponents];
        std::memcpy(v, &value, sizeof value);
        for (int i = 0; i < stored; ++i) body.ReadF32(&v[i]);
        std::memcpy(&value, v, sizeof value);
        animating = 0;
    }
};
