#include "platform/single_instance.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

CInstanceLock g_processLock;

constexpr int kConnectAttempts = 50;  // the first instance may still be setting up its socket
constexpr auto kConnectRetryDelay = std::chrono::milliseconds(10);

// An abstract socket address named after the locked folder's device and inode, so that the
// address is per user and per folder (whatever path led to it) and never leaves a file behind.
socklen_t MakeSocketAddress(int folderFd, sockaddr_un* address) {
    struct stat info = {};
    fstat(folderFd, &info);
    *address = {};
    address->sun_family = AF_UNIX;
    char name[80];
    const int length = std::snprintf(name, sizeof(name), "velkora-instance-%u-%llx-%llx",
                                     static_cast<unsigned>(getuid()), static_cast<unsigned long long>(info.st_dev),
                                     static_cast<unsigned long long>(info.st_ino));
    std::memcpy(address->sun_path + 1, name, static_cast<size_t>(length));
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<size_t>(length));
}

void CloseFd(int* fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

int Listen(int folderFd) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un address;
    const socklen_t length = MakeSocketAddress(folderFd, &address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 8) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendRaiseRequest(int folderFd) {
    sockaddr_un address;
    const socklen_t length = MakeSocketAddress(folderFd, &address);
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

}  // namespace

int32_t AcquireInstanceLock(CInstanceLock* lock, const std::string& folder) {
    ReleaseInstanceLock(lock);
    // A folder has no contents to read here, and a descriptor of it serves flock all the same.
    const int fd = folder.empty() ? -1 : open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "single instance: cannot open the save folder \"%s\": %s\n", folder.c_str(),
                     std::strerror(folder.empty() ? ENOENT : errno));
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            if (!SendRaiseRequest(fd)) std::fprintf(stderr, "single instance: the running copy did not answer\n");
            close(fd);
            return 0;
        }
        close(fd);
        std::fprintf(stderr, "single instance: cannot lock the save folder \"%s\": %s\n", folder.c_str(),
                     std::strerror(error));
        return -1;
    }
    lock->lockFd = fd;
    lock->listenFd = Listen(fd);
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

int32_t AcquireSingleInstance(const std::string& folder) { return AcquireInstanceLock(&g_processLock, folder); }

int32_t PollSingleInstance() { return PollInstanceLock(&g_processLock); }

void ReleaseSingleInstance() { ReleaseInstanceLock(&g_processLock); }

int SingleInstanceFd() { return g_processLock.listenFd; }
