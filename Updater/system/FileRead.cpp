#include "system/FileRead.h"

#include "common/Handles.h"

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    return ReadFileIfPresent(path, bytes) == FileReadResult::kRead;
}

FileReadResult ReadFileIfPresent(const std::wstring& path, std::string& bytes) {
    // Sharing delete too: a writer may put a new file in place meanwhile.
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? FileReadResult::kAbsent
                   : FileReadResult::kFailed;
    }
    std::string content;
    char buffer[16384];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr))
            return FileReadResult::kFailed;
        if (got == 0)
            break;
        content.append(buffer, got);
    }
    bytes.swap(content);
    return FileReadResult::kRead;
}
