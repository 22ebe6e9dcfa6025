#include "system/ProcessKill.h"

#include "common/Handles.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// A process of the tree, held open so that its id stays its own.
struct TreeMember {
    DWORD id;
    UniqueHandle process;
    uint64_t created;
};

// Opens the process for ending and reading its times; false when it can't.
bool OpenMember(DWORD id, TreeMember& member) {
    UniqueHandle process(
        ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, id));
    uint64_t created = 0;
    if (!process || !GetProcessCreationTime(process.Get(), created))
        return false;
    member.id = id;
    member.process = std::move(process);
    member.created = created;
    return true;
}

// Every listed process as (id, parent id); empty when the list can't be had.
std::vector<std::pair<DWORD, DWORD>> ListProcesses() {
    std::vector<std::pair<DWORD, DWORD>> list;
    UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return list;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry))
        list.push_back(std::make_pair(entry.th32ProcessID, entry.th32ParentProcessID));
    return list;
}

// Base name of the open process's executable module, or "<unknown>".
std::wstring NameOf(HANDLE process) {
    wchar_t name[MAX_PATH] = L"<unknown>";
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (process && ::EnumProcessModules(process, &module, sizeof module, &needed)) {
        wchar_t base[MAX_PATH] = {0};
        if (::GetModuleBaseNameW(process, module, base, MAX_PATH) > 0)
            ::lstrcpynW(name, base, MAX_PATH);
    }
    return name;
}

}  // namespace

bool GetProcessCreationTime(void* process, uint64_t& created) {
    FILETIME creation, exit, kernel, user;
    if (!::GetProcessTimes(process, &creation, &exit, &kernel, &user))
        return false;
    created = (static_cast<uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
    return true;
}

bool IsProcessRunning(uint32_t processId, uint64_t created) {
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                       processId));
    uint64_t actual = 0;
    return process && GetProcessCreationTime(process.Get(), actual) && actual == created &&
           ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

std::wstring GetProcessName(uint32_t processId) {
    UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    return NameOf(process.Get());
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
    // Each process is named and ended through one handle: an id looked up
    // again could by then belong to another process.
    std::vector<UniqueHandle> matched;
    for (DWORD i = 0; i < count; ++i) {
        if (ids[i] == 0)
            continue;
        UniqueHandle process(::OpenProcess(
            PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE, FALSE, ids[i]));
        // One it may not end, or not even open ("<unknown>"), still counts
        // when its name matches.
        if (!process)
            process.Reset(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
        if (::lstrcmpiW(NameOf(process.Get()).c_str(), name.c_str()) == 0)
            matched.push_back(std::move(process));
    }
    for (const UniqueHandle& process : matched)
        if (process)
            ::TerminateProcess(process.Get(), 0);
    return static_cast<int>(matched.size());
}

int TerminateProcessTree(uint32_t processId, uint32_t exitCode) {
    std::vector<TreeMember> tree(1);
    if (!OpenMember(processId, tree[0]))
        return 0;
    std::vector<std::pair<DWORD, DWORD>> list = ListProcesses();
    // Breadth first: each member's children are appended behind it.
    for (size_t i = 0; i < tree.size(); ++i) {
        for (const std::pair<DWORD, DWORD>& entry : list) {
            if (entry.second != tree[i].id || entry.first == tree[i].id || entry.first == 0)
                continue;
            TreeMember child;
            if (OpenMember(entry.first, child) && child.created >= tree[i].created &&
                !std::any_of(tree.begin(), tree.end(),
                             [&](const TreeMember& m) { return m.id == child.id; }))
                tree.push_back(std::move(child));
        }
    }
    int ended = 0;
    for (const TreeMember& member : tree)
        if (::TerminateProcess(member.process.Get(), exitCode))
            ++ended;
    return ended;
}
