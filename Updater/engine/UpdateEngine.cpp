#include "UpdateEngine.h"

#include "Logger.h"
#include "catalogue/MyXMLDocument.h"
#include "catalogue/Product.h"
#include "catalogue/ProductStore.h"
#include "catalogue/Update.h"
#include "engine/Download.h"
#include "engine/InstallFailures.h"
#include "engine/Registry.h"
#include "system/Files.h"
#include "system/Folders.h"
#include "system/ProcessLaunch.h"
#include "system/RunContext.h"
#include "system/TextCodec.h"
#include "system/Version.h"

#include <windows.h>
#include <shlwapi.h>

namespace {

const wchar_t kUpdaterKey[] = L"Software\\QuillMarrow\\Updater";
const wchar_t kUpdaterIdValue[] = L"UserID";
const wchar_t kUpdaterIdPlaceholder[] = L"{updaterguid}";

// The updater id stored by addsystask; empty when it can't be read.
std::wstring ReadUpdaterId() {
    CRegistry registry(CRegistry::kCreateIfMissing);
    registry.Open(kUpdaterKey, HKEY_LOCAL_MACHINE, KEY_QUERY_VALUE);
    std::wstring id = registry.GetEntry(kUpdaterIdValue)->GetText();
    registry.Close();
    return id;
}

// Every occurrence of what in text replaced by with, left to right.
std::wstring ReplaceAll(std::wstring text, const std::wstring& what, const std::wstring& with) {
    for (size_t at = text.find(what); at != std::wstring::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

// Failed installs in a row after which a version is no longer tried.
const int kMaxInstallFailures = 3;

// The failure counts beside the products file this check works on.
std::wstring InstallFailuresPath() {
    CProductStore store;
    const std::wstring& products = IsLocalSystem() ? store.MachineProductsPath()
                                                   : store.UserProductsPath();
    return GetParentFolder(products) + L"\\InstallFailures.txt";
}

// Logs that the server of address was given up by the transfer that just
// ended, when it wasn't before.
void LogServerGivenUp(const std::wstring& address, bool wasUnanswering) {
    if (wasUnanswering || !IsServerUnanswering(address))
        return;
    Logger::LogRef log;
    log->Write(L"Server %s sent nothing for 60 seconds and is not asked again in this check\n",
               ServerOfAddress(address).c_str());
}

bool StartsWithDigit(const wchar_t* name) { return name[0] >= L'0' && name[0] <= L'9'; }

}  // namespace

bool CUpdateEngine::CheckForUpdates() {
    Logger::LogRef log;
    log->Write(L"Checking For Updates\n");
    CProductStore store;
    CProducts products;
    std::vector<std::wstring> whatsNew;
    bool anyNewer = false;
    ForgetUnansweringServers();

    if (IsLocalSystem()) {
        store.LoadMachineProducts(products);
        log->Write(L"Updating Machine Products\n");
    } else {
        store.LoadUserProducts(products);
        log->Write(L"Updating User Products\n");
    }

    for (CProduct* product : products.m_Products) {
        std::wstring whatsNewUrl;
        if (UpdateProduct(*product, whatsNewUrl))
            anyNewer = true;
        if (!whatsNewUrl.empty())
            whatsNew.push_back(whatsNewUrl);
        RemoveOldVersionFolders(product);
    }

    if (!whatsNew.empty()) {
        log->Write(L"Notifing about update\n");
        NotifyAboutUpdates(whatsNew);
    }
    return anyNewer;
}

bool CUpdateEngine::UpdateProduct(CProduct& product, std::wstring& whatsNewUrl) {
    Logger::LogRef log;
    whatsNewUrl.clear();
    log->Write(L"Updating %s\n", product.intname.c_str());

    std::wstring address = ReplaceAll(product.updateurl, kUpdaterIdPlaceholder, ReadUpdaterId());
    log->Write(L"Update url %s\n", address.c_str());

    // A server that stopped answering costs one time-out per check, not one
    // per product.
    if (IsServerUnanswering(address)) {
        log->Write(L"Skipped %s: server %s did not answer earlier in this check\n",
                   product.intname.c_str(), ServerOfAddress(address).c_str());
        return false;
    }
    std::string manifest = FetchUrlText(address);
    LogServerGivenUp(address, false);
    std::wstring manifestText = BytesToWide(manifest.data(), manifest.size(), CodePage::ThreadAnsi);
    CUpdate update;
    MyXML::CMyXMLDocument document;
    if (document.OpenString(manifestText) != 0 || document.ReadNode(&update) != 0)
        return false;

    log->Write(L"Current ver %s Server ver %s\n", product.version.c_str(), update.version.c_str());
    if (!IsVersionLess(product.version, update.version))
        return false;
    log->Write(L"Got new one!\n");

    // A version that keeps failing is left alone until a newer one comes.
    CInstallFailures failures(InstallFailuresPath());
    if (failures.Count(product.intname, update.version) >= kMaxInstallFailures) {
        log->Write(L"Version %s failed to install 3 times; waiting for a newer one\n",
                   update.version.c_str());
        return true;
    }

    bool installerServerWasUnanswering = IsServerUnanswering(update.installerurl);
    std::wstring installer = DownloadInstaller(update);
    LogServerGivenUp(update.installerurl, installerServerWasUnanswering);
    if (installer.empty())
        return true;

    log->Write(L"PerformUninstallActions\n");
    PerformUninstallActions(product);

    CSavedValues saved;
    log->Write(L"PerformRegistryActions\n");
    PerformRegistryActions(product, saved);

    log->Write(L"Start Installer\n");
    // Only an installed update is announced.
    if (RunInstaller(installer)) {
        whatsNewUrl = update.whatsnewurl;
        failures.RecordSuccess(product.intname);
    } else {
        failures.RecordFailure(product.intname, update.version);
    }

    log->Write(L"PerformRegistryActions_Restore\n");
    PerformRegistryActions_Restore(product, saved);

    ::DeleteFileW(installer.c_str());
    return true;
}

bool CUpdateEngine::RemoveOldVersionFolders(const CProduct* product) {
    if (!product)
        return false;
    // An empty productdir would list the working folder; a folder whose name
    // doesn't begin with a digit ("data", "plugins") is the product's, not an
    // old version.
    if (product->productdir.empty())
        return true;
    for (const std::wstring& folder : ListSubfolders(product->productdir)) {
        const wchar_t* name = ::PathFindFileNameW(folder.c_str());
        if (!StartsWithDigit(name) || !IsVersionGreater(product->version, name))
            continue;
        if (IsFolderFree(folder))
            DeleteFolderTree(folder);
    }
    return true;
}
