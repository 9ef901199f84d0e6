#include "engine/engine_settings.h"

#include <cstring>

void SetDefaultEngineSettings(CEngineSettings* settings) {
    std::memset(settings, 0, sizeof(*settings));
    settings->windowColour = 0xFFFFFFFFu;
    settings->fontMode = 1;
    // "ＭＳ ゴシック"
    std::strcpy(settings->font.face, "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E");
    settings->font.height = 24;
    settings->font.colour = 0xFFFFFFFFu;
    settings->textFlags = 3;
    settings->textEffect = 2;
    settings->textSpeed = 100;
    settings->autoWait = 250;
    settings->skipUnread = 0;
    settings->modelAntialias = 1;
    settings->modelEdge = 1;
    settings->effectsOn = 1;
}
