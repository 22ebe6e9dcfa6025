#include "TextBytes.h"

#include "Handles.h"
#include "system/TextCodec.h"

#include <cwchar>

std::string WideToUtf8(const std::wstring& text) {
    return WideToBytes(text.c_str(), std::wcslen(text.c_str()), CodePage::Utf8);
}

void WriteBytesToFile(const std::wstring& path, const std::string& bytes) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    DWORD written = 0;
    ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
