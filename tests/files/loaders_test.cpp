#include "files/loaders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/scrambled_io.h"
#include "platform/graphics.h"
#include "platform/message_box.h"
#include "tests/files/temp_folder.h"
#include "tests/support/graphics_support.h"
#include "tests/support/picture_support.h"
#include "tools/lib/pack_writer.h"
#include "tools/lib/teyl_writer.h"

namespace {

using Messages = std::vector<std::string>;

// "ファイルのオープンに失敗しました\n\"<path>\"" as the box shows it.
std::string OpenErrorBox(const std::string& path) {
    return "Error!!|\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCC\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC9\x8E\xB8\x94\x73"
           "\x82\xB5\x82\xDC\x82\xB5\x82\xBD\n\"" +
           path + "\"";
}

std::vector<uint8_t> Teyl(int32_t width, int32_t height, uint32_t colour) {
    const std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, colour);
    return BuildTeyl(width, height, pixels.data());
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// A game folder with its archives, a headless device, and the working folder set to it.
class Loaders : public ::testing::Test {
protected:
    void SetUp() override {
        SuppressMessageBoxWindows(true);
        TakeShownMessages();
        working_ = std::make_unique<CWorkingFolder>(folder_.Path());
        device_ = MakeTestDevice(64, 64);
    }
    void TearDown() override {
        DropTexture();
        CloseArchives();
        CloseSystemArchive();
        device_->Release();
        working_.reset();
        TakeShownMessages();
    }
    void OpenEngineArchives(uint32_t mask) {
        CArchiveParams params{};
        const char* names[] = {"Script.pac", "Image.pac", "BGM.pac", "Voice.pac", "SE.pac"};
        for (int i = 0; i < 5; ++i) std::strcpy(params.names[i], names[i]);
        params.errorMask = mask;
        EXPECT_EQ(OpenArchives(&params, nullptr), 0);
    }
    uint32_t Texel(int32_t x, int32_t y) const { return SurfacePixel(texture_->Level0(), x, y); }
    void DropTexture() {
        if (texture_ != nullptr) texture_->Release();
        texture_ = nullptr;
    }

    CTempFolder folder_;
    std::unique_ptr<CWorkingFolder> working_;
    CGraphicsDevice* device_ = nullptr;
    CTexture* texture_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

}  // namespace

TEST_F(Loaders, LooseFilesWinOverImagePacEntries) {
    CPackWriteOptions scrambled;
    scrambled.scrambled = true;
    ASSERT_EQ(WritePackArchive("Image.pac",
                               {{"Image/Bg.png", Teyl(5, 3, 0xFF0000FF)},
                                {"Image/Only.bmp", Teyl(2, 2, 0xFF00FF00)},
                                {"Image/Junk.bmp", Teyl(3, 3, 0xFFFF0000)}},
                               scrambled),
              0);
    folder_.Write("Image/Bg.png", EncodeTestPng(6, 4, std::vector<uint32_t>(24, 0x80123456)));
    folder_.Write("Image/Junk.bmp", "neither TEYL nor a picture");
    folder_.Write("Image/Raw.teyl", Teyl(3, 1, 0xFF010203));
    OpenEngineArchives(0xFF);

    struct SCase {
        const char* path;
        int32_t width, height;
        uint32_t textureWidth;
        int32_t x, y;
        uint32_t texel;
    };
    const SCase cases[] = {
        {"Image/Bg.png", 6, 4, 6, 5, 3, 0x80123456},  // the loose PNG at its own size, alpha kept
        {"image\\only.BMP", 2, 2, 2, 1, 1, 0xFF00FF00},
        {"Image/Junk.bmp", 3, 3, 4, 2, 2, 0xFFFF0000},  // a loose file no reader understands: the entry
        {"Image/Raw.teyl", 3, 1, 4, 2, 0, 0xFF010203},  // a loose TEYL file, on a power-of-two texture
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(LoadTexture(device_, &texture_, c.path, &width_, &height_), 0);
        EXPECT_EQ(width_, c.width);
        EXPECT_EQ(height_, c.height);
        EXPECT_EQ(texture_->Width(), c.textureWidth);
        EXPECT_EQ(Texel(c.x, c.y), c.texel);
        DropTexture();
    }
    ASSERT_EQ(LoadTexture(device_, &texture_, "Image/Raw.teyl", nullptr), 0) << "without size outputs";
    EXPECT_TRUE(TakeShownMessages().empty());
}

TEST_F(Loaders, MissingPicturesShowTheBoxOnlyWhereAsked) {
    OpenEngineArchives(0xFF);
    EXPECT_EQ(LoadTexture(device_, &texture_, "Image/None.bmp"), -1);
    EXPECT_EQ(texture_, nullptr);
    EXPECT_EQ(TakeShownMessages(), Messages{OpenErrorBox("Image/None.bmp")});
    for (uint32_t mask : {0xFFu & ~kReportPictures, 0u}) {
        OpenEngineArchives(mask);
        EXPECT_EQ(LoadTexture(device_, &texture_, "Image/None.bmp"), -1);
    }
    EXPECT_TRUE(TakeShownMessages().empty()) << "a mask without the picture bit shows nothing";

    // The system loaders: System.pac missing, loose files still serve; a missing one shows the
    // box while error display is on.
    folder_.Write("System/Title.bmp", Teyl(1, 1, 0xFFABCDEF));
    ASSERT_EQ(OpenSystemArchive(nullptr), 0);
    EXPECT_EQ(g_pSystemArchive, nullptr);
    ASSERT_EQ(LoadSystemTexture(device_, &texture_, "System/Title.bmp"), 0);
    DropTexture();
    EXPECT_EQ(LoadSystemTexture(device_, &texture_, "System/Gone.bmp"), -1);
    EXPECT_EQ(TakeShownMessages(), Messages{OpenErrorBox("System/Gone.bmp")});
    CloseSystemArchive();
    EXPECT_EQ(LoadSystemTexture(device_, &texture_, "System/Gone.bmp"), -1);
    EXPECT_TRUE(TakeShownMessages().empty()) << "no box once error display is off";
}

TEST_F(Loaders, SystemArchiveServesWhatIsNotLooseAndAStartClearsTheKey) {
    ASSERT_EQ(WritePackArchive("System.pac", {{"System/Logo.bmp", Teyl(2, 1, 0xFF445566)}}), 0);
    g_SystemDataKey[0] = 0x5A;
    ASSERT_EQ(OpenSystemArchive(nullptr), 0);
    ASSERT_NE(g_pSystemArchive, nullptr);
    EXPECT_EQ(g_bShowSysArchiveErrors, 1u);
    EXPECT_EQ(g_SystemDataKey[0], 0);
    ASSERT_EQ(LoadSystemTexture(device_, &texture_, "system/logo.bmp"), 0);
    EXPECT_EQ(Texel(1, 0), 0xFF445566u);
    // A damaged System.pac is refused and loose files serve alone.
    folder_.Write("System.pac", "PACK but nothing else");
    ASSERT_EQ(OpenSystemArchive(nullptr), 0);
    EXPECT_EQ(g_pSystemArchive, nullptr);
}

TEST_F(Loaders, ScriptsAndSoundsOpenLooseFirstThenFromTheirArchive) {
    ASSERT_EQ(WritePackArchive("Script.pac", {{"Script/Main.vsf", Bytes("packed")}, {"Script/Sub.vsf", Bytes("sub")}}), 0);
    ASSERT_EQ(WritePackArchive("SE.pac", {{"Se/Click.ogg", Bytes("OggS....")}}), 0);
    folder_.Write("Script/Main.vsf", "loose");
    g_SaveKey[5] = 1;
    OpenEngineArchives(0xFF);
    EXPECT_EQ(g_SaveKey[5], 0) << "opening the archives clears the save key";
    EXPECT_EQ(g_pArchives[kBgmArchive], nullptr) << "missing archives stay null";

    auto readAll = [](const char* path) {
        CStreamCallbacks callbacks;
        void* source = nullptr;
        if (OpenDataFile(path, &callbacks, &source) != 0) return std::string("<failed>");
        CReadStream stream;
        stream.SetSource(callbacks, source);
        stream.AllocBuffer(64);
        stream.Fill(64);
        char text[64];
        const int32_t n = stream.Read(text, sizeof text);
        return std::string(text, n > 0 ? n : 0);  // the stream releases the record
    };
    EXPECT_EQ(readAll("Script/Main.vsf"), "loose");
    EXPECT_EQ(readAll("script/SUB.vsf"), "sub");
    EXPECT_TRUE(TakeShownMessages().empty());
    EXPECT_EQ(readAll("Script/None.vsf"), "<failed>");
    EXPECT_EQ(TakeShownMessages(), Messages{OpenErrorBox("Script/None.vsf")});

    EXPECT_EQ(NewEntryStream(nullptr, "Se/Click.ogg"), nullptr);
    EXPECT_EQ(NewEntryStream(g_pArchives[kSeArchive], "Se/None.ogg"), nullptr);
    CFileStream* sound = NewEntryStream(g_pArchives[kSeArchive], "se/click.ogg");
    ASSERT_NE(sound, nullptr);
    char head[4];
    EXPECT_EQ(CFileStream::Read(head, 1, 4, sound), 4u);
    EXPECT_EQ(std::string(head, 4), "OggS");
    EXPECT_EQ(CFileStream::Release(sound), 0);

    CFileStream record;
    ASSERT_EQ(OpenDataFile(&record, "Script/Sub.vsf"), 0);
    EXPECT_EQ(record.kind, kFileStreamEntry);
    CFileStream::Close(&record);
    OpenEngineArchives(kReportPictures);
    EXPECT_EQ(OpenDataFile(&record, "Script/None.vsf"), -1);
    EXPECT_EQ(record.file, nullptr);
    EXPECT_TRUE(TakeShownMessages().empty());
    CloseArchives();
    EXPECT_EQ(g_pArchives[kScriptArchive], nullptr);
    EXPECT_EQ(g_ArchiveErrorMask, 0u);
}

TEST(LoaderMessages, FormatCutsToTheBufferAndTheBoxNamesThePath) {
    SuppressMessageBoxWindows(true);
    TakeShownMessages();
    char text[1024];
    FormatMessage1K(text, "%s-%d", "a", 7);
    EXPECT_STREQ(text, "a-7");
    FormatMessage1K(text, "%s", std::string(2000, 'p').c_str());
    EXPECT_EQ(std::strlen(text), 1023u);
    ShowDataFileOpenError("x");
    EXPECT_EQ(TakeShownMessages(), Messages{OpenErrorBox("x")});
}
