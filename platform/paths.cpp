#include "platform/paths.h"

#include <dirent.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/sjis.h"

char g_SaveFolder[kSaveFolderSize] = {};

namespace {

// Room the save folder leaves in a kSaveFolderSize buffer for the file names put after it.
constexpr size_t kFileNameRoom = 32;

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
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? 0 : -1;
}

int32_t InitSaveFolder() {
    g_SaveFolder[0] = 0;
    std::string base;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/') {
        base = dataHome;
    } else {
        const std::string home = HomeFolder();
        if (home.empty()) return -1;
        base = home + "/.local/share";
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const std::string folder = base + "/Save/Velkora/";
    if (folder.size() + kFileNameRoom >= kSaveFolderSize) return -1;
    if (MakeDirectories(folder.substr(0, folder.size() - 1)) != 0) return -1;
    std::memcpy(g_SaveFolder, folder.c_str(), folder.size() + 1);
    return 0;
}

void GetSaveFolder(char* buffer) {
    std::memcpy(buffer, g_SaveFolder, kSaveFolderSize);
    buffer[kSaveFolderSize - 1] = 0;
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

FILE* OpenGameFile(const char* path, const char* mode) {
    if (path == nullptr || path[0] == 0) return nullptr;
    return std::fopen(ResolveGamePath(path).c_str(), mode);
}

const char* PathExtension(const char* path) {
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr || std::strpbrk(dot, "\\/") != nullptr) return "";
    return dot;
}
