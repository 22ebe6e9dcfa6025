#include "engine/ProgramRun.h"

#include "log/Logger.h"

ProcessRun RunProgramWithLimit(const std::wstring& program, const std::wstring& arguments,
                               unsigned long limitMs, ChildProcesses children,
                               bool asConsoleUser, const std::wstring& tempFolder,
                               CProcessStartWatch* watch) {
    ProcessRun run =
        asConsoleUser
            ? RunProcessAsActiveUserWithLimit(program, arguments, limitMs, children)
            : RunProcessWithLimit(program, arguments, limitMs, children, tempFolder, watch);
    if (run.outcome != ProcessRun::kNotStarted && !run.inJob) {
        Logger::LogRef log;
        log->Write(L"Failed to put %s in a job %u\n", program.c_str(),
                   static_cast<unsigned>(run.jobError));
    }
    return run;
}
