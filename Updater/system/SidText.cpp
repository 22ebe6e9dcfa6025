#include "system/SidText.h"

#include <cstdio>

const wchar_t kLocalSystemSid[] = L"S-1-5-18";

namespace {

void AppendAscii(std::wstring& out, const char* text) {
    for (; *text; ++text)
        out += static_cast<wchar_t>(*text);
}

}  // namespace

std::wstring FormatSidText(const uint8_t (&authority)[6], const std::vector<uint32_t>& subAuthorities) {
    std::wstring text = L"S-1-";
    char buf[32];
    if (authority[0] == 0 && authority[1] == 0) {
        uint32_t value = (uint32_t(authority[2]) << 24) | (uint32_t(authority[3]) << 16) |
                         (uint32_t(authority[4]) << 8) | uint32_t(authority[5]);
        std::snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(value));
    } else {
        std::snprintf(buf, sizeof buf, "0x%.2x%.2x%.2x%.2x%.2x%.2x", authority[0], authority[1],
                      authority[2], authority[3], authority[4], authority[5]);
    }
    AppendAscii(text, buf);
    for (uint32_t sub : subAuthorities) {
        std::snprintf(buf, sizeof buf, "-%lu", static_cast<unsigned long>(sub));
        AppendAscii(text, buf);
    }
    return text;
}
