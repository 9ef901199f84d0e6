// One running copy of the program per user. The first copy holds an exclusive lock on a file
// (under $XDG_RUNTIME_DIR, else under the per-user data folder) and listens on a local socket;
// a later copy finds the lock taken, asks the first copy over the socket to raise its window,
// and must then exit without creating a window or touching any file of the game.
#pragma once

#include <cstdint>
#include <string>

struct CInstanceLock {
    int lockFd = -1;
    int listenFd = -1;
};

// "$XDG_RUNTIME_DIR/velkora.lock", else "<data home>/Save/Velkora/velkora.lock" with the data
// home $XDG_DATA_HOME or ~/.local/share. Empty when neither can be found.
std::string GetInstanceLockPath();

// Returns 1 when this is the first instance (the lock is held until release; also when no lock
// could be made at all, which is reported on stderr), 0 when another instance holds the lock
// (it has been asked to raise its window).
int32_t AcquireInstanceLock(CInstanceLock* lock, const std::string& lockPath);
// Takes the pending raise requests of other instances; returns how many arrived.
int32_t PollInstanceLock(CInstanceLock* lock);
void ReleaseInstanceLock(CInstanceLock* lock);

// The process-wide lock at GetInstanceLockPath(); PumpWindowEvents polls it and raises the
// window on request.
int32_t AcquireSingleInstance();
int32_t PollSingleInstance();
void ReleaseSingleInstance();
// The socket on which later copies ask (-1 without one), for a caller that polls it together
// with other descriptors before calling PollSingleInstance.
int SingleInstanceFd();
