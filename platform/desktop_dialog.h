// Dialogs of the desktop, shown by a separate program beside the game window: zenity when it is
// installed, else kdialog. Both draw their text through fontconfig like the rest of the desktop,
// so Japanese text shows whatever core fonts the X server lacks. The message boxes use them first
// (SDL's own box is the fallback), and the flag report asks them for the file to save to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// How one run of a dialog program ended.
struct SDesktopProgramRun {
    bool started = false;  // false: the program is not installed or could not be started
    int32_t status = -1;   // its exit status; -1 when it did not exit normally
    std::string output;    // what it wrote to its standard output
};

// Called every few milliseconds while a dialog runs, so that the game window stays responsive.
using DesktopDialogPump = std::function<void()>;

// Test hooks. While `runProgram` is set it stands in for starting programs, and the hooks stand
// in for the display: dialogs are offered whether or not windows are suppressed. `sdlMessageBox`
// stands in for SDL's box (0 shown, -1 failed; when unset the box counts as failed).
struct SDesktopDialogHooks {
    std::function<SDesktopProgramRun(const std::vector<std::string>& argv)> runProgram;
    std::function<int32_t(const std::string& captionUtf8, const std::string& textUtf8, bool error)> sdlMessageBox;
};
void SetDesktopDialogHooks(SDesktopDialogHooks hooks);
SDesktopDialogHooks GetDesktopDialogHooks();
bool DesktopDialogsHooked();

// Shows a message (Shift-JIS texts) with the first dialog program that can show it. 0, or -1
// when none could. Waits until the user has closed it.
int32_t ShowDesktopMessage(const char* textSjis, const char* captionSjis, bool error);

enum class ESaveFileChoice {
    Chosen,       // *chosen holds the file name (native path, as the program printed it)
    Cancelled,    // the user cancelled
    Unavailable,  // no dialog program could be run, or windows are suppressed
};

// Asks the user for a file to save to, with an overwrite question for an existing file. The
// dialog starts at `start` (a native path; empty: the program's own choice) and filters by
// `pattern` ("*.txt") under the name `filterName`. `pump` runs while the dialog is open.
ESaveFileChoice ChooseSaveFile(const char* titleSjis, const std::string& start, const std::string& filterName,
                               const std::string& pattern, const DesktopDialogPump& pump, std::string* chosen);
