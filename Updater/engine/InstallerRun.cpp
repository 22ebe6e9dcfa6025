#include "engine/UpdateEngine.h"

#include "catalogue/Product.h"
#include "engine/ProgramRun.h"
#include "engine/RunningInstallers.h"
#include "engine/StateFolder.h"
#include "engine/WaitLimits.h"
#include "log/LogText.h"
#include "log/Logger.h"

#include <windows.h>

namespace {

// Exit codes of a successful install that asks for a restart of Windows.
const unsigned long kRestartRequired = 3010;
const unsigned long kRestartInitiated = 1641;

// The record of the product's installer, written before it runs any of its
// code and removed once it has ended.
class CInstallerRecord : public CProcessStartWatch {
public:
    explicit CInstallerRecord(const std::wstring& intname)
        : m_record(StateFilePath(kRunningInstallersFile)), m_intname(intname) {}
    ~CInstallerRecord() {
        if (m_recorded)
            m_record.Forget(m_intname);
    }
    bool OnStarted(uint32_t processId, uint64_t created) override {
        m_recorded = m_record.Record(m_intname, processId, created);
        if (m_recorded)
            return true;
        // A later check could not tell that it still runs, and would write
        // its journal back underneath it.
        Logger::LogRef log;
        log->Write(L"Failed to record the running installer of %s\n", ForLog(m_intname).c_str());
        return false;
    }

private:
    CRunningInstallers m_record;
    std::wstring m_intname;
    bool m_recorded = false;
};

}  // namespace

InstallerEnd CUpdateEngine::RunInstaller(const CProduct& product, const std::wstring& installer,
                                         const std::wstring& tempFolder) {
    Logger::LogRef log;
    CInstallerRecord record(product.intname);
    // A bootstrapper that starts the real setup and exits has not installed
    // anything yet: the install is over when all of its processes are.
    ProcessRun run = RunProgramWithLimit(installer, L"/verysilent", GetWaitLimits().installerMs,
                                         ChildProcesses::kWaitedFor, false, tempFolder, &record);
    switch (run.outcome) {
    case ProcessRun::kNotStarted:
        log->Write(L"Failed to start installer %u\n", static_cast<unsigned>(run.error));
        return InstallerEnd{ReportResult::kFailed, static_cast<uint32_t>(run.error)};
    case ProcessRun::kStopped:
        log->Write(L"Installer did not finish in 30 minutes and was stopped\n");
        return InstallerEnd{ReportResult::kTimedOut, 0};
    case ProcessRun::kExited:
        break;
    }
    const uint32_t code = static_cast<uint32_t>(run.exitCode);
    if (run.exitCode == 0 || run.exitCode == kRestartRequired || run.exitCode == kRestartInitiated)
        return InstallerEnd{ReportResult::kInstalled, code};
    log->Write(L"Installer failed with exit code %u\n", static_cast<unsigned>(run.exitCode));
    return InstallerEnd{ReportResult::kFailed, code};
}
