#include "UpdateRunMode.h"

#include "catalogue/Product.h"
#include "catalogue/ProductStore.h"
#include "common/Handles.h"
#include "engine/UpdateEngine.h"
#include "log/Logger.h"
#include "system/PathMutex.h"
#include "system/RunContext.h"
#include "system/SchedulerTasks.h"

namespace {

// In the session's own namespace: keeps two checks of one session apart.
const wchar_t kCheckUpdateMutex[] = L"Quillmarrow_Updarer_CMDARG_RUNMODE_CHECKUPDATE";
// Across sessions, named from the products file: two sessions of one user (a
// console and a remote desktop) check the same file, its journals and counts.
const wchar_t kProductsCheckPrefix[] = L"quillmarrow_check_";
const wchar_t kUpdaterProductName[] = L"updater";
const wchar_t kSelfRemovalTask[] = L"Updater removing";
const wchar_t kSelfRemovalArguments[] = L"/verysilent";
const wchar_t kSelfRemovalComment[] = L"This will uninstall Updater.";

}  // namespace

int RunCheckUpdate(const std::wstring& /*argument*/) {
    UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, kCheckUpdateMutex));
    {
        Logger::LogRef log;
        log->Write(L"Checking update mutex\n");
    }
    // A time-out, an abandoned mutex or a failure skip the check silently.
    MutexLock lock(mutex.Get(), 0, false);
    if (!lock.Held())
        return 0;
    const std::wstring products = CProductStore().CheckedProductsPath();
    CPathMutex productsLock(kProductsCheckPrefix, products, 0, MutexScope::AllSessions);
    if (productsLock.HeldByAnother()) {
        Logger::LogRef log;
        log->Write(L"Another check of %s is running\n", products.c_str());
        return 0;
    }
    return CheckUpdateHandler();
}

int CheckUpdateHandler() {
    Logger::LogRef log;
    CUpdateEngine engine;
    const CCheckSummary summary = engine.CheckForUpdates();
    // A check that could not look at every product says so instead, and
    // never removes the Updater: the next check tries again. One that left
    // a product for later (a rollout that has not reached this machine yet)
    // did not fail, but can't say there was no update either.
    if (summary.failed != 0 || summary.productsUnreadable)
        return 1;
    if (summary.anyNewer || summary.anyDeferred)
        return 0;
    log->Write(L"There was no updates\n");
    if (!IsLocalSystem())
        return 0;
    CSchedulerTasks tasks;
    if (tasks.HasUserTasks())
        return 0;
    log->Write(L"There is no user products installed\n");
    CProductStore store;
    if (store.CountMachineProducts() == 1)
        StartSelfRemoval();
    return 0;
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
