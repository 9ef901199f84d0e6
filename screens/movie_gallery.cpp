#include "screens/movie_gallery.h"

#include <cstdio>
#include <cstring>

#include "files/loaders.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/input_state.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "screens/adv_movie_mode.h"
#include "screens/extra_menu.h"
#include "sound/sound_player.h"

const char kMovieListPath[] = "System/Extra/MovieTable.txt";

namespace {

constexpr char kBackground1Path[] = "System/Extra/MovieModeBG1.bmp";
constexpr char kBackground2Path[] = "System/Extra/MovieModeBG2.bmp";
constexpr char kSheetPath[] = "System/Extra/MovieModeButton.bmp";
constexpr char kMusicPath[] = "System/Extra/BGM.ogg";
constexpr char kListDelimiters[] = " \t\r\n";

constexpr int32_t kColumns = 5;
constexpr int32_t kThumbLeft = 80;
constexpr int32_t kThumbTop = 75;
constexpr int32_t kThumbPitchX = 132;
constexpr int32_t kThumbPitchY = 102;
constexpr int32_t kThumbHitWidth = 119;
constexpr int32_t kThumbHitHeight = 89;
constexpr int32_t kCellWidth = 120;
constexpr int32_t kCellHeight = 90;
constexpr int32_t kHoveredCellTop = 90;
constexpr int32_t kNormalCellTop = 540;
constexpr SRect kLockedCell = {0, 0, 120, 90};
constexpr int32_t kCaptionLeft = 600;
constexpr int32_t kCaptionRight = 883;
constexpr int32_t kCaptionHeight = 32;
constexpr SPoint kCaptionAt = {280, 493};

// Buttons 20-23: their hit rectangles, where they are drawn, and their sheet cells.
constexpr SRect kButtonRects[4] = {{137, 550, 185, 578}, {187, 550, 235, 578}, {501, 548, 648, 580}, {642, 548, 784, 580}};
constexpr SPoint kButtonAt[4] = {{137, 550}, {187, 550}, {501, 548}, {642, 548}};
constexpr int32_t kPageCellLeft[2] = {406, 455};
constexpr int32_t kPageCellWidth = 49;
constexpr int32_t kPageCellHeight = 29;
constexpr SRect kPicturesCell[2] = {{263, 0, 406, 33}, {263, 33, 406, 66}};  // normal, hovered
constexpr SRect kBackCell[2] = {{120, 0, 263, 33}, {120, 33, 263, 66}};

SPoint ThumbnailAt(int32_t k) {
    return SPoint{kThumbLeft + kThumbPitchX * (k % kColumns), kThumbTop + kThumbPitchY * (k / kColumns)};
}

// Hit rectangles: the thumbnails 0-19, then the buttons.
SRect HoverRect(int32_t hover) {
    if (hover >= kMoviesPerPage) return kButtonRects[hover - kMoviesPerPage];
    const SPoint at = ThumbnailAt(hover);
    return SRect{at.x, at.y, at.x + kThumbHitWidth, at.y + kThumbHitHeight};
}

// The sheet cell of an available thumbnail: hovered cells from y 90, others from y 540, each
// page four rows further down.
SRect ThumbnailCell(int32_t k, int32_t page, bool hovered) {
    const int32_t left = kCellWidth * (k % kColumns);
    const int32_t top = (hovered ? kHoveredCellTop : kNormalCellTop) + kCellHeight * (k / kColumns + 4 * page);
    return SRect{left, top, left + kCellWidth, top + kCellHeight};
}

// Rows: the page shown, hovered, otherwise.
SRect PageButtonCell(int32_t button, bool shown, bool hovered) {
    const int32_t top = shown ? 2 * kPageCellHeight : hovered ? kPageCellHeight : 0;
    const int32_t left = kPageCellLeft[button];
    return SRect{left, top, left + kPageCellWidth, top + kPageCellHeight};
}

void CopyName(char* field, const char* name) { std::snprintf(field, kQuotedTokenSize, "%s", name != nullptr ? name : ""); }

}  // namespace

int32_t CMovieMode::Init() {
    End();
    running_ = true;
    config = g_Config;
    std::memcpy(movieFlags, g_SystemMovieFlags, sizeof movieFlags);
    movieFlags[0] = 1;
    if (LoadMovieList() != 0) return -1;
    CGraphicsDevice* device = g_pD3DDevice;
    if (LoadSystemTexture(device, &head.background, kBackground1Path) != 0 ||
        LoadSystemTexture(device, &secondBackground, kBackground2Path) != 0 ||
        LoadSystemTexture(device, &head.buttonSheet, kSheetPath) != 0 || LoadScreenSound(&music, kMusicPath) != 0 ||
        head.LoadSounds() != 0)
        return -1;
    music->SetMasterVolume(VolumeWithSwitch(config.bgmOff, config.settings.bgmVolume));
    head.ApplySoundVolume(config);
    cursors.Create(EMovieCursor::Click);
    // Made as the gallery has always made it; no rule of the gallery shows it.
    cursors.Create(EMovieCursor::NoClick);
    table = SMovieTable{};
    loopsPlayed = 0;
    page = 0;
    hover = -1;
    state = kMovieGalleryFadeIn;
    stateStart = GetTimeMs();
    music->Play(0, 0);
    return 0;
}

// One entry a line: the movie flag and the quoted table. A negative flag ends the list, which
// keeps at most kMovieListMax entries.
int32_t CMovieMode::LoadMovieList() {
    listCount = 0;
    const auto addLine = [this](const char* line) {
        CTokenizer words;
        words.Init(line, kListDelimiters);
        if (words.IsAtEnd()) return true;
        const int32_t flag = words.NextInt();
        if (flag < 0) return false;
        SMovieListEntry& entry = list[listCount++];
        entry.flag = flag;
        words.NextQuoted(entry.table);
        return listCount < kMovieListMax;
    };
    if (ReadTableLines(kMovieListPath, g_pSystemArchive, addLine) == 0) return 0;
    ShowSystemFileOpenError(kMovieListPath);
    return -1;
}

bool CMovieMode::IsAvailable(int32_t k) const {
    if (k < 0 || k >= kMoviesPerPage) return false;
    const int32_t index = page * kMoviesPerPage + k;
    if (index >= listCount) return false;
    // A flag number outside the table counts as never set.
    const int32_t flag = list[index].flag;
    return flag >= 0 && flag < static_cast<int32_t>(kSystemMovieFlagCount) && movieFlags[flag] != 0;
}

int32_t CMovieMode::Frame() {
    const uint32_t alpha = FadeAlpha(g_FrameTime, stateStart, kGalleryFadeMs);
    switch (state) {
        case kMovieGalleryFadeIn:
            DrawList(255 - alpha);
            SkipFadeIn();
            if (alpha == 255) EnterState(kMovieGalleryList);
            break;
        case kMovieGalleryList:
            DrawList(0);
            UpdateList();
            break;
        case kMovieGalleryPlaying:
            movie.DrawFrame(g_pD3DDevice);
            g_pD3DDevice->Present();
            UpdatePlaying();
            if (state == kMovieGalleryPlaying) UpdateClickable();
            break;
        case kMovieGalleryFadeOut:
            DrawList(alpha);
            if (alpha == 255 || IsActivation())
                return hover == kMovieHoverPictures ? kMovieGalleryToPictures : kMovieGalleryToTitle;
            break;
        default: break;
    }
    return kMovieGalleryRunning;
}

// A click or Enter during the fade-in shows the list at once.
void CMovieMode::SkipFadeIn() {
    if (IsActivation()) EnterState(kMovieGalleryList);
}

// The pointer hovers the available thumbnails and the four buttons; the keys pass over the
// locked thumbnails and the button of the page shown.
void CMovieMode::UpdateList() {
    const int32_t before = hover;
    hover = UpdateButtonHover(
        hover, kMovieHoverCount, HoverRect, [this](int32_t h) { return h >= kMoviesPerPage || IsAvailable(h); },
        [this](int32_t h) { return h < kMoviesPerPage ? IsAvailable(h) : h != kMovieHoverPage1 + page; });
    if (head.TakeActivation(hover, before)) Activate();
    if (state == kMovieGalleryList && IsCancelClick()) {
        EnterState(kMovieGalleryFadeOut);
        StopMusic();
    }
}

void CMovieMode::Activate() {
    if (hover >= 0 && hover < kMoviesPerPage) {
        if (!IsAvailable(hover) || LoadTable(list[page * kMoviesPerPage + hover].table) != 0) return;
        EnterState(kMovieGalleryPlaying);
        StopMusic();
        g_pD3DDevice->Clear(0, nullptr, ClearFlag::Target, kMovieClearColour, 1.0f, 0);
        g_pD3DDevice->Present();
    } else if (hover == kMovieHoverPage1 || hover == kMovieHoverPage2) {
        page = hover - kMovieHoverPage1;
    } else if (hover == kMovieHoverPictures || hover == kMovieHoverBack) {
        EnterState(kMovieGalleryFadeOut);
        StopMusic();
    }
}

int32_t CMovieMode::LoadTable(const char* name) {
    char tableName[kQuotedTokenSize];
    CopyName(tableName, name);
    table.loopEndTable[0] = '\0';
    table.loopCount = 0;
    table.ClearForReading();
    loopsPlayed = 0;
    if (ReadMovieTable(tableName, g_pSystemArchive, EMovieTableKeywords::Gallery, &table) != 0) {
        ShowSystemFileOpenError(tableName);
        return -1;
    }
    if (movie.Open(g_pDirectSound, table.movie, config.settings.bgmVolume) != 0 || movie.Play() != 0) {
        movie.Close();
        ShowDataFileOpenError(table.movie, false);
        return -1;
    }
    cursors.ShowNormal();
    return 0;
}

void CMovieMode::UpdatePlaying() {
    if (!movie.HasReachedEnd()) return;
    ++loopsPlayed;
    if (table.loopCount <= 0 || loopsPlayed < table.loopCount) {
        movie.Rewind();
    } else if (table.loopEndTable[0] == '\0') {
        CloseForList(false);
    } else if (LoadTable(table.loopEndTable) != 0) {
        // A chained table that cannot be played gives the list back rather than a movie that
        // nothing can end.
        CloseForList(true);
    }
}

void CMovieMode::UpdateClickable() {
    const int32_t hit = FindClickItem(table, MousePosition());
    if (hit < 0) {
        cursors.ShowNormal();
        return;
    }
    cursors.Show(EMovieCursor::Click);
    if (!g_Input.leftUp) return;
    char next[kQuotedTokenSize];
    CopyName(next, table.items[hit].table);
    if (next[0] == '\0' || LoadTable(next) != 0) CloseForList(true);
}

void CMovieMode::CloseForList(bool restartMusic) {
    cursors.ShowNormal();
    movie.Close();
    EnterState(kMovieGalleryList);
    if (restartMusic && music != nullptr) {
        music->Seek(0);
        music->Play(0, 0);
    }
}

void CMovieMode::StopMusic() {
    if (music != nullptr) music->Stop(kGalleryMusicFadeSpeed);
}

void CMovieMode::EnterState(int32_t next) {
    state = next;
    stateStart = g_FrameTime;
}

void CMovieMode::DrawList(uint32_t overlayAlpha) {
    CGraphicsDevice* device = g_pD3DDevice;
    BeginScreenFrame(device);
    DrawBackground(device, page == 0 ? head.background : secondBackground, kOpaqueWhite);
    CTexture* sheet = head.buttonSheet;
    for (int32_t k = 0; k < kMoviesPerPage && page * kMoviesPerPage + k < listCount; ++k) {
        const SRect cell = IsAvailable(k) ? ThumbnailCell(k, page, k == hover) : kLockedCell;
        const SPoint at = ThumbnailAt(k);
        DrawSheetSprite(device, sheet, cell, at.x, at.y, kOpaqueWhite);
    }
    if (hover >= 0 && hover < kMoviesPerPage && IsAvailable(hover)) {
        const int32_t top = kCaptionHeight * (page * kMoviesPerPage + hover);
        DrawSheetSprite(device, sheet, SRect{kCaptionLeft, top, kCaptionRight, top + kCaptionHeight}, kCaptionAt.x,
                        kCaptionAt.y, kOpaqueWhite);
    }
    for (int32_t b = 0; b < 2; ++b) {
        const SRect cell = PageButtonCell(b, page == b, hover == kMovieHoverPage1 + b);
        DrawSheetSprite(device, sheet, cell, kButtonAt[b].x, kButtonAt[b].y, kOpaqueWhite);
    }
    DrawSheetSprite(device, sheet, kPicturesCell[hover == kMovieHoverPictures ? 1 : 0], kButtonAt[2].x,
                    kButtonAt[2].y, kOpaqueWhite);
    DrawSheetSprite(device, sheet, kBackCell[hover == kMovieHoverBack ? 1 : 0], kButtonAt[3].x, kButtonAt[3].y,
                    kOpaqueWhite);
    if (overlayAlpha > 0) DrawFilledRect(device, kFullScreenRect, BlackWithAlpha(overlayAlpha));
    EndScreenFrame(device);
}

void CMovieMode::End() {
    if (!running_) return;
    running_ = false;
    cursors.Destroy();
    head.Release();
    ReleaseTexture(&secondBackground);
    ReleaseScreenSound(&music);
    movie.Close();
}
