#include "system/UtcClock.h"

#include <windows.h>

int64_t UtcNowSeconds() {
    // FILETIME counts 100 ns intervals since 1601-01-01.
    const int64_t kEpochOffsetSeconds = 11644473600LL;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    return static_cast<int64_t>(ticks.QuadPart / 10000000ULL) - kEpochOffsetSeconds;
}
