#include "system/TextCodec.h"

#include <windows.h>

#include <climits>

namespace {

UINT ToWindowsCodePage(CodePage codePage) {
    return codePage == CodePage::Utf8 ? CP_UTF8 : CP_THREAD_ACP;
}

}  // namespace

std::wstring BytesToWide(const char* bytes, size_t count, CodePage codePage) {
    if (!bytes || count == 0 || count > INT_MAX)
        return std::wstring();
    const UINT cp = ToWindowsCodePage(codePage);
    int needed = ::MultiByteToWideChar(cp, 0, bytes, static_cast<int>(count), nullptr, 0);
    if (needed <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    int written = ::MultiByteToWideChar(cp, 0, bytes, static_cast<int>(count), &wide[0], needed);
    if (written <= 0)
        return std::wstring();
    wide.resize(static_cast<size_t>(written));
    return wide;
}

std::string WideToBytes(const wchar_t* text, size_t count, CodePage codePage) {
    if (!text || count == 0 || count > INT_MAX)
        return std::string();
    const UINT cp = ToWindowsCodePage(codePage);
    int needed = ::WideCharToMultiByte(cp, 0, text, static_cast<int>(count), nullptr, 0, nullptr,
                                       nullptr);
    if (needed <= 0)
        return std::string();
    std::string bytes(static_cast<size_t>(needed), '\0');
    int written = ::WideCharToMultiByte(cp, 0, text, static_cast<int>(count), &bytes[0], needed,
                                        nullptr, nullptr);
    if (written <= 0)
        return std::string();
    bytes.resize(static_cast<size_t>(written));
    return bytes;
}
