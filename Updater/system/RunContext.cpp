#include "system/RunContext.h"

#include "system/SidText.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

bool IsLocalSystem() {
    return ::lstrcmpiW(GetProcessUserSidString().c_str(), kLocalSystemSid) == 0;
}

std::wstring GetExePath() {
    wchar_t path[MAX_PATH] = {0};
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::wstring();
    return path;
}

std::wstring GetExeFolder() {
    wchar_t path[MAX_PATH] = {0};
    std::wstring exe = GetExePath();
    if (exe.empty())
        return std::wstring();
    ::lstrcpynW(path, exe.c_str(), MAX_PATH);
    ::PathRemoveFileSpecW(path);
    return path;
}

std::wstring GetExeParentFolder() {
    std::wstring up = GetExeFolder();
    if (up.empty())
        return std::wstring();
    up += L"\\..";
    wchar_t canonical[MAX_PATH] = {0};
    if (up.size() >= MAX_PATH || !::PathCanonicalizeW(canonical, up.c_str()))
        return std::wstring();
    return canonical;
}

std::wstring GetLocalAppDataFolder() {
    wchar_t path[MAX_PATH] = {0};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                  SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}
