#include "engine/ManifestFields.h"

#include "common/AsciiText.h"
#include "common/TextNumbers.h"

#include <cstring>

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The count digits at text[at] as a number; false when any is no digit.
bool ReadDigits(const std::wstring& text, size_t at, size_t count, int& value) {
    int result = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (!IsDigit(text[i]))
            return false;
        result = result * 10 + (text[i] - L'0');
    }
    value = result;
    return true;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
int64_t DaysSinceEpoch(int year, int month, int day) {
    int64_t days = 0;
    for (int y = 1970; y < year; ++y)
        days += IsLeapYear(y) ? 366 : 365;
    for (int m = 1; m < month; ++m)
        days += DaysInMonth(year, m);
    return days + day - 1;
}

}  // namespace

bool ParseUtcTime(const std::wstring& text, int64_t& seconds) {
    // YYYY-MM-DDThh:mm:ssZ
    if (text.size() != 20 || text[4] != L'-' || text[7] != L'-' || text[10] != L'T' ||
        text[13] != L':' || text[16] != L':' || text[19] != L'Z')
        return false;
    int year, month, day, hour, minute, second;
    if (!ReadDigits(text, 0, 4, year) || !ReadDigits(text, 5, 2, month) ||
        !ReadDigits(text, 8, 2, day) || !ReadDigits(text, 11, 2, hour) ||
        !ReadDigits(text, 14, 2, minute) || !ReadDigits(text, 17, 2, second))
        return false;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59)
        return false;
    seconds = ((DaysSinceEpoch(year, month, day) * 24 + hour) * 60 + minute) * 60 + second;
    return true;
}

bool ParseByteCount(const std::wstring& text, uint64_t& bytes) {
    return text.size() <= 19 && ParseDecimal(text, 0x7FFFFFFFFFFFFFFFull, bytes);
}

bool ParseSha256Hex(const std::wstring& text, uint8_t (&digest)[32]) {
    if (text.size() != 2 * sizeof digest)
        return false;
    uint8_t value[32];
    for (size_t i = 0; i < sizeof value; ++i) {
        int high = HexValue(text[2 * i]);
        int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        value[i] = static_cast<uint8_t>((high << 4) | low);
    }
    std::memcpy(digest, value, sizeof digest);
    return true;
}

bool IsHttpAddress(const std::wstring& address) {
    return StartsWithNoCase(address, L"http:") || StartsWithNoCase(address, L"https:");
}

std::wstring SignatureAddress(const std::wstring& manifestAddress) {
    // The path starts after the server's name, when the address names one:
    // ".sig" never goes into the host name.
    size_t pathStart = 0;
    const size_t scheme = manifestAddress.find(L"://");
    if (scheme != std::wstring::npos && manifestAddress.find_first_of(L"/?#") == scheme + 1)
        pathStart = manifestAddress.find_first_of(L"/?#", scheme + 3);
    size_t pathEnd = manifestAddress.find_first_of(L"?#", pathStart == std::wstring::npos
                                                              ? manifestAddress.size()
                                                              : pathStart);
    if (pathEnd == std::wstring::npos)
        pathEnd = manifestAddress.size();
    // An empty path is the server's root, "/".
    const bool emptyPath = pathStart == std::wstring::npos || pathStart == pathEnd;
    const std::wstring sig = emptyPath && scheme != std::wstring::npos ? L"/.sig" : L".sig";
    return manifestAddress.substr(0, pathEnd) + sig + manifestAddress.substr(pathEnd);
}
