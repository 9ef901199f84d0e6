// One running copy of the program per save folder. The first copy holds an exclusive lock on
// the save folder itself (the folder's own inode, so that no lock file can be deleted from under
// it and every path to the folder meets the same lock) and listens on a local socket named after
// the folder; a later copy on the same folder finds the lock taken, asks the first copy over the
// socket to raise its window, and must then exit without creating a window or touching any file
// of the game.
#pragma once

#include <cstdint>
#include <string>

struct CInstanceLock {
    int lockFd = -1;
    int listenFd = -1;
};

// Returns 1 when this is the first instance on `folder` (the lock is held until release), 0 when
// another instance holds it (that one has been asked to raise its window), -1 when the folder
// cannot be locked (said on stderr): the caller must not run on it then.
int32_t AcquireInstanceLock(CInstanceLock* lock, const std::string& folder);
// Takes the pending raise requests of other instances; returns how many arrived.
int32_t PollInstanceLock(CInstanceLock* lock);
void ReleaseInstanceLock(CInstanceLock* lock);

// The process-wide lock on the save folder; PumpWindowEvents polls it and raises the window on
// request.
int32_t AcquireSingleInstance(const std::string& folder);
int32_t PollSingleInstance();
void ReleaseSingleInstance();
// The socket on which later copies ask (-1 without one), for a caller that polls it together
// with other descriptors before calling PollSingleInstance.
int SingleInstanceFd();
