// The process entry point.
#include "app/player_app.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd) {
    (void)hPrevInstance;
    (void)lpCmdLine;
    (void)nShowCmd;
    PlayerApp SystemMain;
    SystemMain.run(hInstance);
    return 1;
}
