#include "files/table_lines.h"

#include "files/file_stream.h"

bool CTableLineSplitter::Feed(const char* bytes, size_t size) {
    for (size_t i = 0; i < size && !stopped_; ++i) {
        if (bytes[i] == '\n') {
            EndLine();
        } else if (line_.size() <= lineMax_) {  // one byte over the limit marks the line
            line_ += bytes[i];
        } else {
            tooLong_ = true;
        }
    }
    return !stopped_;
}

bool CTableLineSplitter::Finish() {
    if (!stopped_ && !line_.empty()) EndLine();
    return !stopped_;
}

bool CTableLineSplitter::EndLine() {
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (!tooLong_ && line_.size() <= lineMax_ && !onLine_(line_.c_str())) stopped_ = true;
    line_.clear();
    tooLong_ = false;
    return !stopped_;
}

int32_t ReadTableLines(const char* path, const CPackArchive* archive, const TableLineHandler& onLine,
                       size_t lineMax) {
    CFileStream source;
    if (source.OpenLoose(path) != 0 && source.OpenEntry(archive, path) != 0) return -1;
    CTableLineSplitter splitter(onLine, lineMax);
    char buffer[4096];
    size_t got = 0;
    while ((got = CFileStream::Read(buffer, 1, sizeof buffer, &source)) > 0 && splitter.Feed(buffer, got)) {
    }
    splitter.Finish();
    CFileStream::Close(&source);
    return 0;
}
