#include "platform/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sjis.h"

char g_SaveFolder[kSaveFolderSize] = {};

namespace {

// Room the save folder leaves in a kSaveFolderSize buffer for the file names put after it,
// with the suffix of their temporary files.
constexpr size_t kFileNameRoom = 64;

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

// The entry of `folder` whose name equals `name` without regard to ASCII case; when several
// do, the smallest by byte order, so the choice does not depend on the directory order.
bool FindIgnoringCase(const std::string& folder, const std::string& name, std::string* found) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return false;
    bool any = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (::strcasecmp(entry->d_name, name.c_str()) != 0) continue;
        if (!any || std::strcmp(entry->d_name, found->c_str()) < 0) *found = entry->d_name;
        any = true;
    }
    ::closedir(dir);
    return any;
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    const passwd* user = ::getpwuid(::getuid());
    if (user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] == '/') return user->pw_dir;
    return std::string();
}

}  // namespace

std::string ReplaceSeparators(const std::string& path, char from, char to) {
    std::string out = path;
    for (size_t i = 0; i < out.size(); ++i) {
        if (IsSjisLeadByte(static_cast<unsigned char>(out[i])) && i + 1 < out.size()) {
            ++i;
        } else if (out[i] == from) {
            out[i] = to;
        }
    }
    return out;
}

int32_t MakeDirectories(const std::string& path) {
    if (path.empty()) return -1;
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string prefix = path.substr(0, at);
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return -1;
    }
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return -1;
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return -1;
    }
    return 0;
}

int32_t InitSaveFolder() {
    g_SaveFolder[0] = 0;
    std::string base;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') {
        base = dataHome;
    } else {
        const std::string home = HomeFolder();
        if (home.empty()) {
            std::fprintf(stderr, "save folder: no home folder is known (HOME and XDG_DATA_HOME are unset); "
                                 "nothing will be saved\n");
            return -1;
        }
        base = home + "/.local/share";
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const std::string folder = base + "/Save/Velkora/";
    if (folder.size() + kFileNameRoom >= kSaveFolderSize) {
        std::fprintf(stderr, "save folder: \"%s\" is too long (%zu bytes); nothing will be saved\n", folder.c_str(),
                     folder.size());
        return -1;
    }
    errno = 0;
    if (MakeDirectories(folder.substr(0, folder.size() - 1)) != 0) {
        std::fprintf(stderr, "save folder: cannot create \"%s\": %s; nothing will be saved\n", folder.c_str(),
                     std::strerror(errno != 0 ? errno : ENOTDIR));
        return -1;
    }
    std::memcpy(g_SaveFolder, folder.c_str(), folder.size() + 1);
    return 0;
}

void GetSaveFolder(char* buffer) {
    std::memcpy(buffer, g_SaveFolder, kSaveFolderSize);
    buffer[kSaveFolderSize - 1] = 0;
}

int32_t FormatPath(char* destination, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(destination, kSaveFolderSize, format, arguments);
    va_end(arguments);
    if (length >= 0 && static_cast<uint32_t>(length) < kSaveFolderSize) return 0;
    destination[0] = 0;
    return -1;
}

std::string ResolveGamePath(const char* path) {
    if (path == nullptr) return std::string();
    if (path[0] == '/') return path;
    const std::string native = SjisToUtf8(ReplaceSeparators(path, '\\', '/'));
    if (native.empty() || Exists(native)) return native;

    std::string resolved;
    size_t start = 0;
    bool matching = true;
    while (start <= native.size()) {
        size_t end = native.find('/', start);
        if (end == std::string::npos) end = native.size();
        std::string part = native.substr(start, end - start);
        if (matching && !part.empty() && part != "." && part != "..") {
            const std::string candidate = resolved + part;
            std::string found;
            if (!Exists(candidate)) {
                if (FindIgnoringCase(resolved, part, &found)) {
                    part = found;
                } else {
                    matching = false;
                }
            }
        }
        resolved += part;
        if (end < native.size()) resolved += '/';
        start = end + 1;
    }
    return resolved;
}

int OpenRegularFileFd(const char* path, int flags, int mode) {
    if (path == nullptr || path[0] == 0) {
        errno = ENOENT;
        return -1;
    }
    // Without O_NONBLOCK, opening a FIFO waits for its other end, for ever.
    const int fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    struct stat info;
    const bool known = ::fstat(fd, &info) == 0;
    if (!known || !S_ISREG(info.st_mode)) {
        const int error = !known ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

FILE* OpenRegularFile(const char* path, const char* mode) {
    if (mode == nullptr) return nullptr;
    const bool update = std::strchr(mode, '+') != nullptr;
    int flags = 0;
    switch (mode[0]) {
        case 'r': flags = update ? O_RDWR : O_RDONLY; break;
        case 'w': flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC; break;
        case 'a': flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; break;
        default: errno = EINVAL; return nullptr;
    }
    const int fd = OpenRegularFileFd(path, flags);
    if (fd < 0) return nullptr;
    FILE* file = ::fdopen(fd, mode);
    if (file == nullptr) ::close(fd);
    return file;
}

FILE* OpenGameFile(const char* path, const char* mode) {
    if (path == nullptr || path[0] == 0) return nullptr;
    return OpenRegularFile(ResolveGamePath(path).c_str(), mode);
}

const char* PathExtension(const char* path) {
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr || std::strpbrk(dot, "\\/") != nullptr) return "";
    return dot;
}
