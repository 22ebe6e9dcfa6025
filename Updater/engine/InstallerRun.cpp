#include "engine/UpdateEngine.h"

#include "engine/ProgramRun.h"
#include "engine/WaitLimits.h"
#include "log/Logger.h"

namespace {

// Exit codes of a successful install that asks for a restart of Windows.
const unsigned long kRestartRequired = 3010;
const unsigned long kRestartInitiated = 1641;

}  // namespace

bool CUpdateEngine::RunInstaller(const std::wstring& installer, const std::wstring& tempFolder) {
    Logger::LogRef log;
    // A bootstrapper that starts the real setup and exits has not installed
    // anything yet: the install is over when all of its processes are.
    ProcessRun run = RunProgramWithLimit(installer, L"/verysilent", GetWaitLimits().installerMs,
                                         ChildProcesses::kWaitedFor, false, tempFolder);
    switch (run.outcome) {
    case ProcessRun::kNotStarted:
        log->Write(L"Failed to start installer %u\n", static_cast<unsigned>(run.error));
        return false;
    case ProcessRun::kStopped:
        log->Write(L"Installer did not finish in 30 minutes and was stopped\n");
        return false;
    case ProcessRun::kExited:
        break;
    }
    if (run.exitCode == 0 || run.exitCode == kRestartRequired || run.exitCode == kRestartInitiated)
        return true;
    log->Write(L"Installer failed with exit code %u\n", static_cast<unsigned>(run.exitCode));
    return false;
}
