#include "updateserver/HostPrograms.h"

#include "testsupport/TestSupport.h"
#include "updateserver/UpdateServer.h"

#include <windows.h>

#include <cstdlib>

namespace testsupport {

std::string UnixArg(const std::wstring& windowsPath) {
    return "\"" + UnixPath(windowsPath) + "\"";
}

// Wine starts such a program but gives no handle to wait on or read its exit
// code from, so a shell script runs it and leaves the code in a file beside
// it.
int RunUnixProgram(const std::wstring& name, const std::string& arguments) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring base = std::wstring(temp) + L"qm-unix-run-" +
                              std::to_wstring(::GetCurrentProcessId());
    const std::wstring script = base + L".sh", done = base + L".done";
    ::DeleteFileW(done.c_str());
    const std::string doneUnix = UnixPath(done);
    if (!WriteFileBytes(script, "/usr/bin/" + Narrow(name) + " " + arguments + "\n" +
                                    "echo $? > '" + doneUnix + ".tmp' && mv '" + doneUnix +
                                    ".tmp' '" + doneUnix + "'\n"))
        return -1;
    HANDLE started = StartProcess(L"Z:\\bin\\sh", Widen(UnixArg(script)), L"");
    if (started)
        ::CloseHandle(started);
    std::string code;
    for (int waited = 0; waited < 120000 && !ReadFileBytes(done, code); waited += 50)
        ::Sleep(50);
    ::DeleteFileW(script.c_str());
    ::DeleteFileW(done.c_str());
    return code.empty() ? -1 : std::atoi(code.c_str());
}

bool CanStart(const std::wstring& program) {
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                          CREATE_SUSPENDED, nullptr, nullptr, &si, &pi))
        return false;
    ::TerminateProcess(pi.hProcess, 1);
    ::WaitForSingleObject(pi.hProcess, 10000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

}  // namespace testsupport
