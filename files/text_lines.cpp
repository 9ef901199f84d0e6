#include "files/text_lines.h"

#include <algorithm>
#include <cstring>
#include <utility>

CTextLineReader::CTextLineReader(ReadFn read, size_t maxLineBytes)
    : read_(std::move(read)), maxLineBytes_(maxLineBytes) {}

CTextLineReader::CTextLineReader(CFileStream* source, size_t maxLineBytes)
    : CTextLineReader([source](char* buffer, size_t n) { return CFileStream::Read(buffer, 1, n, source); },
                      maxLineBytes) {}

CTextLineReader::CTextLineReader(const char* bytes, size_t size, size_t maxLineBytes)
    : CTextLineReader(
          [bytes, size, offset = size_t{0}](char* buffer, size_t n) mutable {
              const size_t count = std::min(n, size - offset);
              std::memcpy(buffer, bytes + offset, count);
              offset += count;
              return count;
          },
          maxLineBytes) {}

bool CTextLineReader::Fetch() {
    if (ended_) return false;
    held_ = read_(buffer_, sizeof buffer_);
    position_ = 0;
    if (held_ == 0) ended_ = true;
    return !ended_;
}

bool CTextLineReader::Next(std::string* line) {
    line->clear();
    bool any = false;
    for (;;) {
        if (position_ == held_ && !Fetch()) return any;
        any = true;
        const char* start = buffer_ + position_;
        const auto* newline = static_cast<const char*>(std::memchr(start, '\n', held_ - position_));
        const size_t length = newline != nullptr ? static_cast<size_t>(newline - start) : held_ - position_;
        if (line->size() < maxLineBytes_) line->append(start, std::min(length, maxLineBytes_ - line->size()));
        position_ += length;
        if (newline != nullptr) {
            ++position_;
            return true;
        }
    }
}
