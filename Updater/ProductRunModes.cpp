#include "ProductRunModes.h"

#include "catalogue/ProductStore.h"
#include "engine/Registry.h"
#include "engine/UpdaterId.h"
#include "log/Logger.h"
#include "system/Identity.h"
#include "system/RunContext.h"
#include "system/SchedulerTasks.h"

int RunAddProduct(const std::wstring& infoPath) {
    Logger::LogRef log;
    if (infoPath.empty())
        return 1;
    log->Write(L"Adding product: %s\n", infoPath.c_str());
    CProductStore store;
    HRESULT hr = store.AddProductFromFile(infoPath);
    if (hr < 0) {
        log->Write(L"Faild to add product! %08x\n", static_cast<unsigned>(hr));
        return 1;
    }
    log->Write(L"Product added!\n");
    return 0;
}

int RunDelProduct(const std::wstring& intname) {
    Logger::LogRef log;
    if (intname.empty())
        return 1;
    log->Write(L"Removing product: %s\n", intname.c_str());
    CProductStore store;
    HRESULT hr = store.RemoveProduct(intname);
    if (hr < 0)
        log->Write(L"Failed to delete product %08x!\n", static_cast<unsigned>(hr));
    else
        log->Write(L"Product deleted!\n");

    const int exitCode = hr < 0 ? 1 : 0;
    // A missing or unreadable user products file (-1) is not an empty one.
    if (store.CountUserProducts() != 0)
        return exitCode;
    log->Write(L"Last product deleted! Removing scheduller task\n");
    CSchedulerTasks tasks;
    if (tasks.DeleteUserTask())
        log->Write(L"Task removed!\n");
    else
        log->Write(L"Failed to remove task\n");
    return exitCode;
}

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
    // Open reports false even for a usable key (it can't read with set-value
    // access alone); only the write tells whether the id was stored.
    const bool stored = registry.GetEntry(kUpdaterIdValue)->SetText(id.c_str());
    registry.Close();
    if (stored)
        log->Write(L"Updater id set to %s!\n", id.c_str());
    else
        log->Write(L"Failed to set updater id\n");
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
