#include "files/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr char kTemporarySuffix[] = ".tmp-XXXXXX";
constexpr size_t kTemporarySuffixLength = sizeof kTemporarySuffix - 1;

// Makes a rename in the folder durable. Best effort: not every file system can sync a folder.
void SyncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

FILE* CAtomicFile::Begin(const char* path) {
    Abort();
    error = 0;
    if (path == nullptr || path[0] == 0) {
        error = ENOENT;
        return nullptr;
    }
    target = path;
    std::vector<char> name(target.begin(), target.end());
    name.insert(name.end(), kTemporarySuffix, kTemporarySuffix + sizeof kTemporarySuffix);
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    temporary = name.data();
    // The new file keeps the old one's permissions, or gets the usual ones for a new file.
    struct stat old;
    ::fchmod(fd, ::stat(path, &old) == 0 ? (old.st_mode & 0777) : 0644);
    file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        error = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        temporary.clear();
    }
    return file;
}

bool CAtomicFile::Commit(CWriteStream* stream) {
    if (file == nullptr) {
        if (error == 0) error = EBADF;
        return false;
    }
    error = 0;
    // Each step runs whatever the ones before gave; the first failure names the reason.
    const auto step = [this](bool done) {
        if (!done && error == 0) error = errno != 0 ? errno : EIO;
        return done;
    };
    bool ok = true;
    if (stream != nullptr) {
        ok = stream->Flush();
        if (!ok && error == 0) error = stream->error != 0 ? stream->error : EIO;
        stream->file = nullptr;
    }
    errno = 0;
    ok = step(std::fflush(file) == 0 && std::ferror(file) == 0) && ok;
    ok = step(::fsync(::fileno(file)) == 0) && ok;
    ok = step(std::fclose(file) == 0) && ok;
    file = nullptr;
    if (ok) ok = step(std::rename(temporary.c_str(), target.c_str()) == 0);
    if (!ok) {
        ::unlink(temporary.c_str());
    } else {
        SyncFolderOf(target);
    }
    temporary.clear();
    return ok;
}

void CAtomicFile::Abort() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
    if (!temporary.empty()) ::unlink(temporary.c_str());
    temporary.clear();
}

void ReportUnwrittenFile(const char* path, int error) {
    ReportUnwrittenFile(path, error != 0 ? std::strerror(error) : "reason unknown");
}

void ReportUnwrittenFile(const char* path, const char* reason) {
    std::fprintf(stderr, "cannot write \"%s\": %s; the file there before is kept\n", path != nullptr ? path : "",
                 reason);
}

int32_t RemoveStaleTemporaries(const std::string& folder, bool (*ownName)(const std::string& name)) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return 0;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= kTemporarySuffixLength) continue;
        const size_t base = name.size() - kTemporarySuffixLength;
        if (name.compare(base, kTemporarySuffixLength - 6, kTemporarySuffix, kTemporarySuffixLength - 6) != 0)
            continue;
        if (!ownName(name.substr(0, base))) continue;
        stale.push_back(name);
    }
    ::closedir(dir);
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    int32_t removed = 0;
    for (const std::string& name : stale) {
        struct stat info;
        const std::string path = prefix + name;
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::unlink(path.c_str()) == 0) ++removed;
    }
    return removed;
}
