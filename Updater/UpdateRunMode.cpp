#include "UpdateRunMode.h"

#include "catalogue/Product.h"
#include "catalogue/ProductStore.h"
#include "common/Handles.h"
#include "engine/UpdateEngine.h"
#include "log/Logger.h"
#include "system/RunContext.h"
#include "system/SchedulerTasks.h"

namespace {

// In the session's own namespace: keeps two checks of one session apart.
const wchar_t kCheckUpdateMutex[] = L"Quillmarrow_Updarer_CMDARG_RUNMODE_CHECKUPDATE";
const wchar_t kUpdaterProductName[] = L"updater";
const wchar_t kSelfRemovalTask[] = L"Updater removing";
const wchar_t kSelfRemovalArguments[] = L"/verysilent";
const wchar_t kSelfRemovalComment[] = L"This will uninstall Updater.";

}  // namespace

void RunCheckUpdate(const std::wstring& /*argument*/) {
    UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, kCheckUpdateMutex));
    {
        Logger::LogRef log;
        log->Write(L"Checking update mutex\n");
    }
    // A time-out, an abandoned mutex or a failure skip the check silently.
    MutexLock lock(mutex.Get(), 0, false);
    if (lock.Held())
        CheckUpdateHandler();
}

void CheckUpdateHandler() {
    Logger::LogRef log;
    CUpdateEngine engine;
    if (engine.CheckForUpdates())
        return;
    log->Write(L"There was no updates\n");
    if (!IsLocalSystem())
        return;
    CSchedulerTasks tasks;
    if (tasks.HasUserTasks())
        return;
    log->Write(L"There is no user products installed\n");
    CProductStore store;
    if (store.CountMachineProducts() == 1)
        StartSelfRemoval();
}

void StartSelfRemoval() {
    Logger::LogRef log;
    log->Write(L"Selfdestruct sequences initiated. God I hate that sequences!!\n");
    CProductStore store;
    CProducts products;
    store.LoadMachineProducts(products);
    CSchedulerTasks tasks;
    for (const CProduct* product : products.m_Products) {
        if (product->intname != kUpdaterProductName)
            continue;
        log->Write(L"Uninstaller for updater found at '%s'\n", product->uninstall.c_str());
        bool created = tasks.AddTask(kSelfRemovalTask, product->uninstall, kSelfRemovalArguments,
                                     kSelfRemovalComment, true, true, true);
        log->Write(L"Uninstaller task created with bRet '%d'\n", created ? 1 : 0);
    }
}
