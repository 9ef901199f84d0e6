#include "screens/save_load_screen.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/system_data.h"
#include "files/loaders.h"
#include "platform/devices_graphics.h"
#include "platform/font.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "platform/text_helpers.h"
#include "screens/screen_text.h"

namespace {

constexpr uint32_t kFadeMs = 150;
constexpr uint32_t kSlotReadBuffer = 32 * 1024;
constexpr SBlockSize kCaptionBlock = {240, 50};
constexpr int32_t kCaptionMaxChars = 128;
constexpr int32_t kCaptionFontHeight = 20;
// "ＭＳ 明朝"
constexpr char kCaptionFace[] = "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9";

// Sprites of "System/Menu/SaveLoadButton.bmp".
constexpr SRect kSlotFrame = {0, 186, 378, 284};
constexpr SRect kEmptyPicture = {0, 284, 100, 359};
constexpr SRect kNumberLabel = {100, 287, 132, 302};
constexpr SRect kAutoLabel = {132, 287, 180, 302};
constexpr SRect kQuickLabel = {180, 284, 252, 302};
constexpr SRect kNewestBadge = {252, 284, 303, 300};
constexpr SRect kSwitchToLoad[2] = {{0, 87, 143, 120}, {0, 120, 143, 153}};   // on the save screen
constexpr SRect kSwitchToSave[2] = {{143, 87, 286, 120}, {143, 120, 286, 153}};  // on a load screen
constexpr SRect kCloseSprite[2] = {{286, 87, 429, 120}, {286, 120, 429, 153}};

// Hit rectangles (inclusive) and drawing places.
constexpr SRect kSwitchTabHit = {501, 548, 642, 580};
constexpr SRect kCloseHit = {643, 548, 784, 580};
constexpr SPoint kSwitchTabAt = {501, 548};
constexpr SPoint kCloseAt = {642, 548};

SPoint SlotCorner(int32_t index) {
    const int32_t column = index / 5;
    const int32_t row = index % 5;
    return SPoint{16 + 388 * column, 48 + 95 * row};
}

SRect SlotHit(int32_t index) {
    const SPoint corner = SlotCorner(index);
    return SRect{corner.x, corner.y, corner.x + 377, corner.y + 94};
}

// Tabs 0-9 are the ordinary pages, tab 10 the auto/quick page.
SRect TabHit(int32_t tab) {
    const int32_t left = tab < kAutoQuickPage ? 20 + 40 * tab : 430;
    return SRect{left, 550, left + 38, 578};
}

SRect TabSprite(int32_t tab, int32_t look) {
    const int32_t left = tab < kAutoQuickPage ? 39 * tab : 390;
    return SRect{left, 29 * look, left + 39, 29 * look + 29};
}

SRect DigitSprite(int32_t digit) { return SRect{100 + 12 * digit, 302, 112 + 12 * digit, 318}; }

bool IsSlotItem(int32_t item) { return item >= 0 && item < kSlotsPerPage; }
bool IsTabItem(int32_t item) { return item >= kHoverFirstPageTab && item <= kHoverAutoQuickTab; }

// The caption's characters: the date line, a line break, then the caption up to its end or its
// first line feed, without carriage returns and form feeds.
std::vector<uint32_t> CaptionCharacters(const SSystemTime& date, const char* caption) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d\n", date.year, date.month, date.day, date.hour,
                  date.minute);
    std::vector<uint32_t> codes;
    for (const char* p = text; *p != 0; ++p) codes.push_back(static_cast<uint8_t>(*p));
    // A line feed is never the trail byte of a two-byte character.
    const size_t length = strnlen(caption, kCaptionSize - 1);
    const void* lineFeed = std::memchr(caption, '\n', length);
    AppendSjisCodes(caption, lineFeed != nullptr ? static_cast<const char*>(lineFeed) - caption : length, &codes);
    if (codes.size() > kCaptionMaxChars) codes.resize(kCaptionMaxChars);
    return codes;
}

}  // namespace

CSaveLoadScreen::~CSaveLoadScreen() {
    ReleaseSlots();
    question.head.Release();
}

int32_t CSaveLoadScreen::InitLoad(int32_t fromTitle, int32_t openingState) {
    return Init(fromTitle != 0 ? kLoadFromTitle : kLoadFromGame, openingState, "System/Menu/LoadBG.bmp");
}

int32_t CSaveLoadScreen::InitSave(int32_t openingState) {
    return Init(kSaveScreen, openingState, "System/Menu/SaveBG.bmp");
}

int32_t CSaveLoadScreen::Init(int32_t screenKind, int32_t openingState, const char* backgroundPath) {
    const CConfigBlock config = g_Config;
    if (head.Load(backgroundPath, "System/Menu/SaveLoadButton.bmp") != 0) return -1;
    head.ApplySoundVolume(config);
    hovered = -1;
    selected = -1;
    page = 0;
    kind = screenKind;
    RefreshPage();
    state = openingState != 0 ? 1 : 0;
    startTime = g_FrameTime;
    result = 0;
    return 0;
}

void CSaveLoadScreen::GetSelectedFileName(char path[kSavePathSize]) const { GetSaveFileName(selected, path); }

int32_t CSaveLoadScreen::SlotNumber(int32_t index) const {
    return page == kAutoQuickPage ? kFirstAutoSaveSlot + index : page * kSlotsPerPage + index;
}

int32_t CSaveLoadScreen::SlotsOnPage() const { return page == kAutoQuickPage ? kAutoSaveCount + 1 : kSlotsPerPage; }

void CSaveLoadScreen::RefreshPage() {
    newest = FindNewestSave();
    for (int32_t index = 0; index < kSlotsPerPage; ++index) {
        CSaveSlot& slot = slots[index];
        slot.used = 0;
        ReleaseTexture(&slot.thumbnail);
        ReleaseTexture(&slot.caption);
        if (index >= SlotsOnPage()) continue;
        char path[kSavePathSize];
        GetSaveFileName(SlotNumber(index), path);
        ReadSlotHeader(&slot, path);
    }
}

void CSaveLoadScreen::ReleaseSlots() {
    for (CSaveSlot& slot : slots) {
        slot.used = 0;
        ReleaseTexture(&slot.thumbnail);
        ReleaseTexture(&slot.caption);
    }
    head.Release();
}

int32_t CSaveLoadScreen::ReadSlotHeader(CSaveSlot* slot, const char* path) {
    slot->used = 0;
    ReleaseTexture(&slot->thumbnail);
    ReleaseTexture(&slot->caption);
    CReadStream stream;
    if (stream.OpenFile(path) != 0 || stream.AllocBuffer(kSlotReadBuffer) != 0) return -1;
    CSaveFileHeader header;
    std::vector<uint8_t> pixels(kThumbnailBytes);
    if (ReadSaveHeader(&stream, &header, pixels.data()) != 0) return -1;
    stream.Close();

    if (header.thumbnailName[0] != 0) {
        LoadSystemTexture(g_pD3DDevice, &slot->thumbnail, header.thumbnailName);
    } else if (g_pD3DDevice->CreateTexture(128, 128, 1, Usage::None, Format::A8R8G8B8, Pool::Managed,
                                           &slot->thumbnail) == 0) {
        SLockedRect locked = {};
        if (slot->thumbnail->LockRect(0, &locked, nullptr, 0) == 0) {
            for (uint32_t row = 0; row < kThumbnailHeight; ++row) {
                std::memcpy(static_cast<uint8_t*>(locked.bits) + row * locked.pitch,
                            pixels.data() + row * kThumbnailRowBytes, kThumbnailRowBytes);
            }
            slot->thumbnail->UnlockRect(0);
        }
    }
    RenderSlotCaption(header.time, &slot->caption, header.caption);
    slot->used = 1;
    return 0;
}

int32_t CSaveLoadScreen::RenderSlotCaption(const SSystemTime& date, CTexture** texture, const char* caption) {
    ReleaseTexture(texture);
    const std::vector<uint32_t> codes = CaptionCharacters(date, caption);
    CFont* font = CreateFontSjis(kCaptionFontHeight, kFontWeightNormal, 0, kCaptionFace);
    if (font == nullptr) return -1;
    const int32_t rendered = RenderInOneFont(texture, kCaptionBlock, font, codes, kOpaqueWhite, 0, 1, 0);
    DeleteFont(font);
    return rendered;
}

int32_t FindNewestSave() {
    int32_t newest = -1;
    SSystemTime newestTime = {};
    for (int32_t number = 0; number < kOrdinarySaveCount; ++number) {
        char path[kSavePathSize];
        GetSaveFileName(number, path);
        SSystemTime time;
        if (ReadSaveDate(path, &time) != 0) continue;
        if (newest < 0 || CompareSaveTime(time, newestTime) > 0) {
            newest = number;
            newestTime = time;
        }
    }
    return newest;
}

bool CSaveLoadScreen::CanHover(int32_t item) const {
    if (IsSlotItem(item)) {
        if (item >= SlotsOnPage()) return false;
        return kind == kSaveScreen ? page != kAutoQuickPage : slots[item].used != 0;
    }
    if (item == kHoverSwitchTab) return kind != kLoadFromTitle;
    return item >= kHoverFirstPageTab && item < kHoverItemCount;
}

int32_t CSaveLoadScreen::HitTest() const {
    const SPoint mouse = MousePosition();
    for (int32_t item = 0; item < kHoverItemCount; ++item) {
        if (!CanHover(item)) continue;
        SRect hit;
        if (IsSlotItem(item)) {
            hit = SlotHit(item);
        } else if (IsTabItem(item)) {
            hit = TabHit(item - kHoverFirstPageTab);
        } else {
            hit = item == kHoverSwitchTab ? kSwitchTabHit : kCloseHit;
        }
        if (IsPointInRect(hit, mouse)) return item;
    }
    return -1;
}

void CSaveLoadScreen::Close(int32_t nextState, int32_t closeResult) {
    state = nextState;
    result = closeResult;
    startTime = g_FrameTime;
    hovered = -1;
}

int32_t CSaveLoadScreen::UpdateIdleInput() {
    const int32_t before = hovered;
    if (IsHoverTick()) hovered = HitTest();
    const auto canHover = [this](int32_t item) { return CanHover(item); };
    if (IsPreviousKey()) {
        hovered = StepHover(hovered, -1, kHoverItemCount, canHover);
        StampKeyGuard();
    } else if (IsNextKey()) {
        hovered = StepHover(hovered, +1, kHoverItemCount, canHover);
        StampKeyGuard();
    }
    int32_t activated = -1;
    if (IsActivation()) {
        if (hovered != -1) head.PlaySelect();
        StampKeyGuard();
        activated = hovered;
    } else if (hovered != -1 && hovered != before) {
        head.PlayCursor();
    }
    if (activated == -1 && IsCancelClick()) {
        // Unlike the close tab, the right click keeps the idle state's start time, so the fade-out
        // of a screen idle for longer than the fade ends on its next frame.
        state = 4;
        result = kSaveLoadClose;
        hovered = -1;
    }
    return activated;
}

// The states both screens share: a click or Enter ends the opening fade (0, 1) and, during the
// closing (4, 5), returns the result at once; done (6) returns it. -1 in the other states.
int32_t CSaveLoadScreen::UpdateOpeningOrClosing() {
    if (state == 0 || state == 1) {
        if (IsActivation()) {
            state = 2;
            startTime = g_FrameTime;
        }
        return 0;
    }
    if (state == 4 || state == 5) return IsActivation() ? result : 0;
    if (state == 6) return result;
    return -1;
}

void CSaveLoadScreen::TurnPageOrClose(int32_t item) {
    if (IsTabItem(item)) {
        page = item - kHoverFirstPageTab;
        RefreshPage();
        startTime = g_FrameTime;
        hovered = -1;
    } else if (item == kHoverSwitchTab) {
        Close(5, kSaveLoadSwitch);
    } else if (item == kHoverClose) {
        Close(4, kSaveLoadClose);
    }
}

int32_t CSaveLoadScreen::UpdateLoad() {
    const int32_t shared = UpdateOpeningOrClosing();
    if (shared >= 0) return shared;

    const int32_t item = UpdateIdleInput();
    if (IsSlotItem(item)) {
        selected = SlotNumber(item);
        Close(5, kSaveLoadChosen);
    } else {
        TurnPageOrClose(item);
    }
    return 0;
}

int32_t CSaveLoadScreen::UpdateSave() {
    const int32_t shared = UpdateOpeningOrClosing();
    if (shared >= 0) return shared;
    if (state == 3) {
        const int32_t answer = question.Update();
        if (answer == kAnswerNone) return 0;
        question.head.Release();
        state = 2;
        if (answer == kAnswerYes) return kSaveLoadChosen;
        selected = -1;
        return 0;
    }

    const int32_t item = UpdateIdleInput();
    if (IsSlotItem(item)) {
        selected = page * kSlotsPerPage + item;
        hovered = -1;
        if (slots[item].used == 0) return kSaveLoadChosen;
        if (question.Init(kQuestionOverwrite) != 0) {
            question.head.Release();
            return kSaveLoadChosen;
        }
        state = 3;
        startTime = g_FrameTime;
    } else if (item != kHoverAutoQuickTab) {  // the auto/quick tab can be pointed at but does nothing here
        TurnPageOrClose(item);
    }
    return 0;
}

void CSaveLoadScreen::Draw() {
    const uint32_t now = g_FrameTime;
    uint32_t alpha = 255;
    if (state == 0) {
        alpha = FadeAlpha(now, startTime, kFadeMs);
        if (alpha == 255) {
            state = 2;
            startTime = now;
        }
    } else if (state == 4) {
        alpha = 255 - FadeAlpha(now, startTime, kFadeMs);
        if (alpha == 0) {
            state = 6;
            startTime = now;
        }
    }
    const uint32_t colour = WhiteWithAlpha(alpha);
    DrawBackground(g_pD3DDevice, head.background, colour);
    DrawSlots(alpha);
    DrawTabs(colour);
    if (state == 3) question.Draw();
    if (state == 1) {
        const uint32_t black = 255 - FadeAlpha(now, startTime, kFadeMs);
        DrawFilledRect(g_pD3DDevice, kFullScreenRect, BlackWithAlpha(black));
        if (black == 0) {
            state = 2;
            startTime = now;
        }
    } else if (state == 5) {
        const uint32_t black = FadeAlpha(now, startTime, kFadeMs);
        DrawFilledRect(g_pD3DDevice, kFullScreenRect, BlackWithAlpha(black));
        if (black == 255) {
            state = 6;
            startTime = now;
        }
    }
}

void CSaveLoadScreen::DrawSlots(uint32_t alpha) {
    CGraphicsDevice* device = g_pD3DDevice;
    CTexture* sheet = head.buttonSheet;
    const uint32_t colour = WhiteWithAlpha(alpha);
    const int32_t count = SlotsOnPage();
    for (int32_t index = 0; index < count; ++index) {
        const SPoint at = SlotCorner(index);
        const uint32_t frameColour = hovered == index ? colour : WhiteWithAlpha(alpha * 192 / 255);
        DrawSheetSprite(device, sheet, kSlotFrame, at.x, at.y, frameColour);
        if (slots[index].used == 0) DrawSheetSprite(device, sheet, kEmptyPicture, at.x + 18, at.y + 11, colour);
        const int32_t number = SlotNumber(index);
        bool digits = true;
        if (page != kAutoQuickPage) {
            DrawSheetSprite(device, sheet, kNumberLabel, at.x + 286, at.y + 15, colour);
        } else if (index < kAutoSaveCount) {
            DrawSheetSprite(device, sheet, kAutoLabel, 286, 63 + 95 * index, colour);
        } else {
            DrawSheetSprite(device, sheet, kQuickLabel, 299, 443, colour);
            digits = false;
        }
        if (digits) {
            const int32_t shown = page == kAutoQuickPage ? number - kFirstAutoSaveSlot : number;
            for (int32_t place = 0; place < 3; ++place) {
                DrawSheetSprite(device, sheet, DigitSprite(GetDecimalDigit(shown, 3 - place)), at.x + 320 + 12 * place,
                                at.y + 15, colour);
            }
        }
        if (number == newest) DrawSheetSprite(device, sheet, kNewestBadge, at.x + 125, at.y + 13, colour);
    }
    const SRect thumbnailSource = {0, 0, static_cast<int32_t>(kThumbnailWidth), static_cast<int32_t>(kThumbnailHeight)};
    const SRect captionSource = {0, 0, kCaptionBlock.width, kCaptionBlock.height};
    for (int32_t index = 0; index < count; ++index) {
        if (slots[index].used == 0) continue;
        const SPoint at = SlotCorner(index);
        if (slots[index].thumbnail != nullptr) {
            DrawSheetSprite(device, slots[index].thumbnail, thumbnailSource, at.x + 18, at.y + 11, colour);
        }
        if (slots[index].caption != nullptr) {
            DrawSheetSprite(device, slots[index].caption, captionSource, at.x + 122, at.y + 33,
                            alpha << 24 | 0x484848u);
        }
    }
}

void CSaveLoadScreen::DrawTabs(uint32_t colour) {
    CGraphicsDevice* device = g_pD3DDevice;
    for (int32_t tab = 0; tab <= kAutoQuickPage; ++tab) {
        const int32_t look = tab == page ? 2 : hovered == kHoverFirstPageTab + tab ? 1 : 0;
        const SRect hit = TabHit(tab);
        DrawSheetSprite(device, head.buttonSheet, TabSprite(tab, look), hit.left, hit.top, colour);
    }
    const SRect* switchSprites = kind == kSaveScreen ? kSwitchToLoad : kSwitchToSave;
    DrawSheetSprite(device, head.buttonSheet, switchSprites[hovered == kHoverSwitchTab ? 1 : 0], kSwitchTabAt.x,
                    kSwitchTabAt.y, colour);
    DrawSheetSprite(device, head.buttonSheet, kCloseSprite[hovered == kHoverClose ? 1 : 0], kCloseAt.x, kCloseAt.y,
                    colour);
}
