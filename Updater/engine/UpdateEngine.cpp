#include "engine/UpdateEngine.h"

#include "catalogue/MyXMLDocument.h"
#include "catalogue/Product.h"
#include "catalogue/ProductStore.h"
#include "catalogue/Update.h"
#include "engine/Download.h"
#include "engine/InstallFailures.h"
#include "engine/ManifestFields.h"
#include "engine/Offer.h"
#include "engine/PublisherPins.h"
#include "engine/Rollout.h"
#include "engine/RolloutDraw.h"
#include "engine/RunningInstallers.h"
#include "engine/StateFolder.h"
#include "engine/Sweep.h"
#include "engine/TransferSession.h"
#include "engine/UpdaterId.h"
#include "engine/preserved/JournalFiles.h"
#include "engine/preserved/RegistryValues.h"
#include "log/LogText.h"
#include "log/Logger.h"
#include "system/Files.h"
#include "system/RunContext.h"
#include "system/StagedFile.h"
#include "system/TextCodec.h"
#include "system/Version.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>

namespace {

const wchar_t kUpdaterIdPlaceholder[] = L"{updaterguid}";

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

// Loads the products file at path; false, logged, for a file that is there
// but can't be read, as distinct from none (an account without products).
bool LoadProductsFile(const CProductStore& store, const std::wstring& path, CProducts& products) {
    if (store.LoadProducts(path, products) == S_OK || !FileExists(path))
        return true;
    Logger::LogRef log;
    log->Write(L"Failed to read products file %s\n", path.c_str());
    return false;
}

// The version the product's entry in the products file this check reads
// has now; false when the entry (or the file) can't be read.
bool RegisteredVersion(const std::wstring& intname, std::wstring& version) {
    CProductStore store;
    CProducts products;
    if (store.LoadProducts(store.CheckedProductsPath(), products) != S_OK)
        return false;
    for (const CProduct* product : products.m_Products) {
        if (!product->m_bPrototype && product->intname == intname) {
            version = product->version;
            return true;
        }
    }
    return false;
}

// Failed installs in a row after which a version is no longer tried.
const int kMaxInstallFailures = 3;

// Adds one product's outcome to the check's summary.
void CountOutcome(ProductOutcome outcome, CCheckSummary& summary) {
    if (outcome == ProductOutcome::NoAddress)
        return;
    ++summary.products;
    if (outcome != ProductOutcome::NotRead && outcome != ProductOutcome::Busy)
        ++summary.checked;
    if (outcome == ProductOutcome::NotRead || outcome == ProductOutcome::NotInstalled)
        ++summary.failed;
    if (outcome == ProductOutcome::NotInstalled || outcome == ProductOutcome::Installed)
        summary.anyNewer = true;
    if (outcome == ProductOutcome::Held || outcome == ProductOutcome::Busy)
        summary.anyDeferred = true;
}

}  // namespace

CCheckSummary CUpdateEngine::CheckForUpdates() {
    Logger::LogRef log;
    log->Write(L"Checking For Updates\n");
    CProductStore store;
    CProducts products;
    std::vector<CNotice> notices;
    CCheckSummary summary;
    // Servers given up on are not asked again until the next check.
    CTransferSession session;

    bool loaded;
    if (IsLocalSystem()) {
        loaded = LoadProductsFile(store, store.MachineProductsPath(), products);
        log->Write(L"Updating Machine Products\n");
    } else {
        loaded = LoadProductsFile(store, store.UserProductsPath(), products);
        log->Write(L"Updating User Products\n");
    }

    // What checks that were killed left, and the values an Updater which
    // died mid-update took out of the way.
    SweepLeftovers();
    RestorePreservedValuesLeftBehind();
    if (!loaded) {
        summary.productsUnreadable = true;
        return summary;
    }

    for (CProduct* product : products.m_Products) {
        bool notify = false;
        CNotice notice;
        const ProductOutcome outcome = UpdateProduct(*product, session, notify, notice);
        CountOutcome(outcome, summary);
        if (notify)
            notices.push_back(notice);
        RemoveOldVersionFolders(product);
    }

    if (!notices.empty()) {
        log->Write(L"Notifing about update\n");
        NotifyAboutUpdates(notices, session);
    }
    if (summary.failed != 0)
        log->Write(L"Checked %u of %u products; %u failed\n", summary.checked, summary.products,
                   summary.failed);
    return summary;
}

ProductOutcome CUpdateEngine::UpdateProduct(CProduct& product, CTransferSession& session,
                                            bool& notify, CNotice& notice) {
    Logger::LogRef log;
    notify = false;
    notice = CNotice();
    log->Write(L"Updating %s\n", ForLog(product.intname).c_str());

    // Its journal is the earlier installer's until that ends, and a second
    // one must not start beside it.
    if (!product.updateurl.empty() &&
        CRunningInstallers(StateFilePath(kRunningInstallersFile)).IsRunning(product.intname)) {
        log->Write(L"Installer of %s from an earlier check is still running\n",
                   ForLog(product.intname).c_str());
        return ProductOutcome::Busy;
    }

    std::wstring address;
    std::string manifest;
    const bool fetched = FetchManifest(product, session, address, manifest);
    if (product.updateurl.empty())
        return ProductOutcome::NoAddress;
    if (!fetched)
        return ProductOutcome::NotRead;
    // A pinned product believes nothing of a manifest its publisher did not
    // sign for it, and reads nothing of it before the signature is checked.
    COffer offer;
    if (HasPublisherPins(product.signer) ? !AcceptSignedManifest(product, address, manifest,
                                                                 session, offer)
                                         : !ReadUnsignedManifest(product, manifest, offer))
        return ProductOutcome::NotRead;
    log->Write(L"Current ver %s Server ver %s\n", ForLog(product.version).c_str(),
               ForLog(offer.version).c_str());
    if (!IsVersionLess(product.version, offer.version))
        return ProductOutcome::Current;
    log->Write(L"Got new one!\n");
    if (IsHeldBack(offer))
        return ProductOutcome::Held;

    std::wstring whatsNewAddress;
    if (!CheckManifestAddresses(address, offer, whatsNewAddress))
        return ProductOutcome::NotInstalled;

    CInstallFailures failures(StateFilePath(kInstallFailuresFile));
    if (HasFailedTooOften(failures, product, offer))
        return ProductOutcome::NotInstalled;

    // The verified installer stays locked in its own folder until it has
    // run; the folder goes when installer goes out of scope.
    CStagedFile installer;
    bool refused = false;
    uint32_t refusal = 0;
    if (!DownloadInstaller(product, offer, session, installer, refused, refusal)) {
        if (refused)
            Report(product, offer, ReportResult::kRefused, refusal, session);
        return ProductOutcome::NotInstalled;
    }

    CSavedValues saved;
    std::wstring journal;
    // Nothing runs that can't be counted: without its count a failing
    // installer would run in every check, and without its journal a
    // preserved value would live only in memory through the uninstall and
    // the installer. The update waits for a check that can write both.
    if (!ClearWayForInstaller(product, offer, failures, saved, journal))
        return ProductOutcome::NotInstalled;
    const InstallerEnd end = InstallAndCount(product, offer, installer, failures);
    // A notice follows an installer that says it installed, whether or not
    // it registered the version.
    if ((end.result == ReportResult::kInstalled || end.result == ReportResult::kNotRegistered) &&
        !offer.whatsNewUrl.empty()) {
        notify = true;
        notice.intname = product.intname;
        notice.whatsNewUrl = whatsNewAddress;
        notice.hasDigest = offer.hasWhatsNewSha256;
        std::memcpy(notice.digest, offer.whatsNewSha256, sizeof notice.digest);
    }
    const bool restored = RestoreAfterInstaller(product, saved, journal);
    Report(product, offer, end.result, end.code, session);
    return end.result == ReportResult::kInstalled && restored ? ProductOutcome::Installed
                                                              : ProductOutcome::NotInstalled;
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

bool CUpdateEngine::ReadUnsignedManifest(const CProduct& product, const std::string& manifest,
                                         COffer& offer) {
    // The document ends before its first zero byte.
    const size_t textEnd = std::min(manifest.find('\0'), manifest.size());
    CUpdate update;
    MyXML::CMyXMLDocument document;
    if (document.OpenString(BytesToWide(manifest.data(), textEnd, CodePage::ThreadAnsi)) != 0 ||
        document.ReadNode(&update) != 0)
        return false;
    const wchar_t* field = nullptr;
    if (ReadOffer(update, false, offer, field))
        return true;
    Logger::LogRef log;
    log->Write(L"Manifest of %s has no valid %s\n", ForLog(product.intname).c_str(), field);
    return false;
}

bool CUpdateEngine::CheckManifestAddresses(const std::wstring& address, const COffer& offer,
                                           std::wstring& whatsNewUrl) {
    whatsNewUrl = offer.whatsNewUrl;
    // An administrator's manifest in a local folder or on a share may name
    // any address; one from the network must not make the Updater open a
    // local file or a share (as the local system account, for machine
    // products).
    if (!IsHttpAddress(address))
        return true;
    Logger::LogRef log;
    if (!IsHttpAddress(offer.installerUrl)) {
        log->Write(L"Refused address %s\n", ForLog(offer.installerUrl).c_str());
        return false;
    }
    if (!whatsNewUrl.empty() && !IsHttpAddress(whatsNewUrl)) {
        log->Write(L"Refused address %s\n", ForLog(whatsNewUrl).c_str());
        whatsNewUrl.clear();
    }
    return true;
}

bool CUpdateEngine::IsHeldBack(const COffer& offer) {
    if (offer.rollout >= 100)
        return false;
    Logger::LogRef log;
    if (offer.rollout == 0) {
        log->Write(L"Version %s of %s is halted by its publisher\n", ForLog(offer.version).c_str(),
                   ForLog(offer.intname).c_str());
        return true;
    }
    // A machine without an id it keeps would draw anew at every check, and
    // so sooner or later take what was meant for a few: it waits for all.
    const std::wstring id = MachineId();
    unsigned bucket = 0;
    if (!id.empty() && DrawRolloutBucket(id, offer.intname, offer.version, bucket) &&
        IsInRollout(bucket, offer.rollout))
        return false;
    log->Write(L"Version %s of %s is rolled out to %u%% of machines, not yet to this one\n",
               ForLog(offer.version).c_str(), ForLog(offer.intname).c_str(), offer.rollout);
    return true;
}

bool CUpdateEngine::HasFailedTooOften(const CInstallFailures& failures, const CProduct& product,
                                      const COffer& offer) {
    // A version that keeps failing is left alone until a newer one comes.
    if (failures.Count(product.intname, offer.version) < kMaxInstallFailures)
        return false;
    Logger::LogRef log;
    log->Write(L"Version %s failed to install 3 times; waiting for a newer one\n",
               ForLog(offer.version).c_str());
    return true;
}

bool CUpdateEngine::ClearWayForInstaller(const CProduct& product, const COffer& offer,
                                         CInstallFailures& failures, CSavedValues& saved,
                                         std::wstring& journal) {
    Logger::LogRef log;
    // Counted before anything runs: an installer that ends the Updater or
    // the machine with it never comes back to be counted.
    if (!failures.RecordAttempt(product.intname, offer.version)) {
        log->Write(L"Failed to record the attempt to install %s %s\n",
                   ForLog(product.intname).c_str(), ForLog(offer.version).c_str());
        return false;
    }
    // On disk before anything runs that may remove a preserved value, until
    // it is back.
    if (!JournalPreservedValues(product, saved, journal)) {
        log->Write(L"Failed to save preserved registry values of %s\n",
                   ForLog(product.intname).c_str());
        // Nothing was tried: the attempt is taken back.
        failures.TakeBackAttempt(product.intname, offer.version);
        return false;
    }
    log->Write(L"PerformUninstallActions\n");
    PerformUninstallActions(product);

    log->Write(L"PerformRegistryActions\n");
    PerformRegistryActions(product, saved);
    return true;
}

InstallerEnd CUpdateEngine::InstallAndCount(const CProduct& product, const COffer& offer,
                                            const CStagedFile& installer,
                                            CInstallFailures& failures) {
    Logger::LogRef log;
    log->Write(L"Start Installer\n");
    // What the installer unpacks is as private as the installer itself.
    const std::wstring temp = installer.CreateSubfolder(L"temp");
    if (temp.empty()) {
        log->Write(L"Failed to create temporary folder for installer %s\n",
                   ForLog(installer.Path()).c_str());
        return InstallerEnd{ReportResult::kFailed, 0};
    }
    InstallerEnd end = RunInstaller(product, installer.Path(), temp);
    if (end.result != ReportResult::kInstalled)
        return end;
    // An installer that registers another version than the one offered
    // (1.3 for 1.30) would be run again at every check: it took only once
    // the product says so, and until then its attempts count.
    std::wstring registered;
    const bool read = RegisteredVersion(product.intname, registered);
    if (read && HasRegisteredOffer(registered, offer.version)) {
        failures.RecordSuccess(product.intname);
        return end;
    }
    log->Write(L"Installer of %s ended without registering version %s; the product says %s\n",
               ForLog(product.intname).c_str(), ForLog(offer.version).c_str(),
               read ? ForLog(registered).c_str() : L"nothing");
    return InstallerEnd{ReportResult::kNotRegistered, end.code};
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
    log->Write(L"Failed to restore preserved registry values of %s\n",
               ForLog(product.intname).c_str());
    return false;
}

void CUpdateEngine::Report(const CProduct& product, const COffer& offer, ReportResult result,
                           uint32_t code, CTransferSession& session) {
    // Only the publisher's own signed word says where to report, and an
    // administrator may forbid it.
    if (!offer.verified || offer.reportUrl.empty() || AreReportsTurnedOff())
        return;
    uint8_t machine[32] = {};
    const bool named = DrawMachineDigest(MachineId(), product.intname, machine);
    const std::wstring address = ReportAddress(offer.reportUrl, product.intname, product.version,
                                               offer.version, result, code, machine);
    Logger::LogRef log;
    if (named && session.Report(address).Succeeded())
        log->Write(L"Reported %s of %s %s\n", ReportResultName(result),
                   ForLog(product.intname).c_str(), ForLog(offer.version).c_str());
    else
        log->Write(L"Failed to report %s of %s %s\n", ReportResultName(result),
                   ForLog(product.intname).c_str(), ForLog(offer.version).c_str());
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
