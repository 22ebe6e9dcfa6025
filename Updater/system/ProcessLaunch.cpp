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

// Starts program as the token's user (null: the caller) with the given
// creation flags; the desktop only for another user. False with the system
// error in GetLastError when it can't be started.
bool Start(HANDLE token, const std::wstring& program, const std::wstring& arguments, DWORD flags,
           PROCESS_INFORMATION& pi) {
    std::vector<wchar_t> commandLine = BuildCommandLine(program, arguments);
    std::wstring folder = GetParentFolder(program);
    const wchar_t* workDir = folder.empty() ? nullptr : folder.c_str();
    wchar_t desktop[] = L"winsta0\\default";
    STARTUPINFOW si;
    ::ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    ::ZeroMemory(&pi, sizeof pi);
    if (!token)
        return ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags,
                                nullptr, workDir, &si, &pi) != FALSE;
    si.lpDesktop = desktop;
    return ::CreateProcessAsUserW(token, program.c_str(), commandLine.data(), nullptr, nullptr,
                                  FALSE, flags, nullptr, workDir, &si, &pi) != FALSE;
}

// Takes over the handles of a created process; waits for its end if asked.
bool FinishStart(const PROCESS_INFORMATION& pi, bool wait) {
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    if (wait)
        ::WaitForSingleObject(process.Get(), INFINITE);
    return true;
}

// The console user's token; false when there is none to be had.
bool QueryConsoleUserToken(UniqueHandle& token) {
    DWORD session = ::WTSGetActiveConsoleSessionId();
    return session != 0xFFFFFFFF && ::WTSQueryUserToken(session, token.Put());
}

// Started suspended, put into a new job, resumed, waited for at most limitMs.
ProcessRun RunInJob(HANDLE token, const std::wstring& program, const std::wstring& arguments,
                    unsigned long limitMs) {
    ProcessRun run = {ProcessRun::kNotStarted, 0, 0};
    PROCESS_INFORMATION pi;
    if (!Start(token, program, arguments, CREATE_SUSPENDED, pi)) {
        run.error = ::GetLastError();
        return run;
    }
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    // Where the Updater itself runs in a job that allows no other, the
    // program runs without one and only it can be ended.
    UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (job && !::AssignProcessToJobObject(job.Get(), process.Get()))
        job.Reset();
    if (::ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        run.error = ::GetLastError();
        ::TerminateProcess(process.Get(), ERROR_CANCELLED);
        return run;
    }
    thread.Reset();

    if (::WaitForSingleObject(process.Get(), limitMs) != WAIT_OBJECT_0) {
        if (job)
            ::TerminateJobObject(job.Get(), ERROR_TIMEOUT);
        ::TerminateProcess(process.Get(), ERROR_TIMEOUT);
        ::WaitForSingleObject(process.Get(), 10000);
        run.outcome = ProcessRun::kStopped;
        return run;
    }
    // An exit code that can't be read is no proof of success.
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.Get(), &code))
        code = kUnknownExitCode;
    run.outcome = ProcessRun::kExited;
    run.exitCode = code;
    return run;
}

}  // namespace

bool RunProcess(const std::wstring& program, const std::wstring& arguments, bool wait) {
    PROCESS_INFORMATION pi;
    if (!Start(nullptr, program, arguments, 0, pi))
        return false;
    return FinishStart(pi, wait);
}

bool RunProcessAndWait(const std::wstring& program, const std::wstring& arguments) {
    return RunProcess(program, arguments, true);
}

bool RunProcessAsActiveUser(const std::wstring& program, const std::wstring& arguments, bool wait) {
    UniqueHandle token;
    PROCESS_INFORMATION pi;
    if (!QueryConsoleUserToken(token) || !Start(token.Get(), program, arguments, 0, pi))
        return false;
    return FinishStart(pi, wait);
}

bool RunProcessAsActiveUserAndWait(const std::wstring& program, const std::wstring& arguments) {
    return RunProcessAsActiveUser(program, arguments, true);
}

ProcessRun RunProcessWithLimit(const std::wstring& program, const std::wstring& arguments,
                               unsigned long limitMs) {
    return RunInJob(nullptr, program, arguments, limitMs);
}

ProcessRun RunProcessAsActiveUserWithLimit(const std::wstring& program,
                                           const std::wstring& arguments, unsigned long limitMs) {
    UniqueHandle token;
    if (!QueryConsoleUserToken(token)) {
        ProcessRun run = {ProcessRun::kNotStarted, 0, ::GetLastError()};
        return run;
    }
    return RunInJob(token.Get(), program, arguments, limitMs);
}
