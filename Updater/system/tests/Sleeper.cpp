// A program that only waits: a stand-in for a running product executable.
// Ends by itself after two minutes so that no test leaves it behind.
#include <windows.h>

int main() {
    ::Sleep(120000);
    return 7;
}
