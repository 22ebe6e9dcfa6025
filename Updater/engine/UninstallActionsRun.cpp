#include "engine/UpdateEngine.h"

#include "catalogue/Product.h"
#include "engine/ProgramRun.h"
#include "engine/WaitLimits.h"
#include "log/Logger.h"
#include "system/Folders.h"
#include "system/ProcessKill.h"

#include <windows.h>
#include <shlwapi.h>

namespace {

// folder joined with name the way the products file's relative names are
// meant: one backslash between them, in a 260-character buffer.
std::wstring AppendPath(const std::wstring& folder, const std::wstring& name) {
    wchar_t path[MAX_PATH] = {0};
    ::lstrcpynW(path, folder.c_str(), MAX_PATH);
    if (!::PathAppendW(path, name.c_str()))
        return std::wstring();
    return path;
}

// Runs one program of an action; one that hangs (waiting for input nobody
// can give) is ended after the limit, so that it can't hold the check.
void RunActionProgram(const std::wstring& program, const std::wstring& arguments) {
    ProcessRun run = RunProgramWithLimit(program, arguments, GetWaitLimits().uninstallProgramMs,
                                         ChildProcesses::kEndedAtLimit);
    if (run.outcome != ProcessRun::kStopped)
        return;
    Logger::LogRef log;
    log->Write(L"Uninstall program %s did not finish in 10 minutes and was stopped\n",
               program.c_str());
}

}  // namespace

void CUpdateEngine::PerformUninstallActions(const CProduct& product) {
    // The version being replaced: the one recorded in the products file.
    std::wstring versionFolder = AppendPath(product.productdir, product.version);
    for (const CAction* action : product.m_UnistallActions.m_Actions) {
        if (action->file.empty())
            continue;
        if (action->type == L"unregsvr") {
            std::wstring target = AppendPath(versionFolder, action->file);
            std::wstring regsvr = AppendPath(GetSystemFolder(), L"regsvr32.exe");
            RunActionProgram(regsvr, L"/s /u \"" + target + L"\"");
        } else if (action->type == L"unregexe") {
            RunActionProgram(AppendPath(versionFolder, action->file), L"/unregserver");
        } else if (action->type == L"kill") {
            KillProcessesByName(action->file);
        } else if (action->type == L"run") {
            RunActionProgram(AppendPath(versionFolder, action->file), action->param);
        }
    }
}
