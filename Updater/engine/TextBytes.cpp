#include "TextBytes.h"

#include "system/TextCodec.h"

#include <cwchar>

std::string WideToUtf8(const std::wstring& text) {
    return WideToBytes(text.c_str(), std::wcslen(text.c_str()), CodePage::Utf8);
}
