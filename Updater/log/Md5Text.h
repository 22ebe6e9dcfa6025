#pragma once

#include <cstdint>
#include <string>

// The 16 digest bytes as 32 lower-case hex digits, byte 0 first.
std::wstring FormatMd5Hex(const uint8_t (&digest)[16]);
