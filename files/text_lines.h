// Text files read line by line (the gallery lists and the movie tables): a line ends at LF,
// holds at most a given number of bytes, and the rest of a longer line is skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "files/file_stream.h"

class CTextLineReader {
public:
    // Reads up to n bytes into the buffer; 0 at the end.
    using ReadFn = std::function<size_t(char* buffer, size_t n)>;

    CTextLineReader(ReadFn read, size_t maxLineBytes);
    // Over an open file stream (loose file or archive entry), which the caller keeps.
    CTextLineReader(CFileStream* source, size_t maxLineBytes);
    // Over bytes in memory, which must outlive the reader.
    CTextLineReader(const char* bytes, size_t size, size_t maxLineBytes);

    // The next line without its LF. False at the end of the text.
    bool Next(std::string* line);

private:
    bool Fetch();

    ReadFn read_;
    size_t maxLineBytes_;
    char buffer_[4096];
    size_t held_ = 0;
    size_t position_ = 0;
    bool ended_ = false;
};
