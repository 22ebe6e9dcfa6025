// Holds the Wine desktop through a test session. Wine ends its desktop
// process a moment after the last program that used it, and the next program
// that needs a window starts a new one that inherits that program's standard
// error: the test runner then waits for that test's output to end until the
// desktop ends, which is the end of the whole run. scripts/winenv.sh starts
// this program once, with its output going nowhere, so that the desktop it
// starts outlives every test and ends with the session's wineserver.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    ::GetDesktopWindow();
    // Ends by itself after a day, should the end of its session miss it.
    ::Sleep(24 * 60 * 60 * 1000);
    return 0;
}
