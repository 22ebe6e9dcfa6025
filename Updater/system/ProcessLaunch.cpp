#include "system/ProcessLaunch.h"

#include "common/Handles.h"
#include "system/EnvironmentBlock.h"
#include "system/Folders.h"
#include "system/ProcessKill.h"

#include <wtsapi32.h>

#include <utility>
#include <vector>

namespace {

// "\"program\" arguments" in a writable, terminated buffer, as process
// creation may write into it.
std::vector<wchar_t> BuildCommandLine(const std::wstring& program, const std::wstring& arguments) {
    std::wstring text = L"\"" + program + L"\" " + arguments;
    return std::vector<wchar_t>(text.c_str(), text.c_str() + text.size() + 1);
}

// The caller's environment with TEMP and TMP naming folder.
std::vector<wchar_t> EnvironmentWithTemp(const std::wstring& folder) {
    wchar_t* current = ::GetEnvironmentStringsW();
    std::vector<wchar_t> block = EnvironmentWithTempFolder(current, folder);
    if (current)
        ::FreeEnvironmentStringsW(current);
    return block;
}

// Starts program as the token's user (null: the caller) with the given
// creation flags; the desktop only for another user. A tempFolder that is
// not empty becomes its TEMP and TMP. False with the system error in
// GetLastError when it can't be started.
bool Start(HANDLE token, const std::wstring& program, const std::wstring& arguments, DWORD flags,
           PROCESS_INFORMATION& pi, const std::wstring& tempFolder = std::wstring()) {
    std::vector<wchar_t> commandLine = BuildCommandLine(program, arguments);
    std::vector<wchar_t> environment;
    if (!tempFolder.empty()) {
        environment = EnvironmentWithTemp(tempFolder);
        flags |= CREATE_UNICODE_ENVIRONMENT;
    }
    void* block = environment.empty() ? nullptr : environment.data();
    std::wstring folder = GetParentFolder(program);
    const wchar_t* workDir = folder.empty() ? nullptr : folder.c_str();
    wchar_t desktop[] = L"winsta0\\default";
    STARTUPINFOW si;
    ::ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    ::ZeroMemory(&pi, sizeof pi);
    bool started;
    if (token) {
        si.lpDesktop = desktop;
        started = ::CreateProcessAsUserW(token, program.c_str(), commandLine.data(), nullptr,
                                         nullptr, FALSE, flags, block, workDir, &si, &pi) != FALSE;
    } else {
        started = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                   flags, block, workDir, &si, &pi) != FALSE;
    }
    // Wine starts a program of the machine it runs on by itself and reports
    // success without a process handle, leaving whatever its stack held as
    // the thread handle: no handle of ours, never to be closed.
    if (started && !pi.hProcess)
        pi.hThread = nullptr;
    return started;
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

// The calling thread's last system error, never 0: a failure must not read
// as success.
DWORD FailureCode() {
    DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

// A new job whose processes may leave it as children says; 0, or the
// system error for which it can't be had.
DWORD MakeJob(ChildProcesses children, UniqueHandle& job) {
    UniqueHandle made(::CreateJobObjectW(nullptr, nullptr));
    if (!made)
        return FailureCode();
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ::ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = children == ChildProcesses::kSetFree
                                                  ? JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK
                                                  : JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!::SetInformationJobObject(made.Get(), JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits))
        return FailureCode();
    job = std::move(made);
    return 0;
}

// The suspended process put into a new job. Where the system refuses (on
// Windows 7 and earlier when the Updater runs in a job that allows no
// nested one), a second copy is started outside the Updater's job and takes
// the first one's place. 0, or the system error for which there is no job.
DWORD PutInJob(HANDLE token, const std::wstring& program, const std::wstring& arguments,
               const std::wstring& tempFolder, ChildProcesses children, UniqueHandle& process,
               UniqueHandle& thread, UniqueHandle& job) {
    DWORD error = MakeJob(children, job);
    if (error != 0)
        return error;
    if (::AssignProcessToJobObject(job.Get(), process.Get()))
        return 0;
    PROCESS_INFORMATION pi;
    if (!Start(token, program, arguments, CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB, pi,
               tempFolder)) {
        error = FailureCode();
        job.Reset();
        return error;
    }
    UniqueHandle away(pi.hProcess);
    UniqueHandle awayThread(pi.hThread);
    if (!::AssignProcessToJobObject(job.Get(), away.Get())) {
        error = FailureCode();
        ::TerminateProcess(away.Get(), ERROR_CANCELLED);
        job.Reset();
        return error;
    }
    // Never resumed, the first copy has run none of the program's code.
    ::TerminateProcess(process.Get(), ERROR_CANCELLED);
    process = std::move(away);
    thread = std::move(awayThread);
    return 0;
}

// Milliseconds since start, a GetTickCount reading, across its wrap.
DWORD Elapsed(DWORD start) { return ::GetTickCount() - start; }

// Waits until no process is left in the job, but at most until limitMs after
// start; false when some are still running then, or the count could not be
// read.
bool WaitForEmptyJob(HANDLE job, DWORD start, DWORD limitMs) {
    // The count is read rather than awaited through a completion port: it
    // is all that is wanted, and reading it works alike wherever jobs do.
    const DWORD kPollMs = 100;
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting;
        // A count that can't be read is no empty job: what is restored
        // after the wait must not be restored under a setup still running.
        // It is read again until the limit.
        if (::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                        sizeof accounting, nullptr) &&
            accounting.ActiveProcesses == 0)
            return true;
        DWORD elapsed = Elapsed(start);
        if (elapsed >= limitMs)
            return false;
        ::Sleep(limitMs - elapsed < kPollMs ? limitMs - elapsed : kPollMs);
    }
}

// Ends what runs past the limit: the job, or without one the program with
// what it started, where those are its own to end.
void Stop(HANDLE job, HANDLE process, ChildProcesses children) {
    if (job)
        ::TerminateJobObject(job, ERROR_TIMEOUT);
    else if (children != ChildProcesses::kSetFree)
        TerminateProcessTree(::GetProcessId(process), ERROR_TIMEOUT);
    ::TerminateProcess(process, ERROR_TIMEOUT);
    ::WaitForSingleObject(process, 10000);
}

// Started suspended, put into a new job, resumed, waited for at most limitMs.
ProcessRun RunInJob(HANDLE token, const std::wstring& program, const std::wstring& arguments,
                    const std::wstring& tempFolder, unsigned long limitMs,
                    ChildProcesses children, CProcessStartWatch* watch) {
    ProcessRun run = {ProcessRun::kNotStarted, 0, 0, true, 0};
    PROCESS_INFORMATION pi;
    if (!Start(token, program, arguments, CREATE_SUSPENDED, pi, tempFolder)) {
        run.error = ::GetLastError();
        return run;
    }
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    UniqueHandle job;
    DWORD jobError =
        PutInJob(token, program, arguments, tempFolder, children, process, thread, job);
    if (jobError != 0) {
        run.inJob = false;
        run.jobError = jobError;
    }
    uint64_t created = 0;
    if (watch && (!GetProcessCreationTime(process.Get(), created) ||
                  !watch->OnStarted(::GetProcessId(process.Get()), created))) {
        // Never resumed, it has run none of the program's code.
        run.error = ERROR_CANCELLED;
        ::TerminateProcess(process.Get(), ERROR_CANCELLED);
        return run;
    }
    if (::ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        run.error = ::GetLastError();
        ::TerminateProcess(process.Get(), ERROR_CANCELLED);
        return run;
    }
    thread.Reset();

    DWORD start = ::GetTickCount();
    if (::WaitForSingleObject(process.Get(), limitMs) != WAIT_OBJECT_0 ||
        (job && children == ChildProcesses::kWaitedFor &&
         !WaitForEmptyJob(job.Get(), start, limitMs))) {
        Stop(job.Get(), process.Get(), children);
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
                               unsigned long limitMs, ChildProcesses children,
                               const std::wstring& tempFolder, CProcessStartWatch* watch) {
    return RunInJob(nullptr, program, arguments, tempFolder, limitMs, children, watch);
}

ProcessRun RunProcessAsActiveUserWithLimit(const std::wstring& program,
                                           const std::wstring& arguments, unsigned long limitMs,
                                           ChildProcesses children) {
    UniqueHandle token;
    if (!QueryConsoleUserToken(token)) {
        ProcessRun run = {ProcessRun::kNotStarted, 0, ::GetLastError(), true, 0};
        return run;
    }
    return RunInJob(token.Get(), program, arguments, std::wstring(), limitMs, children, nullptr);
}
