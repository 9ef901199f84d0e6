// The compiler's output checked byte for byte against payloads written out by hand from the
// chunk tables of the script format, and its error messages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tools/lib/script_compiler.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

std::string U32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}
std::string I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
std::string F32(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return U32(bits);
}
std::string Z(const std::string& s) { return s + std::string(1, '\0'); }
std::string Ch(const std::string& tag, const std::string& payload) {
    return tag + U32(static_cast<uint32_t>(payload.size())) + payload;
}

// ＭＳ Ｐゴシック in Shift-JIS, the default text face.
const std::string kGothic = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";

std::string FormatRun(const std::string& face, int32_t height, uint8_t bold, uint8_t italic, uint32_t colour,
                      uint32_t run) {
    uint32_t faceLength = static_cast<uint32_t>(face.size() + 1);
    return U32(faceLength + 18) + U32(faceLength) + Z(face) + I32(height) + std::string(1, char(bold)) +
           std::string(1, char(italic)) + U32(colour) + U32(run);
}

struct SResult {
    bool ok;
    std::string bytes;
    std::vector<std::string> errors;
};

SResult Compile(const std::string& source) {
    std::vector<uint8_t> out;
    std::vector<std::string> errors;
    bool ok = CompileScript(source, "story.vss", &out, &errors);
    return {ok, std::string(out.begin(), out.end()), errors};
}

// Compiles one page of commands and checks the whole file around the expected PAGE payload.
void ExpectPage(const std::string& commands, const std::string& payload) {
    SResult r = Compile("page\n" + commands);
    EXPECT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors[0]);
    EXPECT_EQ(r.bytes, "VSF3" + U32(0) + Ch("MSTP", "") + Ch("PAGE", payload) + Ch("EOF ", ""));
}

std::vector<std::string> Errors(const std::string& source) {
    SResult r = Compile(source);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.bytes.empty());
    return r.errors;
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

TEST(ScriptCompiler, WholeFileOfTwoPagesAndAHeader) {
    SResult r = Compile("# a comment\nheader \"v1\"\n\npage\npage  # second\n  setflag 1\n");
    ASSERT_TRUE(r.ok);
    const std::string expected("VSF3\0\0\0\0"           // magic, free word
                               "MSTP\3\0\0\0v1\0"       // header chunk
                               "PAGE\0\0\0\0"           // empty first page
                               "PAGE\x0C\0\0\0"         // second page:
                               "FLGU\4\0\0\0\1\0\0\0"  //   setflag 1
                               "EOF \0\0\0\0",          // end of the scenario
                               55);
    EXPECT_EQ(r.bytes, expected);
}

TEST(ScriptCompiler, PictureLayerCommands) {
    std::string imag = Ch("LOAD", Z("Image/BG01.bmp")) + Ch("RLAS", "") + Ch("DPOS", I32(-10) + I32(20)) +
                       Ch("PIVO", I32(100) + I32(-200)) + Ch("DREC", I32(0) + I32(0) + I32(800) + I32(600)) +
                       Ch("SCAL", F32(1.5f) + F32(0.5f)) + Ch("ANGL", F32(0.25f)) + Ch("COLR", U32(0x80FFFFFF)) +
                       Ch("DMOD", U32(1)) + Ch("DMOD", U32(6)) + Ch("FILT", U32(1)) + Ch("FILT", U32(0)) +
                       Ch("EFEC", U32(1) + I32(0) + U32(1)) +             // cut in
                       Ch("EFEC", U32(1) + I32(500) + U32(0)) +           // cut out after 500 ms
                       Ch("EFEC", U32(2) + I32(0) + U32(0) + I32(1000)) +  // fade in over 1 s
                       Ch("EFEC", U32(2) + I32(100) + U32(1) + I32(250));  // fade out
    std::string mimg = Ch("LOAD", Z("Image/Main.bmp")) + Ch("DMOD", U32(5));
    ExpectPage(
        "layer 3\n  load \"Image/BG01.bmp\"\n  release\n  offset -10 20\n  pivot 100 -200\n  source 0 0 800 600\n"
        "  scale 1.5 0.5\n  angle 0.25\n  colour 0x80FFFFFF\n  blend add\n  blend 6\n  filter linear\n  filter point\n"
        "  cut in\n  cut out delay 500\n  fade in 1000\n  fade out 250 delay 100\nend\n"
        "mainlayer: load \"Image/Main.bmp\"; blend shade\n",
        Ch("IMGN", I32(3)) + Ch("IMAG", imag) + Ch("MIMG", mimg));
}

TEST(ScriptCompiler, ModelStateInsideALayer) {
    std::string layr = Ch("COLR", U32(0) + F32(1) + F32(1) + F32(1) + F32(0.5f)) +
                       Ch("COLR", U32(1) + U32(0) + U32(2) + I32(0) + F32(1) + F32(1) + F32(1) + F32(0) + I32(500) +
                                      F32(1) + F32(1) + F32(1) + F32(1)) +
                       Ch("MORP", I32(3) + U32(0) + F32(0.25f)) +
                       Ch("MORP", I32(-1) + U32(1) + U32(0) + U32(2) + I32(0) + F32(0) + I32(100) + F32(1)) +
                       Ch("FADE", U32(1) + U32(300) + U32(50)) + Ch("FADE", U32(2) + U32(200) + U32(0));
    std::string sold =
        Ch("PIVO", U32(0) + F32(1) + F32(2) + F32(3)) +
        Ch("POS ", U32(1) + U32(0) + U32(2) + I32(0) + F32(0) + F32(0) + F32(0) + I32(1000) + F32(1) + F32(1) + F32(1)) +
        Ch("ROT ", U32(1) + U32(1) + U32(1) + I32(0) + F32(0.5f) + F32(0) + F32(0)) +
        Ch("SCAL", U32(0) + F32(1) + F32(1) + F32(1)) + Ch("BLNK", U32(1) + I32(2) + I32(3) + I32(120)) +
        Ch("BLNK", U32(0)) + Ch("LIPS", I32(4) + I32(5) + I32(0)) + Ch("ZCLR", I32(1)) +
        Ch("PFLM", U32(2) + U32(0) + U32(30) + U32(33) + U32(100) + U32(200) + U32(30) + U32(60) + U32(16) + U32(0) +
                       U32(0)) +
        Ch("LNO ", I32(2)) + Ch("LAYR", layr);
    ExpectPage(
        "layer 0\n  model\n    pivot 1 2 3\n    position linear at 0 0 0 0 at 1000 1 1 1\n"
        "    rotation cubic at 0 0.5 0 0\n    scale 1 1 1\n    blink 2 3 120\n    blink off\n    lipsync 4 5 0\n"
        "    depthclear on\n    motion segment 0 30 33 100 200 segment 30 60 16 0 0\n"
        "    part 2\n      colour 1 1 1 0.5\n      colour linear at 0 1 1 1 0 at 500 1 1 1 1\n      morph 3 0.25\n"
        "      morph -1 linear at 0 0 at 100 1\n      fade in 300 start 50\n      fade out 200\n    end\n  end\nend\n",
        Ch("IMGN", I32(0)) + Ch("IMAG", Ch("SOLD", sold)));
}

TEST(ScriptCompiler, SoundChannelCommands) {
    std::string bgmt = Ch("LOAD", Z("BGM/BGM01.ogg")) + Ch("STAT", U32(0) + U32(40) + U32(0) + U32(1200)) +
                       Ch("VOLM", I32(-2000) + F32(0.5f) + U32(10));
    std::string voit = Ch("LOAD", Z("Voice/V001.wav")) + Ch("STAT", U32(1) + U32(0) + U32(1) + U32(0)) +
                       Ch("PAN ", I32(-10000) + F32(0) + U32(5)) + Ch("TEMP", I32(1500) + F32(2) + U32(0));
    std::string set = Ch("STAT", U32(1) + U32(0) + U32(3) + U32(0)) + Ch("STAT", U32(2) + U32(700)) +
                      Ch("STAT", U32(3) + U32(900) + F32(1.5f)) + Ch("STAT", U32(3) + U32(0) + F32(0)) +
                      Ch("RLAS", "");
    ExpectPage(
        "music 1\n  load \"BGM/BGM01.ogg\"\n  restart endless loopback 1200 delay 40\n"
        "  volume -2000 speed 0.5 delay 10\nend\n"
        "voice 3: load \"Voice/V001.wav\"; play; pan -10000 delay 5; tempo 1500 speed 2\n"
        "se 0\n  play times 3\n  pause delay 700\n  stop fade 1.5 delay 900\n  stop\n  release\nend\n",
        Ch("BTNO", I32(1)) + Ch("BGMT", bgmt) + Ch("VTNO", I32(3)) + Ch("VOIT", voit) + Ch("SETN", I32(0)) +
            Ch("SET ", set));
}

TEST(ScriptCompiler, TextWithNameFlagsAndFormatRunsFollowingFontChanges) {
    std::string text = Ch("NBLF", "") + Ch("NEF ", "") + Ch("WHF ", "") + Ch("NIWF", "") +
                       Ch("NAME", Z("\x83\x7e\x83\x69")) + Ch("TEXT", Z("\x82\xa0\n\x82\xa2")) +
                       Ch("TFMT", FormatRun(kGothic, 24, 0, 0, 0xFFFFFFFF, 4));  // あ, line break, い, zero
    ExpectPage("text\n  nolog\n  noeffect\n  hide\n  nowait\n  name \"ミナ\"\n  say \"あ\\nい\"\nend\n", Ch("TEXT", text));

    const std::string mincho = "\x82\x6c\x82\x72\x20\x96\xbe\x92\xa9";
    std::string first = Ch("TEXT", Z("\x82\xa0\x82\xa2\x82\xa2\x82\xa0\x0c")) +
                        Ch("TFMT", FormatRun(kGothic, 24, 0, 0, 0xFFFFFFFF, 1) + FormatRun(mincho, 30, 1, 1, 0xFFFF0000, 2) +
                                       FormatRun(kGothic, 24, 0, 0, 0xFFFFFFFF, 2));
    std::string second = Ch("TEXT", Z("ab")) + Ch("TFMT", FormatRun("Face", 16, 0, 0, 0x11223344, 3));
    std::string third = Ch("WHF ", "") + Ch("TEXT", Z("")) + Ch("TFMT", FormatRun(kGothic, 24, 0, 0, 0xFFFFFFFF, 1));
    ExpectPage("style red \"ＭＳ 明朝\" 30 bold italic 0xFFFF0000\n"
               "text\n  say \"あ\"\n  font red\n  say \"いい\"\n  font default\n"
               "  say \"あ\x0c\"\n"  // a form feed takes no format record
               "end\n"
               "text: font \"Face\" 16 0x11223344; say \"ab\"\n"
               "text: hide\n",
               Ch("TEXT", first) + Ch("TEXT", second) + Ch("TEXT", third));
}

TEST(ScriptCompiler, ChoiceAndJumpTables) {
    std::string sele = Ch("SELN", U32(0)) + Ch("TEXT", Z("\x82\xa0")) + Ch("JMPF", Z("Script/A.vsf")) +
                       Ch("SELN", U32(1)) + Ch("TEXT", Z("B")) + Ch("JMPF", Z("Script/B.vsf"));
    std::string junp = Ch("JMPN", I32(0)) + Ch("UPF ", U32(10) + U32(11)) + Ch("DWNF", U32(12)) +
                       Ch("JMPF", Z("Script/Good.vsf")) + Ch("JMPN", I32(1)) + Ch("DWNF", U32(3)) +
                       Ch("JMPF", Z("Script/Bad.vsf")) + Ch("JMPN", I32(2)) + Ch("JMPF", Z(""));
    ExpectPage("choice\n  option \"あ\" goto \"Script/A.vsf\"\n  option \"B\" goto \"Script/B.vsf\"\nend\n"
               "jump\n  goto \"Script/Good.vsf\" if 10 11 unless 12\n  goto \"Script/Bad.vsf\" unless 3\n"
               "  goto \"\"\nend\n",
               Ch("SELE", sele) + Ch("JUNP", junp));
}

TEST(ScriptCompiler, CameraAndLights) {
    std::string cam = Ch("POS ", U32(0) + F32(0) + F32(1.5f) + F32(-3)) +
                      Ch("ANGL", U32(1) + U32(0) + U32(2) + I32(0) + F32(0) + F32(0) + F32(0) + I32(2000) + F32(0) +
                                     F32(0.5f) + F32(0)) +
                      Ch("FOV ", U32(1) + U32(1) + U32(2) + I32(0) + F32(1) + I32(10) + F32(2)) +
                      Ch("FOV ", U32(0) + F32(0.75f));
    std::string lght = Ch("AMBT", U32(0) + F32(0.25f) + F32(0.5f) + F32(1)) +
                       Ch("COL1", U32(1) + U32(1) + U32(2) + I32(0) + F32(1) + F32(1) + F32(1) + I32(1000) + F32(1) +
                                      F32(0.5f) + F32(0.25f)) +
                       Ch("COL2", U32(0) + F32(0) + F32(0) + F32(0)) + Ch("ANG1", U32(0) + F32(0.5f) + F32(0.75f)) +
                       Ch("ANG2", U32(1) + U32(0) + U32(1) + I32(100) + F32(1) + F32(2));
    ExpectPage("camera\n  position 0 1.5 -3\n  angles linear at 0 0 0 0 at 2000 0 0.5 0\n  fov cubic at 0 1 at 10 2\n"
               "  fov 0.75\nend\n"
               "light\n  ambient 0.25 0.5 1\n  colour1 cubic at 0 1 1 1 at 1000 1 0.5 0.25\n  color2 0 0 0\n"
               "  angles1 0.5 0.75\n  angles2 linear at 100 1 2\nend\n",
               Ch("CAM ", cam) + Ch("LGHT", lght));
}

TEST(ScriptCompiler, WaitsMoviesHostTextAndFlags) {
    ExpectPage("advance 2000\nadvance 0 effects\nlock 3000 text effects\n"
               "movie \"Movie/OP.mpg\" goto \"Script/After.vsf\" noskip\nmovie \"Movie/ED.mpg\"\n"
               "host Movie \"Movie/Story01.txt\"   # the shell plays it\nhost AutoSaving\n"
               "setflag 0 255\nclearflag 7\ncgflag 1023\nmovieflag 127 3\n",
               Ch("ACTL", Ch("WTIM", U32(2000))) + Ch("ACTL", Ch("IWF ", "") + Ch("WTIM", U32(0))) +
                   Ch("KLOK", Ch("IWF ", "") + Ch("TWF ", "") + Ch("LTIM", U32(3000))) +
                   Ch("MOVI", Ch("MOVF", Z("Movie/OP.mpg")) + Ch("JMPF", Z("Script/After.vsf")) + Ch("SREF", "")) +
                   Ch("MOVI", Ch("MOVF", Z("Movie/ED.mpg"))) + Ch("SSCR", Z("Movie \"Movie/Story01.txt\"")) +
                   Ch("SSCR", Z("AutoSaving")) + Ch("FLGU", U32(0) + U32(255)) + Ch("FLGD", U32(7)) +
                   Ch("CGFU", U32(1023)) + Ch("SFUP", U32(127) + U32(3)));
}

TEST(ScriptCompiler, LimitsThatStillFit) {
    std::string name15(15, 'n');
    std::string text255(255, 't');
    std::string path259(259, 'p');
    ExpectPage("text: name \"" + name15 + "\"; say \"" + text255 + "\"\nlayer 0: load \"" + path259 + "\"\n",
               Ch("TEXT", Ch("NAME", Z(name15)) + Ch("TEXT", Z(text255)) +
                              Ch("TFMT", FormatRun(kGothic, 24, 0, 0, 0xFFFFFFFF, 256))) +
                   Ch("IMGN", I32(0)) + Ch("IMAG", Ch("LOAD", Z(path259))));
}

TEST(ScriptCompilerErrors, EachMistakeNamesFileAndLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"page\n\n  frobnicate 3\n", "3: unknown command 'frobnicate'"},
        {"page\nlayer 16: load \"a.bmp\"\n", "2: the layer number 16 is out of range (0 to 15)"},
        {"page\nmusic 0\n  load\nend\n", "3: missing the sound file name"},
        {"page\nlayer 0: fade sideways 10\n", "2: expected 'in' or 'out' after 'fade'"},
        // Fields too long for their place in the file.
        {"page\ntext: name \"" + Repeat("n", 16) + "\"\n", "2: the name is 16 bytes long in Shift-JIS; at most 15 fit"},
        {"page\ntext\n  say \"" + Repeat("あ", 128) + "\"\nend\n",
         "2: the page text is 256 bytes long in Shift-JIS; at most 255 fit"},
        {"page\nchoice: option \"" + Repeat("c", 64) + "\" goto \"S.vsf\"\n",
         "2: the choice text is 64 bytes long in Shift-JIS; at most 63 fit"},
        {"page\nlayer 1: load \"" + Repeat("p", 260) + "\"\n",
         "2: the picture file name is 260 bytes long in Shift-JIS; at most 259 fit"},
        {"style s \"" + Repeat("f", 32) + "\" 20 0xFFFFFFFF\npage\n",
         "1: the font face is 32 bytes long in Shift-JIS; at most 31 fit"},
        {"page\nhost " + Repeat("h", 4096) + "\n", "2: the host command text is 4096 bytes long in Shift-JIS; at most 4095 fit"},
        // Characters without a Shift-JIS code.
        {"page\ntext\n  name \"ミナ\"\n  say \"こんにちは한\"\nend\n", "4: the character '한' (U+D55C) has no Shift-JIS code"},
        {"page\nhost SaveThumbnail \"€.bmp\"\n", "2: the character '€' (U+20AC) has no Shift-JIS code"},
        // Tables over their capacity.
        {"page\nchoice\n" + Repeat("  option \"o\" goto \"S.vsf\"\n", 5) + "end\n", "7: a choice offers at most 4 options"},
        {"page\njump\n" + Repeat("  goto \"S.vsf\" if 1\n", 9) + "end\n", "11: a jump table holds at most 8 entries"},
        {"page\ncamera: position linear at 100 0 0 0 at 100 1 1 1\n", "2: key times must increase (100 follows 100)"},
        {"page\nchoice\nend\n", "2: a choice needs at least one 'option'"},
        // Block structure and strings.
        {"page\nlayer 0\n  load \"a.bmp\"\npage\n", "2: the 'layer' block is not closed with 'end'"},
        {"page\nend\n", "2: 'end' without an open block"},
        {"page\nlayer 0: model\n", "2: 'model' needs its commands after ':' or on the lines up to 'end'"},
        {"page\nsay \"x\n", "2: a string is not closed with '\"'"},
        {"page\ntext: say \"\\t\"\n", "2: unknown escape '\\t' in a string (use \\n, \\\" or \\\\)"},
        {"page\ntext: font nobody; say \"x\"\n", "2: unknown style 'nobody'"},
        {"", "1: the script has no page"},
    };
    for (const auto& [source, message] : cases) {
        SCOPED_TRACE(source.substr(0, 60));
        EXPECT_THAT(Errors(source), ElementsAre("story.vss:" + message));
    }
}

TEST(ScriptCompilerErrors, EveryMistakeIsReported) {
    auto errors = Errors(
        "setflag 1\n"                       // 1: before the first page
        "page\n"
        "voice 4: load \"v.ogg\"\n"         // 3
        "se 0: load \"a.mp3\"\n"            // 4
        "music 0: volume 5\n"               // 5
        "music 0: tempo 5\n"                // 6
        "cgflag 1024\n"                     // 7
        "movieflag 128\n"                   // 8
        "setflag 256\n"                     // 9
        "layer 0: bogus\n"                  // 10
        "advance\n"                         // 11
        "layer x: load \"a\"\n"             // 12
        "layer 0: blend 7\n"                // 13
        "page extra\n");                    // 14
    EXPECT_THAT(errors, ElementsAre("story.vss:1: 'setflag' comes before the first 'page'",
                                    "story.vss:3: the voice channel 4 is out of range (0 to 3)",
                                    "story.vss:4: a sound file name must end in .ogg or .wav",
                                    "story.vss:5: the volume 5 is out of range (-10000 to 0)",
                                    "story.vss:6: the tempo 5 is out of range (10 to 2000)",
                                    "story.vss:7: the picture flag number 1024 is out of range (0 to 1023)",
                                    "story.vss:8: the movie flag number 128 is out of range (0 to 127)",
                                    "story.vss:9: the game flag number 256 is out of range (0 to 255)",
                                    "story.vss:10: unknown layer command 'bogus'",
                                    "story.vss:11: missing the time in ms",
                                    "story.vss:12: expected the layer number (a whole number), found 'x'",
                                    HasSubstr("story.vss:13: the blend mode"), "story.vss:14: unexpected 'extra'"));
}

TEST(ScriptCompilerFiles, WritesOnlyWhenTheSourceIsSound) {
    std::string dir = TEST_BINARY_DIR;
    std::string source = dir + "/compiler_test_source.vss";
    std::string output = dir + "/compiler_test_output.vsf";
    std::remove(output.c_str());
    {
        std::ofstream(source) << "page\nbroken\n";
    }
    std::vector<std::string> errors;
    EXPECT_FALSE(CompileScriptFile(source, output, &errors));
    EXPECT_THAT(errors, ElementsAre(source + ":2: unknown command 'broken'"));
    EXPECT_FALSE(std::ifstream(output).good());

    {
        std::ofstream(source) << "page\nsetflag 2\n";
    }
    EXPECT_TRUE(CompileScriptFile(source, output, &errors));
    std::stringstream written;
    written << std::ifstream(output, std::ios::binary).rdbuf();
    EXPECT_EQ(written.str().substr(0, 4), "VSF3");
    EXPECT_EQ(written.str().size(), 8u + 8 + 8 + 12 + 8);

    EXPECT_FALSE(CompileScriptFile(dir + "/no-such-source.vss", output, &errors));
    EXPECT_THAT(errors, ElementsAre(HasSubstr("no-such-source.vss: cannot be read")));
    std::remove(source.c_str());
    std::remove(output.c_str());
}

TEST(ScriptCompilerFiles, DocumentedExampleCompiles) {
    std::string root = TEST_DATA_DIR;
    root.erase(root.rfind("/tests/data"));
    std::ifstream doc(root + "/docs/script-language.md");
    ASSERT_TRUE(doc.good());
    std::stringstream text;
    text << doc.rdbuf();
    std::string all = text.str();
    size_t example = all.find("## Example");
    ASSERT_NE(example, std::string::npos);
    size_t begin = all.find("```\n", example) + 4;
    size_t end = all.find("```", begin);
    SResult r = Compile(all.substr(begin, end - begin));
    EXPECT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors[0]);
    EXPECT_THAT(r.bytes, HasSubstr("SELE"));
}

}  // namespace
