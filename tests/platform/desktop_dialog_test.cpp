// The desktop dialogs: the order in which message boxes try zenity, kdialog and SDL's box, the
// file chooser's commands and answers, and a real run of a stand-in dialog program.
#include "platform/desktop_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "tests/files/temp_folder.h"
#include "tests/platform/scoped_env.h"

namespace {

using Argv = std::vector<std::string>;

bool Has(const Argv& argv, const std::string& arg) { return std::find(argv.begin(), argv.end(), arg) != argv.end(); }

// Stands in for the desktop: each program answers as told (missing when not listed).
class DesktopDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        SuppressMessageBoxWindows(true);  // the hooks are the display
        SDesktopDialogHooks hooks;
        hooks.runProgram = [this](const Argv& argv) {
            runs_.push_back(argv);
            const auto answer = answers_.find(argv[0]);
            return answer != answers_.end() ? answer->second : SDesktopProgramRun{};
        };
        hooks.sdlMessageBox = [this](const std::string& caption, const std::string& text, bool) {
            sdlBoxes_.push_back(caption + "|" + text);
            return sdlResult_;
        };
        SetDesktopDialogHooks(hooks);
        TakeShownMessages();
    }
    void TearDown() override {
        SetDesktopDialogHooks({});
        SuppressMessageBoxWindows(false);
    }
    std::vector<std::string> Programs() const {
        std::vector<std::string> names;
        for (const Argv& argv : runs_) names.push_back(argv[0]);
        return names;
    }

    std::map<std::string, SDesktopProgramRun> answers_;
    std::vector<Argv> runs_;
    std::vector<std::string> sdlBoxes_;
    int32_t sdlResult_ = 0;
};

// "ファイルが見つかりません" with a path holding a backslash.
const char kTextSjis[] = "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9"
                         "\x82\xF1 a\\b";
const std::string kTextUtf8 = "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE3\x81\x8C\xE8\xA6\x8B\xE3\x81\xA4"
                              "\xE3\x81\x8B\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93 a\\b";

TEST_F(DesktopDialogTest, BoxesTryZenityThenKdialogThenSdlAndAlwaysStderr) {
    const SDesktopProgramRun shown{true, 0, ""}, closed{true, 1, ""}, broken{true, 255, ""}, missing{};
    struct SCase {
        SDesktopProgramRun zenity, kdialog;
        int32_t sdl;
        std::vector<std::string> programs;
        size_t sdlBoxes;
        bool unshownLine;
    };
    const SCase cases[] = {
        {shown, shown, 0, {"zenity"}, 0, false},
        {closed, shown, 0, {"zenity"}, 0, false},  // closed by its window button: it was seen
        {missing, shown, 0, {"zenity", "kdialog"}, 0, false},
        {broken, closed, 0, {"zenity", "kdialog"}, 0, false},
        {missing, missing, 0, {"zenity", "kdialog"}, 1, false},
        {missing, broken, -1, {"zenity", "kdialog"}, 1, true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.programs) + " sdl " + std::to_string(c.sdl));
        answers_ = {{"zenity", c.zenity}, {"kdialog", c.kdialog}};
        runs_.clear();
        sdlBoxes_.clear();
        sdlResult_ = c.sdl;
        testing::internal::CaptureStderr();
        ShowMessageBox(kTextSjis, "Error!!", MessageBoxStyle::IconError);
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed.rfind("[Error!!] " + kTextUtf8 + "\n", 0), 0u) << printed;
        EXPECT_EQ(printed.find("no message window") != std::string::npos, c.unshownLine);
        EXPECT_EQ(Programs(), c.programs);
        EXPECT_EQ(sdlBoxes_.size(), c.sdlBoxes);
    }
    // The commands: Japanese as UTF-8, no markup, zenity's escapes doubled.
    for (const char* arg : {"--error", "--no-markup", "--title=Error!!"}) EXPECT_TRUE(Has(runs_[0], arg)) << arg;
    EXPECT_TRUE(Has(runs_[0], "--text=" + kTextUtf8.substr(0, kTextUtf8.size() - 2) + "\\\\b"));
    EXPECT_TRUE(Has(runs_[1], kTextUtf8));
    EXPECT_EQ(sdlBoxes_, std::vector<std::string>{"Error!!|" + kTextUtf8});
}

TEST_F(DesktopDialogTest, TheChooserAsksZenityThenKdialogAndReadsTheirAnswer) {
    struct SCase {
        SDesktopProgramRun zenity, kdialog;
        ESaveFileChoice expected;
        std::string chosen;
        std::vector<std::string> programs;
    };
    const SCase cases[] = {
        {{true, 0, "/home/a/flags.txt\n"}, {}, ESaveFileChoice::Chosen, "/home/a/flags.txt", {"zenity"}},
        {{true, 1, ""}, {true, 0, "/x\n"}, ESaveFileChoice::Cancelled, "", {"zenity"}},
        {{true, 0, "\n"}, {}, ESaveFileChoice::Cancelled, "", {"zenity"}},
        {{}, {true, 0, "/home/a/k report\n"}, ESaveFileChoice::Chosen, "/home/a/k report", {"zenity", "kdialog"}},
        {{true, 255, ""}, {true, 1, ""}, ESaveFileChoice::Cancelled, "", {"zenity", "kdialog"}},
        {{}, {}, ESaveFileChoice::Unavailable, "", {"zenity", "kdialog"}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.chosen + " " + ::testing::PrintToString(c.programs));
        answers_ = {{"zenity", c.zenity}, {"kdialog", c.kdialog}};
        runs_.clear();
        std::string chosen;
        EXPECT_EQ(ChooseSaveFile("Title", "/home/a/last.txt", "TextFile (*.txt)", "*.txt", nullptr, &chosen),
                  c.expected);
        EXPECT_EQ(chosen, c.chosen);
        EXPECT_EQ(Programs(), c.programs);
    }
    const Argv& zenity = runs_[0];
    for (const char* arg : {"--file-selection", "--save", "--confirm-overwrite", "--title=Title",
                            "--file-filter=TextFile (*.txt) | *.txt", "--filename=/home/a/last.txt"})
        EXPECT_TRUE(Has(zenity, arg)) << arg;
    EXPECT_EQ(std::vector<std::string>(runs_[1].end() - 3, runs_[1].end()),
              (Argv{"--getsavefilename", "/home/a/last.txt", "*.txt|TextFile (*.txt)"}));

}

// A stand-in zenity on PATH that answers only after the game's pump has run, so the wait is
// known to keep the window served.
TEST(DesktopDialogRun, ARealProgramRunsWhileTheWindowIsPumpedAndSuppressionStopsIt) {
    CTempFolder folder;
    const std::string script = folder.Write("zenity", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n"
                                                      "while [ ! -e \"$0.go\" ]; do sleep 0.01; done\n"
                                                      "echo /chosen/flags.txt; echo junk >&2\n");
    ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
    CScopedEnv path("PATH", folder.Path() + ":/usr/bin:/bin");
    CScopedEnv display("DISPLAY", ":99");
    CScopedEnv allowed("VELKORA_NO_MESSAGE_WINDOWS", nullptr);
    SuppressMessageBoxWindows(false);
    ASSERT_TRUE(CanShowMessageWindows());

    int pumps = 0;
    const auto pump = [&] {
        if (++pumps == 2) std::ofstream(script + ".go").put('\n');
    };
    std::string chosen;
    EXPECT_EQ(ChooseSaveFile("T", "/start", "TextFile (*.txt)", "*.txt", pump, &chosen), ESaveFileChoice::Chosen);
    EXPECT_EQ(chosen, "/chosen/flags.txt");
    EXPECT_GE(pumps, 2);
    std::ifstream args(script + ".args");
    std::string first;
    std::getline(args, first);
    EXPECT_EQ(first, "--file-selection");

    std::filesystem::remove(script + ".args");
    SuppressMessageBoxWindows(true);
    EXPECT_EQ(ChooseSaveFile("T", "", "TextFile (*.txt)", "*.txt", pump, &chosen), ESaveFileChoice::Unavailable);
    EXPECT_FALSE(std::filesystem::exists(script + ".args")) << "suppressed windows start no program";
    SuppressMessageBoxWindows(false);
}

}  // namespace
