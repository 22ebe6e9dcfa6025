#include "engine/StateFolder.h"

#include "catalogue/ProductStore.h"
#include "engine/StateTable.h"
#include "log/Logger.h"
#include "system/Folders.h"

const wchar_t kInstallFailuresFile[] = L"InstallFailures.txt";
const wchar_t kIssuedTimesFile[] = L"ManifestsIssued.txt";
const wchar_t kRunningInstallersFile[] = L"RunningInstallers.txt";
const wchar_t kMachineIdFile[] = L"MachineId.txt";

std::wstring StateFolder() {
    return GetParentFolder(CProductStore().CheckedProductsPath());
}

std::wstring StateFilePath(const std::wstring& name) {
    const std::wstring folder = StateFolder();
    return folder.empty() ? std::wstring() : JoinPath(folder, name);
}

void LogStateFileRead(const CStateTable& table, const wchar_t* setAside,
                      const wchar_t* unreadable) {
    if (table.GetState() == CStateTable::kRepaired) {
        Logger::LogRef log;
        log->Write(setAside, DamagedStatePath(table.Path()).c_str());
    } else if (table.GetState() == CStateTable::kUnusable && !table.Path().empty()) {
        Logger::LogRef log;
        log->Write(unreadable, table.Path().c_str());
    }
}
