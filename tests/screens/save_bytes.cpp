#include "tests/screens/save_bytes.h"

namespace {

void PutU16(std::vector<uint8_t>* out, uint16_t v) {
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace

std::vector<uint8_t> BuildSaveBytes(const STestSave& save) {
    std::vector<uint8_t> out;
    const SSystemTime& t = save.time;
    for (uint16_t field : {t.year, t.month, t.day, t.hour, t.minute, t.second, t.milliseconds}) PutU16(&out, field);
    if (save.thumbnailName.empty()) {
        PutU32(&out, 0);
        for (uint32_t r = 0; r < 75; ++r) {
            for (uint32_t c = 0; c < 100; ++c) PutU32(&out, save.thumbnail ? save.thumbnail(c, r) : 0xFF000000u);
        }
    } else {
        PutU32(&out, static_cast<uint32_t>(save.thumbnailName.size() + 1));
        out.insert(out.end(), save.thumbnailName.begin(), save.thumbnailName.end());
        out.push_back(0);
    }
    PutU32(&out, static_cast<uint32_t>(save.caption.size() + 1));
    out.insert(out.end(), save.caption.begin(), save.caption.end());
    out.push_back(0);
    PutU32(&out, static_cast<uint32_t>(save.state.size()));
    out.insert(out.end(), save.state.begin(), save.state.end());
    return out;
}

SParsedSave ParseSaveBytes(const std::vector<uint8_t>& bytes) {
    SParsedSave parsed;
    size_t at = 0;
    const auto need = [&](size_t n) { return at + n <= bytes.size(); };
    if (!need(18)) return parsed;
    for (int i = 0; i < 7; ++i) parsed.date[i] = static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    parsed.nameLength = GetU32(bytes, 14);
    at = 18;
    if (parsed.nameLength == 0) {
        if (!need(30000)) return parsed;
        parsed.pixels.assign(bytes.begin() + at, bytes.begin() + at + 30000);
        at += 30000;
    } else {
        if (!need(parsed.nameLength)) return parsed;
        parsed.thumbnailName.assign(reinterpret_cast<const char*>(bytes.data() + at), parsed.nameLength - 1);
        at += parsed.nameLength;
    }
    if (!need(4)) return parsed;
    parsed.captionLength = GetU32(bytes, at);
    at += 4;
    if (parsed.captionLength == 0 || !need(parsed.captionLength + 4)) return parsed;
    parsed.caption.assign(reinterpret_cast<const char*>(bytes.data() + at), parsed.captionLength - 1);
    at += parsed.captionLength;
    parsed.stateSize = GetU32(bytes, at);
    at += 4;
    parsed.stateOffset = at;
    parsed.ok = at + parsed.stateSize == bytes.size();
    return parsed;
}

std::vector<uint8_t> Unmask(const std::vector<uint8_t>& bytes, size_t from, size_t to, const uint8_t key[32]) {
    std::vector<uint8_t> plain;
    for (size_t i = from; i < to && i < bytes.size(); ++i) plain.push_back(bytes[i] ^ key[i % 32]);
    return plain;
}
