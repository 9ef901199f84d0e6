#include "platform/paths.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <string>

#include "tests/files/temp_folder.h"
#include "tests/platform/scoped_env.h"

namespace {

std::string ReadText(FILE* file) {
    std::string out;
    if (file == nullptr) return "<none>";
    char block[64];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) out.append(block, n);
    std::fclose(file);
    return out;
}

}  // namespace

TEST(Paths, RelativeGamePathsResolveSeparatorsCaseAndShiftJis) {
    CTempFolder folder;
    folder.Write("Image/Bg/Room01.BMP", "room");
    folder.Write("Script/\xE3\x83\xA1\xE3\x82\xA4\xE3\x83\xB3.vsf", "main");  // メイン.vsf
    folder.Write("Sound/Se.ogg", "lower");
    folder.Write("Sound/SE.ogg", "upper");
    CWorkingFolder working(folder.Path());

    EXPECT_EQ(ReadText(OpenGameFile("Image\\Bg\\Room01.BMP", "rb")), "room");
    EXPECT_EQ(ReadText(OpenGameFile("image/BG\\room01.bmp", "rb")), "room");
    EXPECT_EQ(ResolveGamePath("IMAGE\\bg\\ROOM01.bmp"), "Image/Bg/Room01.BMP");
    EXPECT_EQ(ReadText(OpenGameFile("script\\\x83\x81\x83\x43\x83\x93.VSF", "rb")), "main");
    // An exact name wins over other spellings; among case variants the choice is stable.
    EXPECT_EQ(ReadText(OpenGameFile("Sound/Se.ogg", "rb")), "lower");
    EXPECT_EQ(ReadText(OpenGameFile("Sound/SE.ogg", "rb")), "upper");
    EXPECT_EQ(ReadText(OpenGameFile("sound/se.OGG", "rb")), "upper");
    // Missing components stay as given after the folders that exist.
    EXPECT_EQ(ResolveGamePath("image\\New\\File.bin"), "Image/New/File.bin");
    EXPECT_EQ(OpenGameFile("Image/none.bmp", "rb"), nullptr);
    EXPECT_EQ(OpenGameFile("", "rb"), nullptr);
    EXPECT_EQ(OpenGameFile(nullptr, "rb"), nullptr);
    // A trail byte 0x5C of a double-byte character is not a separator.
    EXPECT_EQ(ResolveGamePath("\x83\x5C.txt"), "\xE3\x82\xBD.txt");  // ソ.txt
    // Absolute paths are native and used unchanged.
    const std::string absolute = folder / "Image/Bg/Room01.BMP";
    EXPECT_EQ(ResolveGamePath(absolute.c_str()), absolute);
}

TEST(Paths, SaveFolderFollowsXdgDataHomeAndIsCreated) {
    CTempFolder folder;
    {
        CScopedEnv data("XDG_DATA_HOME", folder.Path() + "/data/");
        ASSERT_EQ(InitSaveFolder(), 0);
        EXPECT_EQ(std::string(g_SaveFolder), folder.Path() + "/data/Save/Velkora/");
        struct stat info;
        EXPECT_EQ(::stat(g_SaveFolder, &info), 0);
        char copy[kSaveFolderSize];
        GetSaveFolder(copy);
        EXPECT_STREQ(copy, g_SaveFolder);
    }
    {
        CScopedEnv data("XDG_DATA_HOME", "relative/is/ignored");
        CScopedEnv home("HOME", folder / "home");
        ASSERT_EQ(InitSaveFolder(), 0);
        EXPECT_EQ(std::string(g_SaveFolder), folder.Path() + "/home/.local/share/Save/Velkora/");
    }
    {
        // Longer than the 260 bytes of old: taken whole, never cut.
        const std::string deep = folder / (std::string(200, 'x') + "/" + std::string(200, 'y'));
        CScopedEnv data("XDG_DATA_HOME", deep);
        ASSERT_EQ(InitSaveFolder(), 0);
        EXPECT_EQ(std::string(g_SaveFolder), deep + "/Save/Velkora/");
        struct stat info;
        EXPECT_EQ(::stat(g_SaveFolder, &info), 0);
    }
    testing::internal::CaptureStderr();
    {
        CScopedEnv data("XDG_DATA_HOME", "/" + std::string(5000, 'x'));
        EXPECT_EQ(InitSaveFolder(), -1) << "a folder longer than any path the system opens is refused";
        EXPECT_STREQ(g_SaveFolder, "");
    }
    const std::string file = folder.Write("plainfile", "x");
    {
        CScopedEnv data("XDG_DATA_HOME", file);
        EXPECT_EQ(InitSaveFolder(), -1) << "a file in the way";
    }
    {
        folder.Write("data2/Save/Velkora", "a file where the save folder should be");
        CScopedEnv data("XDG_DATA_HOME", folder / "data2");
        EXPECT_EQ(InitSaveFolder(), -1);
        EXPECT_STREQ(g_SaveFolder, "");
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("is too long (5015 bytes)"), std::string::npos) << said;
    EXPECT_NE(said.find("cannot create \"" + file + "/Save/Velkora/\": Not a directory"), std::string::npos) << said;
    EXPECT_NE(said.find("cannot create \"" + folder.Path() + "/data2/Save/Velkora/\": Not a directory"),
              std::string::npos)
        << said;
}

// Persistent data opens only regular files: a FIFO or a device in the place of a save would
// block the program in open() for ever.
TEST(Paths, OnlyRegularFilesOpen) {
    CTempFolder folder;
    const std::string plain = folder.Write("plain.sav", "data");
    EXPECT_EQ(ReadText(OpenRegularFile(plain.c_str(), "rb")), "data");
    FILE* appended = OpenRegularFile(plain.c_str(), "ab");
    ASSERT_NE(appended, nullptr);
    std::fputs("+more", appended);
    std::fclose(appended);
    EXPECT_EQ(ReadText(OpenRegularFile(plain.c_str(), "r")), "data+more");

    const std::string fifo = folder / "fifo.sav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const char* mode : {"rb", "r+b", "wb", "ab"}) EXPECT_EQ(OpenRegularFile(fifo.c_str(), mode), nullptr) << mode;
    errno = 0;
    EXPECT_EQ(OpenRegularFile(fifo.c_str(), "rb"), nullptr);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(OpenRegularFile("/dev/zero", "rb"), nullptr);
    EXPECT_EQ(OpenRegularFile(folder.Path().c_str(), "rb"), nullptr);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(OpenRegularFile((folder / "missing").c_str(), "rb"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(OpenRegularFileFd(fifo.c_str(), O_RDONLY), -1);
    const int fd = OpenRegularFileFd(plain.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "blocking once opened";
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    ::close(fd);

    // The game's own reads go the same way.
    CWorkingFolder working(folder.Path());
    EXPECT_EQ(OpenGameFile("fifo.sav", "rb"), nullptr);
    EXPECT_EQ(ReadText(OpenGameFile("PLAIN.sav", "rb")), "data+more");
}

TEST(Paths, ExtensionIsTheLastDotOfTheLastComponent) {
    EXPECT_STREQ(PathExtension("bgm/track01.ogg"), ".ogg");
    EXPECT_STREQ(PathExtension("data\\model.v2.LMF"), ".LMF");
    EXPECT_STREQ(PathExtension("name."), ".");
    for (const char* none : {"", "noext", "folder.d/file", "folder.d\\file", "a.b/c\\d"})
        EXPECT_STREQ(PathExtension(none), "") << none;
}
