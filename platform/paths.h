// File paths. Game data paths (scripts, tables, archive names) are Shift-JIS, relative to the
// working folder, and may separate folders with '\' or '/'. Game data copied from Windows keeps
// its mixed letter case, so a relative path is resolved component by component without regard
// to case when the exact name does not exist. Absolute paths (the save folder and the files in
// it) are native paths and are used unchanged.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Size of the save-folder buffers that GetSaveFolder fills, and of every buffer that holds the
// path of a file in the save folder: the longest path the system opens.
constexpr uint32_t kSaveFolderSize = 4096;

// The save folder, ending in '/': $XDG_DATA_HOME/Save/Velkora/ (default
// ~/.local/share/Save/Velkora/). Empty until InitSaveFolder succeeds; while it is empty nothing
// is written, never a bare file name into the working folder.
extern char g_SaveFolder[kSaveFolderSize];

// Computes the save folder, creates it with its parents and stores it in g_SaveFolder.
// 0, or -1 when no home folder is known, the path is too long for the system or it cannot be
// created; the failure is said on stderr, with the folder and the reason.
int32_t InitSaveFolder();

// Copies g_SaveFolder into a buffer of kSaveFolderSize bytes.
void GetSaveFolder(char* buffer);

// Formats a path, printf-style, into a buffer of kSaveFolderSize bytes. A path that does not fit
// is refused, never cut into another name: the buffer is left empty and the result is -1; else 0.
int32_t FormatPath(char* destination, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Creates a folder and every missing parent (mode 0777 minus the umask). 0 / -1.
int32_t MakeDirectories(const std::string& path);

// The native path to open for a game path: '\' becomes '/', Shift-JIS becomes UTF-8, and each
// component that does not exist under its exact name is matched case-insensitively (ASCII
// letters) in its folder. Components that match nothing are kept as given, so a path for a new
// file resolves its existing folders only.
std::string ResolveGamePath(const char* path);

// The path with every `from` byte turned into `to`, stepping over whole Shift-JIS characters so
// that the second byte of a double-byte character is never taken for a separator.
std::string ReplaceSeparators(const std::string& path, char from, char to);

// Opens only a regular file, never waiting: a FIFO or a device in its place is refused (EINVAL)
// instead of blocking the program in open(). `flags` as for open(2); the descriptor is
// close-on-exec and blocking once opened. -1 with errno on failure.
int OpenRegularFileFd(const char* path, int flags, int mode = 0666);
// The same as a stdio stream for fopen's modes "r", "w", "a", with "b" and "+". Null with errno.
FILE* OpenRegularFile(const char* path, const char* mode);

// OpenRegularFile of ResolveGamePath(path). Null for a null path or when the file cannot be opened.
FILE* OpenGameFile(const char* path, const char* mode);

// The extension of a path's last component, from its last '.' (".ogg"), or "" when it has none.
const char* PathExtension(const char* path);
