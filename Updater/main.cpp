// Entry point of the windowless Updater: no window, no message loop.
#include "UpdaterMain.h"
#include "common/ComInit.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    ScopedComInit com;
    return UpdaterMain(commandLine);
}
