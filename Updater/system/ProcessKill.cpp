#include "system/ProcessKill.h"

#include "Handles.h"

#include <psapi.h>

#include <vector>

std::wstring GetProcessName(uint32_t processId) {
    wchar_t name[MAX_PATH] = L"<unknown>";
    UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (process) {
        HMODULE module = nullptr;
        DWORD needed = 0;
        if (::EnumProcessModules(process.Get(), &module, sizeof module, &needed)) {
            wchar_t base[MAX_PATH] = {0};
            if (::GetModuleBaseNameW(process.Get(), module, base, MAX_PATH) > 0)
                ::lstrcpynW(name, base, MAX_PATH);
        }
    }
    return name;
}

bool TerminateProcessById(uint32_t processId) {
    UniqueHandle process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId));
    if (!process)
        return false;
    return ::TerminateProcess(process.Get(), 0) != FALSE;
}

int KillProcessesByName(const std::wstring& name) {
    DWORD ids[1024];
    DWORD bytes = 0;
    if (!::EnumProcesses(ids, sizeof ids, &bytes))
        return 0;
    const DWORD count = bytes / sizeof(DWORD);
    std::vector<DWORD> matched;
    for (DWORD i = 0; i < count; ++i) {
        if (ids[i] != 0 && ::lstrcmpiW(GetProcessName(ids[i]).c_str(), name.c_str()) == 0)
            matched.push_back(ids[i]);
    }
    for (DWORD id : matched)
        TerminateProcessById(id);
    return static_cast<int>(matched.size());
}
