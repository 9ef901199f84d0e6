#include "platform/single_instance.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

CInstanceLock g_processLock;

constexpr int kConnectAttempts = 50;  // the first instance may still be setting up its socket
constexpr auto kConnectRetryDelay = std::chrono::milliseconds(10);

const char* NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

uint64_t HashPath(const std::string& path) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : path) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

// An abstract socket address named after the lock file, so that the address is per user and
// per lock folder and never leaves a file behind.
socklen_t MakeSocketAddress(const std::string& lockPath, sockaddr_un* address) {
    *address = {};
    address->sun_family = AF_UNIX;
    char name[64];
    const int length = std::snprintf(name, sizeof(name), "velkora-instance-%u-%016llx",
                                     static_cast<unsigned>(getuid()),
                                     static_cast<unsigned long long>(HashPath(lockPath)));
    std::memcpy(address->sun_path + 1, name, static_cast<size_t>(length));
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<size_t>(length));
}

void CloseFd(int* fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

int Listen(const std::string& lockPath) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un address;
    const socklen_t length = MakeSocketAddress(lockPath, &address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 8) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendRaiseRequest(const std::string& lockPath) {
    sockaddr_un address;
    const socklen_t length = MakeSocketAddress(lockPath, &address);
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
        if (connected) {
            const char request[] = "raise\n";
            const bool sent = send(fd, request, sizeof(request) - 1, MSG_NOSIGNAL) >= 0;
            close(fd);
            return sent;
        }
        close(fd);
        std::this_thread::sleep_for(kConnectRetryDelay);
    }
    return false;
}

int OpenLockFile(const std::string& lockPath) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(lockPath).parent_path(), error);
    return open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

}  // namespace

std::string GetInstanceLockPath() {
    if (const char* runtime = NonEmptyEnv("XDG_RUNTIME_DIR")) return std::string(runtime) + "/velkora.lock";
    std::string dataHome;
    if (const char* data = NonEmptyEnv("XDG_DATA_HOME")) {
        dataHome = data;
    } else if (const char* home = NonEmptyEnv("HOME")) {
        dataHome = std::string(home) + "/.local/share";
    } else {
        return std::string();
    }
    return dataHome + "/Save/Velkora/velkora.lock";
}

int32_t AcquireInstanceLock(CInstanceLock* lock, const std::string& lockPath) {
    ReleaseInstanceLock(lock);
    const int fd = lockPath.empty() ? -1 : OpenLockFile(lockPath);
    if (fd < 0) {
        std::fprintf(stderr, "single instance: cannot open the lock file \"%s\": %s\n", lockPath.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) {
            if (!SendRaiseRequest(lockPath)) std::fprintf(stderr, "single instance: the running copy did not answer\n");
            return 0;
        }
        std::fprintf(stderr, "single instance: cannot lock \"%s\": %s\n", lockPath.c_str(), std::strerror(error));
        return 1;
    }
    lock->lockFd = fd;
    lock->listenFd = Listen(lockPath);
    if (lock->listenFd < 0) std::fprintf(stderr, "single instance: cannot listen for other copies\n");
    return 1;
}

int32_t PollInstanceLock(CInstanceLock* lock) {
    if (lock->listenFd < 0) return 0;
    // Asked at every pass of the main loop: a poll costs far less than an accept that finds
    // nothing (the system builds a socket for it first).
    pollfd waiting = {lock->listenFd, POLLIN, 0};
    if (poll(&waiting, 1, 0) <= 0) return 0;
    int32_t requests = 0;
    for (;;) {
        const int fd = accept4(lock->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) break;  // EAGAIN: nothing more waiting
        ++requests;
        close(fd);
    }
    return requests;
}

void ReleaseInstanceLock(CInstanceLock* lock) {
    CloseFd(&lock->listenFd);
    CloseFd(&lock->lockFd);  // closing the last descriptor drops the lock
}

int32_t AcquireSingleInstance() { return AcquireInstanceLock(&g_processLock, GetInstanceLockPath()); }

int32_t PollSingleInstance() { return PollInstanceLock(&g_processLock); }

void ReleaseSingleInstance() { ReleaseInstanceLock(&g_processLock); }

int SingleInstanceFd() { return g_processLock.listenFd; }
