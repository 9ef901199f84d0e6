#include "app/game_app.h"

// The program takes no command-line options: it plays the game in its working folder.
int main() {
    CGameApp app;
    return app.Run() == 1 ? 0 : 1;
}
