// The block the adventure mode fills for the engine's start.
#pragma once

#include <cstdint>

#include "files/loaders.h"
#include "text/choice_window.h"
#include "text/message_window.h"

class CSurface;

// Receives the text of every SSCR command: (text, context).
using HostCallback = int32_t (*)(const char* text, void* context);

struct CEngineParams {
    uint32_t sceneTarget;            // 1: the scene is drawn into the whole-scene target
    uint32_t modelsUsable;           // 1: 3D models may be used
    CSurface* offscreenSurface;      // the shell's 800 x 600 off-screen target (models only)
    CArchiveParams archives;         // the five archive names and the error-report mask
    CMessageWindowStyle messageWindow;
    CChoiceWindowStyle choiceWindow;
    HostCallback hostCallback;
    void* hostContext;
};
