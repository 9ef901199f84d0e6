#include "tests/screens/adventure_fixture.h"

#include <sstream>
#include <vector>

#include "tests/support/engine_bytes.h"
#include "tools/lib/script_compiler.h"

std::string PlainPages(const std::string& texts) {
    std::ostringstream source;
    std::istringstream parts(texts);
    std::string text;
    while (std::getline(parts, text, '|')) source << "page\n  text: noeffect; say \"" << text << "\"\n";
    return source.str();
}

void AdventureTest::TearDown() {
    adventure.End();
    ScreenTest::TearDown();
}

std::string AdventureTest::WriteScript(const std::string& name, const std::string& source) {
    std::vector<uint8_t> bytes;
    std::vector<std::string> errors;
    const bool compiled = CompileScript(source, name + ".vss", &bytes, &errors);
    EXPECT_TRUE(compiled) << (errors.empty() ? std::string() : errors[0]);
    const std::string path = "Script/" + name + ".vsf";
    EXPECT_TRUE(WriteFileBytes(AssetFolder() + "/" + path, bytes)) << path;
    return path;
}

void AdventureTest::Start(const std::string& source) {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string path = WriteScript(name, source);
    ASSERT_EQ(adventure.Init(0, path.c_str()), 0);
}

int32_t AdventureTest::RunFrames(int32_t count) {
    int32_t result = 0;
    for (int32_t i = 0; i < count; ++i) {
        NextTick();
        result = Frame();
        if (result != kFrameContinue) break;
    }
    return result;
}

int32_t AdventureTest::ClickFrame(int32_t x, int32_t y) {
    NextTick();
    Click(x, y);
    return Frame();
}

int32_t AdventureTest::RightClickFrame(uint32_t ms) {
    NextTick(ms);
    RightClick();
    return Frame();
}

int32_t AdventureTest::MoveFrame(int32_t x, int32_t y) {
    NextTick();
    MoveMouse(x, y);
    return Frame();
}

int32_t AdventureTest::WheelFrame(int32_t amount) {
    NextTick();
    TurnWheel(amount);
    return Frame();
}

int32_t AdventureTest::KeyFrame(uint8_t dik) {
    NextTick(200);
    PressKey(dik);
    return Frame();
}

void AdventureTest::NextPage() {
    const uint32_t page = adventure.engine.pageNumber;
    for (int i = 0; i < 40 && adventure.engine.pageNumber == page; ++i) {
        RunFrames(1);
        NextTick(200);
        Click(100, 100);
        Frame();
    }
    ASSERT_NE(adventure.engine.pageNumber, page);
}

void AdventureTest::OpenMenu() {
    ClickFrame(kMenuButton.x, kMenuButton.y);
    RunFrames(12);
    ASSERT_EQ(adventure.subMode, kAdventureMenu);
    ASSERT_EQ(adventure.menu.state, 1);
}
