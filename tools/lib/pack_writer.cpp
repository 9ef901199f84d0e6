#include "tools/lib/pack_writer.h"

#include <algorithm>
#include <cstdio>

#include "files/pack_archive.h"
#include "files/scramble.h"
#include "platform/paths.h"

namespace {

void PutU32(std::vector<uint8_t>* out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

// Header and table of the sorted entries; false when an entry is refused.
bool BuildHead(std::vector<CPackWriterEntry>* entries, const CPackWriteOptions& options, std::vector<uint8_t>* head) {
    for (CPackWriterEntry& entry : *entries) {
        entry.name = PackEntryName(entry.name);
        if (entry.name.empty() || entry.name.size() >= kPackNameSize) return false;
    }
    std::stable_sort(entries->begin(), entries->end(), [](const CPackWriterEntry& a, const CPackWriterEntry& b) {
        return ComparePackNames(a.name.c_str(), b.name.c_str()) < 0;
    });
    for (size_t i = 1; i < entries->size(); ++i) {
        if (ComparePackNames((*entries)[i - 1].name.c_str(), (*entries)[i].name.c_str()) == 0) return false;
    }
    uint64_t tableEnd = kPackHeaderSize;
    for (const CPackWriterEntry& entry : *entries) tableEnd += 4 + entry.name.size() + 1 + 4 + 4;
    uint64_t offset = tableEnd;
    head->clear();
    PutU32(head, kPackMagic);
    PutU32(head, static_cast<uint32_t>(entries->size()));
    PutU32(head, options.scrambled ? 1 : 0);
    for (uint8_t k : options.key) head->push_back(k ^ kPackKeyMask);
    for (const CPackWriterEntry& entry : *entries) {
        if (offset + entry.data.size() > UINT32_MAX) return false;
        PutU32(head, static_cast<uint32_t>(entry.name.size() + 1));
        head->insert(head->end(), entry.name.begin(), entry.name.end());
        head->push_back(0);
        PutU32(head, static_cast<uint32_t>(entry.data.size()));
        PutU32(head, static_cast<uint32_t>(offset));
        offset += entry.data.size();
    }
    if (options.scrambled) XorWithKey(head->data() + kPackHeaderSize, head->size() - kPackHeaderSize, options.key, kPackHeaderSize);
    return true;
}

}  // namespace

std::string PackEntryName(const std::string& name) { return ReplaceSeparators(name, '/', '\\'); }

std::vector<uint8_t> BuildPackArchive(std::vector<CPackWriterEntry> entries, const CPackWriteOptions& options) {
    std::vector<uint8_t> out;
    if (!BuildHead(&entries, options, &out)) return {};
    for (const CPackWriterEntry& entry : entries) {
        const size_t at = out.size();
        out.insert(out.end(), entry.data.begin(), entry.data.end());
        if (options.scrambled) XorWithKey(out.data() + at, entry.data.size(), options.key, at);
    }
    return out;
}

int32_t WritePackArchive(const std::string& path, std::vector<CPackWriterEntry> entries,
                         const CPackWriteOptions& options) {
    std::vector<uint8_t> head;
    if (!BuildHead(&entries, options, &head)) return -1;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return -1;
    bool ok = std::fwrite(head.data(), 1, head.size(), file) == head.size();
    uint64_t at = head.size();
    std::vector<uint8_t> block;
    for (const CPackWriterEntry& entry : entries) {
        for (size_t done = 0; ok && done < entry.data.size();) {
            const size_t size = std::min<size_t>(entry.data.size() - done, 1 << 20);
            block.assign(entry.data.begin() + done, entry.data.begin() + done + size);
            if (options.scrambled) XorWithKey(block.data(), size, options.key, at);
            ok = std::fwrite(block.data(), 1, size, file) == size;
            done += size;
            at += size;
        }
    }
    if (std::fclose(file) != 0) ok = false;
    return ok ? 0 : -1;
}
