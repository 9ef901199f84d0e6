#include "files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

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
    if (path == nullptr || path[0] == 0) return nullptr;
    target = path;
    std::vector<char> name(target.begin(), target.end());
    const char suffix[] = ".tmp-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return nullptr;
    temporary = name.data();
    // The new file keeps the old one's permissions, or gets the usual ones for a new file.
    struct stat old;
    ::fchmod(fd, ::stat(path, &old) == 0 ? (old.st_mode & 0777) : 0644);
    file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(temporary.c_str());
        temporary.clear();
    }
    return file;
}

bool CAtomicFile::Commit(CWriteStream* stream) {
    if (file == nullptr) return false;
    bool ok = true;
    if (stream != nullptr) {
        ok = stream->Flush();
        stream->file = nullptr;
    }
    ok = std::fflush(file) == 0 && std::ferror(file) == 0 && ok;
    ok = ::fsync(::fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    file = nullptr;
    if (ok) ok = std::rename(temporary.c_str(), target.c_str()) == 0;
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
