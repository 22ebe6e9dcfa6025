#include "system/Folders.h"

#include "system/RunContext.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace {

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {0};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                  path)))
        return std::wstring();
    return path;
}

}  // namespace

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty() || folder.back() == L'\\')
        return folder + name;
    return folder + L"\\" + name;
}

std::wstring GetExeFileName() {
    std::wstring exe = GetExePath();
    return ::PathFindFileNameW(exe.c_str());
}

std::wstring GetExePathInParentFolder() {
    return JoinPath(GetExeParentFolder(), GetExeFileName());
}

std::wstring GetSystemFolder() {
    return ShellFolder(CSIDL_SYSTEM);
}

std::wstring GetCommonAppDataPath(const std::wstring& name) {
    return JoinPath(ShellFolder(CSIDL_COMMON_APPDATA), name);
}

std::wstring GetTempFolder() {
    wchar_t path[MAX_PATH] = {0};
    DWORD n = ::GetTempPathW(MAX_PATH, path);
    if (n == 0 || n >= MAX_PATH)
        return std::wstring();
    return path;
}

std::wstring GetTempFilePath(const std::wstring& name) {
    return JoinPath(GetTempFolder(), name);
}

std::wstring GetParentFolder(const std::wstring& path) {
    if (path.size() >= MAX_PATH)
        return std::wstring();
    wchar_t buffer[MAX_PATH] = {0};
    ::lstrcpynW(buffer, path.c_str(), MAX_PATH);
    ::PathRemoveFileSpecW(buffer);
    return buffer;
}
