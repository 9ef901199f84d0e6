// The flag report that the external request asks the adventure for: every game, picture and
// movie flag as one line, in Shift-JIS with Windows line ends.
#include <cstdio>
#include <string>

#include "app/system_data.h"
#include "files/atomic_file.h"
#include "screens/adventure.h"

namespace {

const char kLineEnd[] = "\r\n";
// ～～フラグ情報～～
const char kGameHeading[] = "\x81\x60\x81\x60\x83\x74\x83\x89\x83\x4F\x8F\xEE\x95\xF1\x81\x60\x81\x60";
// ～～CGフラグ情報～～
const char kCgHeading[] = "\x81\x60\x81\x60""CG\x83\x74\x83\x89\x83\x4F\x8F\xEE\x95\xF1\x81\x60\x81\x60";
// ～～ムービー･フラグ情報～～
const char kMovieHeading[] =
    "\x81\x60\x81\x60\x83\x80\x81\x5B\x83\x72\x81\x5B\xA5\x83\x74\x83\x89\x83\x4F\x8F\xEE\x95\xF1\x81\x60\x81\x60";
const char kSetMark[] = "\x81\x9C";    // ●
const char kClearMark[] = "\x81\x9B";  // ○

// A heading, then "<number>\t●" or "<number>\t○" per flag; a flag counts as set when it is set
// in either table (the second may be null).
void AppendSection(std::string* report, const char* heading, const uint8_t* flags, const uint8_t* alsoFlags,
                   int32_t count) {
    *report += heading;
    *report += kLineEnd;
    for (int32_t i = 0; i < count; ++i) {
        const bool set = flags[i] != 0 || (alsoFlags != nullptr && alsoFlags[i] != 0);
        *report += std::to_string(i) + "\t" + (set ? kSetMark : kClearMark) + kLineEnd;
    }
}

}  // namespace

std::string MakeFlagReport(const CFlagBlock& flags) {
    std::string report;
    AppendSection(&report, kGameHeading, flags.game, nullptr, kGameFlagCount);
    report += kLineEnd;
    AppendSection(&report, kCgHeading, flags.cg, g_SystemCgFlags, kCgFlagCount);
    report += kLineEnd;
    AppendSection(&report, kMovieHeading, flags.movie, g_SystemMovieFlags, kMovieFlagCount);
    return report;
}

// Written through a temporary file: a failed write reports 0 and leaves an old report whole.
int32_t CAdventure::DumpFlags(const char* path) {
    const std::string report = MakeFlagReport(engine.flags);
    CAtomicFile file;
    FILE* out = file.Begin(path);
    if (out == nullptr) return 0;
    if (std::fwrite(report.data(), 1, report.size(), out) != report.size()) return 0;
    return file.Commit() ? 1 : 0;
}
