#include "ProcessLaunch.h"

#include "Folders.h"
#include "Handles.h"

#include <wtsapi32.h>

#include <vector>

namespace {

// "\"program\" arguments" in a writable, terminated buffer, as process
// creation may write into it.
std::vector<wchar_t> BuildCommandLine(const std::wstring& program, const std::wstring& arguments) {
    std::wstring text = L"\"" + program + L"\" " + arguments;
    return std::vector<wchar_t>(text.c_str(), text.c_str() + text.size() + 1);
}

// Takes over the handles of a created process; waits for its end if asked.
bool FinishStart(const PROCESS_INFORMATION& pi, bool wait) {
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    if (wait)
        ::WaitForSingleObject(process.Get(), INFINITE);
    return true;
}

}  // namespace

bool RunProcess(const std::wstring& program, const std::wstring& arguments, bool wait) {
    std::vector<wchar_t> commandLine = BuildCommandLine(program, arguments);
    std::wstring folder = GetParentFolder(program);
    STARTUPINFOW si;
    ::ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    ::ZeroMemory(&pi, sizeof pi);
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return false;
    return FinishStart(pi, wait);
}

bool RunProcessAndWait(const std::wstring& program, const std::wstring& arguments) {
    return RunProcess(program, arguments, true);
}

bool RunProcessAsActiveUser(const std::wstring& program, const std::wstring& arguments, bool wait) {
    DWORD session = ::WTSGetActiveConsoleSessionId();
    UniqueHandle token;
    if (session == 0xFFFFFFFF || !::WTSQueryUserToken(session, token.Put()))
        return false;
    std::vector<wchar_t> commandLine = BuildCommandLine(program, arguments);
    std::wstring folder = GetParentFolder(program);
    wchar_t desktop[] = L"winsta0\\default";
    STARTUPINFOW si;
    ::ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.lpDesktop = desktop;
    PROCESS_INFORMATION pi;
    ::ZeroMemory(&pi, sizeof pi);
    if (!::CreateProcessAsUserW(token.Get(), program.c_str(), commandLine.data(), nullptr, nullptr,
                                FALSE, 0, nullptr, folder.empty() ? nullptr : folder.c_str(), &si,
                                &pi))
        return false;
    return FinishStart(pi, wait);
}

bool RunProcessAsActiveUserAndWait(const std::wstring& program, const std::wstring& arguments) {
    return RunProcessAsActiveUser(program, arguments, true);
}
