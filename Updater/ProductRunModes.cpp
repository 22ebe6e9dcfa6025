#include "ProductRunModes.h"

#include "Logger.h"
#include "engine/Registry.h"
#include "system/Identity.h"
#include "system/RunContext.h"
#include "system/SchedulerTasks.h"

namespace {

const wchar_t kUpdaterIdKey[] = L"Software\\QuillMarrow\\Updater";
const wchar_t kUpdaterIdValue[] = L"UserID";

}  // namespace

void RunAddTask(const std::wstring&) {
    Logger::LogRef log;
    // The local system account has no task of its own; it runs update-sys.
    if (IsLocalSystem())
        return;
    CSchedulerTasks tasks;
    if (tasks.AddUserTask())
        log->Write(L"Scheduller task added\n");
    else
        log->Write(L"Failed to add scheduller task\n");
}

void RunDelTask(const std::wstring&) {
    Logger::LogRef log;
    CSchedulerTasks tasks;
    if (tasks.DeleteUserTask())
        log->Write(L"Scheduller task deleted\n");
    else
        log->Write(L"Failed to delete scheduller task");
}

void RunAddSysTask(const std::wstring&) {
    Logger::LogRef log;
    if (!IsAdministrator())
        return;
    CSchedulerTasks tasks;
    if (tasks.AddSystemTask())
        log->Write(L"Scheduller SYS task added\n");
    else
        log->Write(L"Failed to add SYS scheduller task!\n");

    std::wstring id = CreateGuidString();
    CRegistry registry(CRegistry::kCreateIfMissing | CRegistry::kNoCache);
    registry.Open(kUpdaterIdKey, HKEY_LOCAL_MACHINE, KEY_SET_VALUE);
    registry.GetEntry(kUpdaterIdValue)->SetText(id.c_str());
    registry.Close();
    log->Write(L"Updater id set to %s!\n", id.c_str());
}

void RunDelSysTask(const std::wstring&) {
    Logger::LogRef log;
    CSchedulerTasks tasks;
    if (tasks.DeleteSystemTask())
        log->Write(L"Scheduller SYS task deleted\n");
    else
        log->Write(L"Failed to delete SYS scheduller task\n");

    CRegistry registry(CRegistry::kCreateIfMissing | CRegistry::kNoCache);
    registry.Open(kUpdaterIdKey, HKEY_LOCAL_MACHINE, KEY_SET_VALUE);
    registry.GetEntry(kUpdaterIdValue)->Delete();
    registry.Close();
}

void RunUninstall(const std::wstring&) {
    Logger::LogRef log;
    log->Write(L"Uninstalling...\n");
    log->Write(L"Removing all our tasks...\n");
    CSchedulerTasks tasks;
    tasks.DeleteAllTasks();
}
