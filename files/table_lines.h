// The text tables of the screens (the picture table, the movie tables): read line by line from a
// loose file, else from an archive entry of the same name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct CPackArchive;

// The longest line a table may hold, in bytes, without its line end.
constexpr size_t kTableLineMax = 255;

// Receives each line (NUL-terminated, without "\n" or "\r\n"); false stops the reading.
using TableLineHandler = std::function<bool(const char* line)>;

// Splits a text handed over in pieces of any size into lines. A line longer than the limit
// (kTableLineMax unless given) is skipped whole: cutting it would read its tail as a line of its
// own.
class CTableLineSplitter {
public:
    explicit CTableLineSplitter(TableLineHandler onLine, size_t lineMax = kTableLineMax)
        : onLine_(std::move(onLine)), lineMax_(lineMax) {}

    // False once the handler has stopped the reading (the rest is then ignored).
    bool Feed(const char* bytes, size_t size);
    // The last line when the text does not end with "\n". False when the handler stopped.
    bool Finish();

private:
    bool EndLine();

    TableLineHandler onLine_;
    size_t lineMax_;
    std::string line_;
    bool tooLong_ = false;
    bool stopped_ = false;
};

// Reads the table at `path` (a game path) line by line: the loose file, else the archive's
// entry. 0, or -1 when neither can be opened.
int32_t ReadTableLines(const char* path, const CPackArchive* archive, const TableLineHandler& onLine,
                       size_t lineMax = kTableLineMax);
