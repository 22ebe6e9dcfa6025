#include "log/Md5Text.h"

std::wstring FormatMd5Hex(const uint8_t (&digest)[16]) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(32);
    for (uint8_t b : digest) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}
