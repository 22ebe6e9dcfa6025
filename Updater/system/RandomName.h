#pragma once

#include <string>

// 32 hexadecimal digits from the platform's random number generator: a file
// or folder name nobody can predict. Empty when the generator is unavailable
// (a guessable name is never given instead).
std::wstring RandomName();
