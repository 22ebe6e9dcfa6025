#include "system/FileWrite.h"

#include "common/Handles.h"
#include "common/TextNumbers.h"

#include <climits>

namespace {

bool WriteAllAndFlush(const std::wstring& path, const std::string& bytes) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD count = 0;
    return file &&
           ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count,
                       nullptr) &&
           count == bytes.size() && ::FlushFileBuffers(file.Get());
}

}  // namespace

std::wstring TemporarySiblingPath(const std::wstring& path) {
    return path + L"." + DecimalText(::GetCurrentProcessId()) + L".tmp";
}

bool ReplaceFileWith(const std::wstring& source, const std::wstring& target) {
    const int kAttempts = 40;
    const DWORD kRetryMs = 50;
    // A read-only file is not replaced (Windows refuses it; Wine would not).
    const DWORD targetAttributes = ::GetFileAttributesW(target.c_str());
    if (targetAttributes != INVALID_FILE_ATTRIBUTES &&
        (targetAttributes & FILE_ATTRIBUTE_READONLY))
        return false;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (::MoveFileExW(source.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = ::GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
            error != ERROR_LOCK_VIOLATION)
            return false;
        if (::GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES)
            return false;
        ::Sleep(kRetryMs);
    }
    return false;
}

bool WriteFileDurably(const std::wstring& path, const std::string& bytes) {
    if (bytes.size() > static_cast<size_t>(UINT_MAX))
        return false;
    const std::wstring temporary = TemporarySiblingPath(path);
    if (WriteAllAndFlush(temporary, bytes) && ReplaceFileWith(temporary, path))
        return true;
    ::DeleteFileW(temporary.c_str());
    return false;
}

bool RemoveFileIfPresent(const std::wstring& path) {
    if (::DeleteFileW(path.c_str()))
        return true;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}
