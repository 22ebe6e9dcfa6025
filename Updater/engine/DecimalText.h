#pragma once

#include <string>

// value written in decimal digits. (The standard conversions would bring the
// C runtime's whole printf machinery into the Updater.)
inline std::wstring DecimalText(unsigned long value) {
    wchar_t digits[16];
    size_t at = sizeof digits / sizeof digits[0];
    do {
        digits[--at] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::wstring(digits + at, digits + sizeof digits / sizeof digits[0]);
}
