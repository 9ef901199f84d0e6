// The flag report asked for from outside (SIGUSR1) while the sample game runs, with the file
// chooser answered by the test: the bytes of the report, the file names it takes and refuses,
// and the report without a chooser.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_messages.h"
#include "app/game_app.h"
#include "app/system_data.h"
#include "platform/desktop_dialog.h"
#include "tests/app/app_harness.h"

namespace {

const std::string kSampleGame = std::string(TEST_BINARY_DIR) + "/game";
using Argv = std::vector<std::string>;

// The report as its layout gives it, written here line by line.
std::string ExpectedReport(const std::vector<bool>& game, const std::vector<bool>& cg, const std::vector<bool>& movie) {
    const std::string set = "\x81\x9C", clear = "\x81\x9B";
    std::vector<std::string> lines = {"\x81\x60\x81\x60\x83\x74\x83\x89\x83\x4F\x8F\xEE\x95\xF1\x81\x60\x81\x60"};
    for (size_t i = 0; i < game.size(); ++i) lines.push_back(std::to_string(i) + "\t" + (game[i] ? set : clear));
    lines.push_back("");
    lines.push_back("\x81\x60\x81\x60" "CG\x83\x74\x83\x89\x83\x4F\x8F\xEE\x95\xF1\x81\x60\x81\x60");
    for (size_t i = 0; i < cg.size(); ++i) lines.push_back(std::to_string(i) + "\t" + (cg[i] ? set : clear));
    lines.push_back("");
    lines.push_back("\x81\x60\x81\x60\x83\x80\x81\x5B\x83\x72\x81\x5B\xA5\x83\x74\x83\x89\x83\x4F\x8F\xEE\x95\xF1\x81"
                    "\x60\x81\x60");
    for (size_t i = 0; i < movie.size(); ++i) lines.push_back(std::to_string(i) + "\t" + (movie[i] ? set : clear));
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    EXPECT_EQ(lines.size(), 1413u);
    return text;
}

bool Has(const Argv& argv, const std::string& arg) { return std::find(argv.begin(), argv.end(), arg) != argv.end(); }

// Every report has this size: both marks take two bytes.
size_t ReportSize() { return ExpectedReport(std::vector<bool>(256), std::vector<bool>(1024), std::vector<bool>(128)).size(); }

std::string ReadAll(const std::string& path) {
    const std::vector<uint8_t> bytes = CTempFolder::Read(path);
    return std::string(bytes.begin(), bytes.end());
}

class FlagReport : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kSampleGame + "/System.pac")) GTEST_SKIP() << "build the sample_game target";
        harness_ = std::make_unique<CAppHarness>(kSampleGame);
        SDesktopDialogHooks hooks;
        hooks.runProgram = [this](const Argv& argv) {
            runs_.push_back(argv);
            return argv[0] == "zenity" ? answer_ : SDesktopProgramRun{};
        };
        SetDesktopDialogHooks(hooks);
    }
    void TearDown() override { SetDesktopDialogHooks({}); }

    // A new game from the title, on its first page.
    void StartAdventure() {
        if (harness_->app.mode == kModeNone) {
            ASSERT_EQ(harness_->Start(), 1);
        }
        harness_->Click(400, 300);
        harness_->Tick();
        harness_->Tick(kTitleFadeMs);
        harness_->Click(680, 269);
        harness_->Tick();
        harness_->Tick(kTitleFadeMs);
        ASSERT_EQ(harness_->app.mode, kModeAdventure);
        harness_->TakeMessages();
    }
    // The request from outside, delivered by the next tick's event pump.
    void Request() {
        runs_.clear();
        std::raise(SIGUSR1);
        harness_->Tick();
    }
    void Answer(int32_t status, const std::string& path) { answer_ = SDesktopProgramRun{true, status, path + "\n"}; }

    std::unique_ptr<CAppHarness> harness_;
    CTempFolder folder_;
    SDesktopProgramRun answer_;
    std::vector<Argv> runs_;
};

TEST_F(FlagReport, WritesEveryFlagWithTheSystemWideOnesOnlyInTheAdventure) {
    ASSERT_EQ(harness_->Start(), 1);
    Request();
    // ADVモード以外ではデバッグ情報を出力できません
    EXPECT_EQ(harness_->TakeMessages(), std::vector<std::string>{std::string("Information|") + kNotInAdventureText});
    for (const Argv& argv : runs_) EXPECT_FALSE(Has(argv, "--file-selection")) << "no chooser outside the adventure";

    StartAdventure();
    CFlagBlock& flags = harness_->app.adventure.engine.flags;
    flags.Clear();
    std::memset(g_SystemCgFlags, 0, sizeof g_SystemCgFlags);
    std::memset(g_SystemMovieFlags, 0, sizeof g_SystemMovieFlags);
    std::memset(g_PersistentGameFlags, 1, sizeof g_PersistentGameFlags);  // not consulted
    flags.game[0] = flags.game[255] = flags.cg[17] = flags.movie[0] = 1;
    g_SystemCgFlags[1023] = g_SystemMovieFlags[127] = 1;  // earned in an earlier play
    std::vector<bool> game(256), cg(1024), movie(128);
    game[0] = game[255] = cg[17] = cg[1023] = movie[0] = movie[127] = true;
    Answer(0, folder_ / "flags");
    Request();
    ASSERT_EQ(runs_.size(), 1u);
    EXPECT_EQ(ReadAll(folder_ / "flags.txt"), ExpectedReport(game, cg, movie)) << "the name got \".txt\"";
    EXPECT_TRUE(harness_->TakeMessages().empty());
    Request();
    EXPECT_TRUE(Has(runs_[0], "--filename=" + (folder_ / "flags.txt"))) << "the chooser starts from the last name";
}

TEST_F(FlagReport, NamesAreKeptRefusedOrFailedAndWithoutAChooserTheSaveFolderServes) {
    StartAdventure();
    const std::string failed = std::string("Error!!|") + kReportFailedText;
    struct SCase {
        int32_t status;
        std::string chosen, written;
        bool fails;
    };
    const SCase cases[] = {
        {0, folder_ / "report.log", folder_ / "report.log", false},  // an extension stays
        {1, folder_ / "cancelled", "", false},
        {0, folder_ / std::string(255 - folder_.Path().size(), 'n'), "", true},  // 260 bytes with ".txt"
        {0, folder_ / "no-folder/report.txt", "", true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.chosen);
        Answer(c.status, c.chosen);
        Request();
        if (!c.written.empty()) {
            EXPECT_EQ(ReadAll(c.written).size(), ReportSize());
        }
        EXPECT_EQ(harness_->TakeMessages(), c.fails ? std::vector<std::string>{failed} : std::vector<std::string>{});
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.Path()), {}), 1) << "only report.log";

    answer_ = SDesktopProgramRun{};  // neither zenity nor kdialog
    Request();
    std::vector<std::string> reports;
    for (const auto& file : std::filesystem::directory_iterator(harness_->SaveFolder()))
        if (file.path().filename().string().rfind("FlagReport-", 0) == 0) reports.push_back(file.path().string());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(ReadAll(reports[0]).size(), ReportSize());
    const std::vector<std::string> shown = harness_->TakeMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find(reports[0]), std::string::npos) << "the box says where the report went";

    // A save folder removed while playing is made again, as saves make it.
    std::filesystem::remove_all(harness_->SaveFolder());
    Request();
    reports.clear();
    for (const auto& file : std::filesystem::directory_iterator(harness_->SaveFolder()))
        if (file.path().filename().string().rfind("FlagReport-", 0) == 0) reports.push_back(file.path().string());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(ReadAll(reports[0]).size(), ReportSize());
    ASSERT_EQ(harness_->TakeMessages().size(), 1u);
}

}  // namespace
