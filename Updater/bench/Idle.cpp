// Does nothing and ends: the cost of starting any Windows program, against
// which the Updater's own start-up and memory are measured.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    return 0;
}
