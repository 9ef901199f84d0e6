#include "app/game_app.h"
#include "platform/external_request.h"

// The program takes no command-line options: it plays the game in its working folder.
int main() {
    // First of all: a flag-report request (SIGUSR1) that arrives during start-up must not end the
    // program, whose default for that signal is to die.
    InstallExternalRequestHandler();
    CGameApp app;
    return app.Run() == 1 ? 0 : 1;
}
