#include "screens/adv_movie_mode.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "files/loaders.h"
#include "platform/devices_graphics.h"
#include "platform/input_state.h"

namespace {

constexpr char kMovieArchive[] = "Movie.pac";

}  // namespace

int32_t CAdvMovieMode::Init(const char* tableName) {
    End();
    running_ = true;
    archive = new (std::nothrow) CPackArchive;
    if (archive != nullptr && archive->Open(kMovieArchive) != 0) {
        delete archive;
        archive = nullptr;
    }
    cursors.Create(EMovieCursor::Click);
    cursors.Create(EMovieCursor::Hand);
    // Every story movie starts without the loop count and loop-end table of an earlier one.
    table = SMovieTable{};
    if (LoadTable(tableName) != 0) return -1;
    std::memset(results, 0, sizeof results);
    std::memcpy(movieFlags, g_SystemMovieFlags, sizeof movieFlags);
    g_pD3DDevice->Clear(0, nullptr, ClearFlag::Target, kMovieClearColour, 1.0f, 0);
    g_pD3DDevice->Present();
    return 0;
}

int32_t CAdvMovieMode::LoadTable(const char* name) {
    char tableName[kQuotedTokenSize];
    std::snprintf(tableName, sizeof tableName, "%s", name != nullptr ? name : "");
    table.ClearForReading();
    loopsPlayed = 0;
    if (ReadMovieTable(tableName, archive, EMovieTableKeywords::Story, &table) != 0) {
        ShowDataFileOpenError(tableName, false);
        return -1;
    }
    if (OpenMovie(table.movie) != 0) {
        ShowDataFileOpenError(table.movie, false);
        return -1;
    }
    cursors.ShowNormal();
    return 0;
}

int32_t CAdvMovieMode::OpenMovie(const char* file) {
    if (movie.Open(g_pDirectSound, file, g_Config.settings.bgmVolume) != 0) return -1;
    return movie.Play();
}

void CAdvMovieMode::DrawFrame() {
    movie.DrawFrame(g_pD3DDevice);
    g_pD3DDevice->Present();
}

void CAdvMovieMode::SetMovieFlag() {
    if (table.movieFlag >= 0 && table.movieFlag < kMovieFlagLimit) movieFlags[table.movieFlag] = 1;
}

int32_t CAdvMovieMode::UpdatePlaying() {
    if (!movie.HasReachedEnd()) return kMoviePlaying;
    ++loopsPlayed;
    if (loopsPlayed >= table.loopCount) {
        if (table.loopCount > 0) {
            SetMovieFlag();
            if (table.loopEndTable[0] == '\0') return kMovieDone;
            return LoadTable(table.loopEndTable) == 0 ? kMoviePlaying : kMovieFailed;
        }
        if (table.loopCount == 0) SetMovieFlag();
    }
    movie.Rewind();
    return kMoviePlaying;
}

int32_t CAdvMovieMode::UpdateClickable() {
    const int32_t hit = FindClickItem(table, SPoint{g_Input.mouseX, g_Input.mouseY});
    if (hit < 0) {
        cursors.ShowNormal();
        return kMoviePlaying;
    }
    cursors.Show(table.cursorType == kHandCursor ? EMovieCursor::Hand : EMovieCursor::Click);
    if (!g_Input.leftUp) return kMoviePlaying;
    const CMovieClickItem& item = table.items[hit];
    if (item.resultFlag >= 0 && item.resultFlag < kMovieResultCount) results[item.resultFlag] = 1;
    SetMovieFlag();
    if (item.table[0] == '\0') return kMovieDone;
    return LoadTable(item.table) == 0 ? kMoviePlaying : kMovieFailed;
}

void CAdvMovieMode::End() {
    if (!running_) return;
    running_ = false;
    MergeMovieFlags(movieFlags);
    std::memset(movieFlags, 0, sizeof movieFlags);
    cursors.Destroy();
    delete archive;
    archive = nullptr;
    movie.Close();
}
