#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
        CScopedEnv data("XDG_DATA_HOME", "/" + std::string(300, 'x'));
        EXPECT_EQ(InitSaveFolder(), -1) << "a folder that does not fit the buffers is refused";
        EXPECT_STREQ(g_SaveFolder, "");
    }
    {
        const std::string file = folder.Write("plainfile", "x");
        CScopedEnv data("XDG_DATA_HOME", file);
        EXPECT_EQ(InitSaveFolder(), -1) << "a file in the way";
    }
}

TEST(Paths, ExtensionIsTheLastDotOfTheLastComponent) {
    EXPECT_STREQ(PathExtension("bgm/track01.ogg"), ".ogg");
    EXPECT_STREQ(PathExtension("data\\model.v2.LMF"), ".LMF");
    EXPECT_STREQ(PathExtension("name."), ".");
    for (const char* none : {"", "noext", "folder.d/file", "folder.d\\file", "a.b/c\\d"})
        EXPECT_STREQ(PathExtension(none), "") << none;
}
