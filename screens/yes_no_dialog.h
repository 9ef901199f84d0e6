// The confirmation question of the in-game menu (return to the title, quit), the save screen
// (overwrite) and the configuration screen: a full-screen picture with one question line and a
// yes and a no button.
#pragma once

#include <cstdint>

#include "screens/screen_resources.h"

enum : int32_t {
    kQuestionReturnToTitle = 1,
    kQuestionQuit = 2,
    kQuestionOverwrite = 4,
};

enum : int32_t { kAnswerNone = 0, kAnswerYes = 1, kAnswerNo = 2 };

struct CYesNoDialog {
    CScreenResources head;
    int32_t state = 0;  // 0 fade in, 1 idle, 2 fade out, 3 done
    uint32_t startTime = 0;
    int32_t result = 0;
    int32_t kind = 0;
    int32_t hovered = -1;  // -1 none, 0 yes, 1 no

    // 0, or -1 when a picture or sound cannot be loaded (the owner releases the head).
    int32_t Init(int32_t questionKind);
    // 0 while open, then kAnswerYes or kAnswerNo on every call.
    int32_t Update();
    void Draw();
};
