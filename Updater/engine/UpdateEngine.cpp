#include "engine/UpdateEngine.h"

#include "catalogue/MyXMLDocument.h"
#include "catalogue/Product.h"
#include "catalogue/ProductStore.h"
#include "catalogue/Update.h"
#include "engine/Download.h"
#include "engine/InstallFailures.h"
#include "engine/ManifestFields.h"
#include "engine/PublisherPins.h"
#include "engine/Registry.h"
#include "engine/StateFolder.h"
#include "engine/TransferSession.h"
#include "engine/UpdaterId.h"
#include "engine/preserved/JournalFiles.h"
#include "engine/preserved/RegistryValues.h"
#include "log/LogText.h"
#include "log/Logger.h"
#include "system/Files.h"
#include "system/ProcessLaunch.h"
#include "system/RunContext.h"
#include "system/StagedFile.h"
#include "system/TextCodec.h"
#include "system/Version.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>

namespace {

const wchar_t kUpdaterIdPlaceholder[] = L"{updaterguid}";

// The updater id stored by addsystask; empty when it can't be read. Read
// access only, creating nothing: a standard user may read the key but not
// create it.
std::wstring ReadUpdaterId() {
    CRegistry registry;
    registry.Open(kUpdaterIdKey, HKEY_LOCAL_MACHINE, KEY_QUERY_VALUE);
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

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// A version folder's whole name is a dotted version: digits and dots,
// beginning and ending with a digit ("1.0", "12"); "3rdparty", "64bit" and
// "2D" are the product's own folders.
bool IsVersionFolderName(const wchar_t* name) {
    const size_t length = wcslen(name);
    if (length == 0 || !IsDigit(name[0]) || !IsDigit(name[length - 1]))
        return false;
    for (size_t i = 0; i < length; ++i)
        if (!IsDigit(name[i]) && name[i] != L'.')
            return false;
    return true;
}

// Loads the products file at path; a file that is there but can't be read
// is logged, as distinct from none.
void LoadProductsFile(const CProductStore& store, const std::wstring& path, CProducts& products) {
    if (store.LoadProducts(path, products) != S_OK && FileExists(path)) {
        Logger::LogRef log;
        log->Write(L"Failed to read products file %s\n", path.c_str());
    }
}

// Failed installs in a row after which a version is no longer tried.
const int kMaxInstallFailures = 3;

// The failure counts beside the products file this check works on.
std::wstring InstallFailuresPath() {
    return StateFilePath(L"InstallFailures.txt");
}

// Adds one product's outcome to the check's summary.
void CountOutcome(ProductOutcome outcome, CCheckSummary& summary) {
    if (outcome == ProductOutcome::NoAddress)
        return;
    ++summary.products;
    if (outcome != ProductOutcome::NotRead)
        ++summary.checked;
    if (outcome == ProductOutcome::NotRead || outcome == ProductOutcome::NotInstalled)
        ++summary.failed;
    if (outcome == ProductOutcome::NotInstalled || outcome == ProductOutcome::Installed)
        summary.anyNewer = true;
}

}  // namespace

CCheckSummary CUpdateEngine::CheckForUpdates() {
    Logger::LogRef log;
    log->Write(L"Checking For Updates\n");
    CProductStore store;
    CProducts products;
    std::vector<std::wstring> whatsNew;
    CCheckSummary summary;
    // Servers given up on are not asked again until the next check.
    CTransferSession session;

    if (IsLocalSystem()) {
        LoadProductsFile(store, store.MachineProductsPath(), products);
        log->Write(L"Updating Machine Products\n");
    } else {
        LoadProductsFile(store, store.UserProductsPath(), products);
        log->Write(L"Updating User Products\n");
    }

    // Values that an Updater which died mid-update took out of the way.
    RestorePreservedValuesLeftBehind();

    for (CProduct* product : products.m_Products) {
        bool notify = false;
        std::wstring whatsNewUrl;
        const ProductOutcome outcome = UpdateProduct(*product, session, notify, whatsNewUrl);
        CountOutcome(outcome, summary);
        if (notify)
            whatsNew.push_back(whatsNewUrl);
        RemoveOldVersionFolders(product);
    }

    if (!whatsNew.empty()) {
        log->Write(L"Notifing about update\n");
        NotifyAboutUpdates(whatsNew, session);
    }
    if (summary.failed != 0)
        log->Write(L"Checked %u of %u products; %u failed\n", summary.checked, summary.products,
                   summary.failed);
    return summary;
}

ProductOutcome CUpdateEngine::UpdateProduct(CProduct& product, CTransferSession& session,
                                            bool& notify, std::wstring& whatsNewUrl) {
    Logger::LogRef log;
    notify = false;
    whatsNewUrl.clear();
    log->Write(L"Updating %s\n", ForLog(product.intname).c_str());

    std::wstring address;
    std::string manifest;
    CUpdate update;
    MyXML::CMyXMLDocument document;
    const bool fetched = FetchManifest(product, session, address, manifest);
    if (product.updateurl.empty())
        return ProductOutcome::NoAddress;
    if (!fetched)
        return ProductOutcome::NotRead;
    // The document ends before its first zero byte; a signature covers all
    // of what came.
    const size_t textEnd = std::min(manifest.find('\0'), manifest.size());
    if (document.OpenString(BytesToWide(manifest.data(), textEnd, CodePage::ThreadAnsi)) != 0 ||
        document.ReadNode(&update) != 0)
        return ProductOutcome::NotRead;
    // A pinned product believes nothing of a manifest its publisher did not
    // sign for it.
    if (HasPublisherPins(product.signer) &&
        !AcceptSignedManifest(product, address, manifest, update, session))
        return ProductOutcome::NotRead;
    log->Write(L"Current ver %s Server ver %s\n", ForLog(product.version).c_str(),
               ForLog(update.version).c_str());
    if (!IsVersionLess(product.version, update.version))
        return ProductOutcome::Current;
    log->Write(L"Got new one!\n");

    std::wstring whatsNewAddress;
    if (!CheckManifestAddresses(address, update, whatsNewAddress))
        return ProductOutcome::NotInstalled;

    CInstallFailures failures(InstallFailuresPath());
    if (HasFailedTooOften(failures, product, update))
        return ProductOutcome::NotInstalled;

    // The verified installer stays locked in its own folder until it has
    // run; the folder goes when installer goes out of scope.
    CStagedFile installer;
    if (!DownloadInstaller(product, update, session, installer))
        return ProductOutcome::NotInstalled;

    CSavedValues saved;
    std::wstring journal;
    // Without its journal a preserved value would live only in memory
    // through the uninstall and the installer: the update waits for a
    // check that can write it, and no install was tried.
    if (!ClearWayForInstaller(product, saved, journal))
        return ProductOutcome::NotInstalled;
    // Only an installed update is announced.
    const bool installed = InstallAndCount(product, update, installer, failures);
    if (installed && !update.whatsnewurl.empty()) {
        notify = true;
        whatsNewUrl = whatsNewAddress;
    }
    const bool restored = RestoreAfterInstaller(product, saved, journal);
    return installed && restored ? ProductOutcome::Installed : ProductOutcome::NotInstalled;
}

bool CUpdateEngine::FetchManifest(const CProduct& product, CTransferSession& session,
                                  std::wstring& address, std::string& manifest) {
    Logger::LogRef log;
    address = ReplaceAll(product.updateurl, kUpdaterIdPlaceholder, ReadUpdaterId());
    log->Write(L"Update url %s\n", ForLog(address).c_str());

    // A server that stopped answering costs one time-out per check, not one
    // per product.
    std::string bytes;
    TransferResult fetched = session.FetchBytes(address, bytes);
    if (fetched.cause == TransferCause::kServerGivenUp) {
        log->Write(L"Skipped %s: server %s did not answer earlier in this check\n",
                   ForLog(product.intname).c_str(), ForLog(ServerOfAddress(address)).c_str());
        return false;
    }
    session.LogGivenUp(address, fetched);
    if (!fetched.Succeeded())
        return false;
    manifest.swap(bytes);
    return true;
}

bool CUpdateEngine::CheckManifestAddresses(const std::wstring& address, const CUpdate& update,
                                           std::wstring& whatsNewUrl) {
    whatsNewUrl = update.whatsnewurl;
    // An administrator's manifest in a local folder or on a share may name
    // any address; one from the network must not make the Updater open a
    // local file or a share (as the local system account, for machine
    // products).
    if (!IsHttpAddress(address))
        return true;
    Logger::LogRef log;
    if (!IsHttpAddress(update.installerurl)) {
        log->Write(L"Refused address %s\n", ForLog(update.installerurl).c_str());
        return false;
    }
    if (!whatsNewUrl.empty() && !IsHttpAddress(whatsNewUrl)) {
        log->Write(L"Refused address %s\n", ForLog(whatsNewUrl).c_str());
        whatsNewUrl.clear();
    }
    return true;
}

bool CUpdateEngine::HasFailedTooOften(const CInstallFailures& failures, const CProduct& product,
                                      const CUpdate& update) {
    // A version that keeps failing is left alone until a newer one comes.
    if (failures.Count(product.intname, update.version) < kMaxInstallFailures)
        return false;
    Logger::LogRef log;
    log->Write(L"Version %s failed to install 3 times; waiting for a newer one\n",
               ForLog(update.version).c_str());
    return true;
}

bool CUpdateEngine::ClearWayForInstaller(const CProduct& product, CSavedValues& saved,
                                         std::wstring& journal) {
    Logger::LogRef log;
    // On disk before anything runs that may remove a preserved value, until
    // it is back.
    if (!JournalPreservedValues(product, saved, journal)) {
        log->Write(L"Failed to save preserved registry values of %s\n",
                   ForLog(product.intname).c_str());
        return false;
    }
    log->Write(L"PerformUninstallActions\n");
    PerformUninstallActions(product);

    log->Write(L"PerformRegistryActions\n");
    PerformRegistryActions(product, saved);
    return true;
}

bool CUpdateEngine::InstallAndCount(const CProduct& product, const CUpdate& update,
                                    const CStagedFile& installer, CInstallFailures& failures) {
    Logger::LogRef log;
    log->Write(L"Start Installer\n");
    // What the installer unpacks is as private as the installer itself.
    const std::wstring temp = installer.CreateSubfolder(L"temp");
    if (temp.empty()) {
        log->Write(L"Failed to create temporary folder for installer %s\n",
                   installer.Path().c_str());
        return false;
    }
    // Counted before it starts: an installer that ends the Updater or the
    // machine with it never comes back to be counted.
    const bool counted = failures.RecordAttempt(product.intname, update.version);
    if (RunInstaller(installer.Path(), temp)) {
        failures.RecordSuccess(product.intname);
        return true;
    }
    if (!counted) {
        // Without the count this version would be tried in every check.
        log->Write(L"Failed to record the failed install of %s %s\n",
                   ForLog(product.intname).c_str(), ForLog(update.version).c_str());
    }
    return false;
}

bool CUpdateEngine::RestoreAfterInstaller(const CProduct& product, CSavedValues& saved,
                                          const std::wstring& journal) {
    Logger::LogRef log;
    log->Write(L"PerformRegistryActions_Restore\n");
    // A value that could not be written back stays in its journal, which
    // the next check writes back again.
    const bool restored = journal.empty() ? PerformRegistryActions_Restore(product, saved)
                                          : RestoreJournal(journal, JournalOf(product, saved));
    if (restored)
        return true;
    log->Write(L"Failed to restore preserved registry values of %s\n", product.intname.c_str());
    return false;
}

bool CUpdateEngine::RemoveOldVersionFolders(const CProduct* product) {
    if (!product)
        return false;
    // An empty productdir would list the working folder.
    if (product->productdir.empty())
        return true;
    Logger::LogRef log;
    for (const std::wstring& folder : ListSubfolders(product->productdir)) {
        const wchar_t* name = ::PathFindFileNameW(folder.c_str());
        if (!IsVersionFolderName(name) || !IsVersionGreater(product->version, name))
            continue;
        // A link is never entered: what it points to is not the product's
        // to remove, so only the link itself goes.
        const bool link = IsFolderLink(folder);
        if (!link && !IsFolderFree(folder))
            continue;  // in use; the next check tries again
        if (!DeleteFolderTree(folder))
            log->Write(L"Failed to remove old version folder %s\n", folder.c_str());
    }
    return true;
}
