#pragma once

#include "engine/preserved/PreservedValue.h"

#include <string>
#include <vector>

class CFreshFile;
class CInstallFailures;
class CProduct;
class CUpdate;
class CStagedFile;
class CTransferSession;

// How the update of one product ended.
enum class ProductOutcome {
    NoAddress,     // no updateurl: nothing to check (the empty prototype that
                   // an empty products file reads as, among others)
    NotRead,       // the manifest could not be fetched or read, or its server
                   // was given up earlier in the check
    Current,       // the manifest named no newer version
    NotInstalled,  // a newer version was refused, failed, held back after
                   // too many failures, or its values were not written back
    Installed,     // a newer version was installed and its values restored
};

// What one check did: products counts every product with an updateurl,
// checked those whose manifest was read, failed those whose check or update
// failed (NotRead, NotInstalled). A product without an updateurl counts in
// none of them.
struct CCheckSummary {
    unsigned products = 0;
    unsigned checked = 0;
    unsigned failed = 0;
    // A manifest named a newer version, whether or not it was installed.
    bool anyNewer = false;
};

// The update engine: one update check over the products of the account the
// Updater runs under, and everything it does for a product with a newer
// version. Holds no data; created on the stack for one check. Every step
// blocks the calling thread until it is done; nothing throws and no failure
// stops the check.
class CUpdateEngine {
public:
    // ---- Registry actions ----

    // Before the product's installer runs: deletes the values marked
    // "delete", saves into saved and then deletes those marked "preserve"
    // (a value already saved is not saved again), then deletes the keys
    // marked "delete" with all their subkeys. Roots "HKLM" and "HKCU" and the
    // actions are compared exactly; anything else is passed over. Never logs.
    void PerformRegistryActions(const CProduct& product, CSavedValues& saved);
    // After the installer: writes every preserved value that existed back
    // with its own type and data, over whatever the installer wrote, creating
    // its key when needed. A value that did not exist stays absent. False
    // when a value could not be written back.
    bool PerformRegistryActions_Restore(const CProduct& product, CSavedValues& saved);

    // ---- Update check cycle ----

    // Checks every product of the machine products file (local system
    // account) or of the user products file (any other account), after
    // writing back the preserved values that an Updater which died mid-update
    // left in their journals (see preserved/JournalFiles.h); updates
    // those with a newer version, removes superseded version folders and then
    // shows one notification per updated product. Logs "Checked %u of %u
    // products; %u failed" at its end when a product failed.
    CCheckSummary CheckForUpdates();

    // Fetches the product's manifest through the check's session and, when
    // it names a newer version, downloads and verifies the installer, runs
    // the uninstall and registry actions, the installer ("/verysilent") and
    // the restore. notify is true when the installer succeeded and the
    // manifest names a what's-new address; whatsNewUrl is then that address,
    // or empty when it was refused (see below): the notice is shown without
    // a document. A product whose manifest server gave no answer earlier in
    // the check is skipped; a version whose installs failed 3 times is not
    // tried again (the product's other versions keep their own counts). A
    // product whose preserved values can't be journaled is left as it is:
    // nothing is removed and nothing runs.
    //
    // A product with publisher pins takes only a signed manifest for itself
    // (AcceptSignedManifest); a refused one is logged and ends the product as
    // if it offered nothing. A manifest fetched over http or https may send
    // the Updater only to http or https addresses: any other installer
    // address ends the update before anything of it runs, any other
    // what's-new address is not fetched; both are logged ("Refused address
    // %s\n").
    ProductOutcome UpdateProduct(CProduct& product, CTransferSession& session, bool& notify,
                                 std::wstring& whatsNewUrl);

    // Removes the sub-folders of the product's productdir that hold versions
    // older than its recorded version and have no file in use, logging each
    // removal that fails. Only folders whose whole name is a dotted version
    // (digits and dots, first and last a digit) count as versions; a folder
    // that is a link is never entered, only the link is removed. An empty
    // productdir removes nothing. False only for a missing product.
    bool RemoveOldVersionFolders(const CProduct* product);

    // ---- Download and verification ----

    // Downloads the manifest's installer as "Setup_<intname>-<version>.exe"
    // into a new folder of its own (installer) and locks it. Without
    // publisher pins it is kept only when its MD5 matches the first 32
    // characters of the document at installerurl + ".md5" (letter case
    // ignored). With pins no checksum is fetched: at most the manifest's
    // size + 1 bytes are read, and it is kept only when its length and its
    // SHA-256 are the (signed) manifest's and its embedded signature is valid
    // and made with a pinned key. True when the installer may run; false
    // (each refusal logged, and then a server given up on by its transfer)
    // otherwise, and the folder is removed with installer.
    bool DownloadInstaller(const CProduct& product, const CUpdate& update,
                           CTransferSession& session, CStagedFile& installer);

    // ---- Uninstall actions and the installer ----

    // Runs the installer with "/verysilent" (a job object holds every
    // process it starts), with tempFolder as its TEMP and TMP when not empty,
    // and waits for it, at most the installer limit (WaitLimits.h), after
    // which all of them are ended. True when it exited
    // with 0, or with 3010 or 1641 (installed, Windows must restart); every
    // other end is logged: "Installer failed with exit code %u\n", "Failed to
    // start installer %u\n" (the system error), "Installer did not finish in
    // 30 minutes and was stopped\n".
    bool RunInstaller(const std::wstring& installer, const std::wstring& tempFolder);

    // Carries out the product's uninstall actions ("unregsvr", "unregexe",
    // "kill", "run") in document order, each started program waited for, with
    // file names taken relative to productdir\version. Failures are passed
    // over; a program still running after the uninstall program limit
    // (WaitLimits.h) is ended with every process it started, and logged.
    void PerformUninstallActions(const CProduct& product);

    // ---- Update notification ----

    // For each address in order (an empty one: a notice without a
    // document): writes the notification file for it, shows
    // it with notifier.exe from the Updater's folder (as the console user
    // when the Updater runs as the local system account), waits until the
    // Notifier ends, at most the notifier limit (WaitLimits.h; then it is
    // ended), and deletes the file. A notice whose file could not be written
    // fresh is not shown.
    void NotifyAboutUpdates(const std::vector<std::wstring>& whatsNewUrls,
                            CTransferSession& session);

    // Writes a notification file of a name nobody can predict
    // ("whatsnew-<32 random hexadecimal digits>.xml") in the common
    // application data folder, anew (never through what was there), with
    // the what's-new document at address (fetched through session; the
    // notice goes without it when it can't be had or address is empty)
    // wrapped for the Notifier's stylesheet, and keeps it held in file.
    // The file's path, or empty, with a log record, when it could not be
    // written.
    std::wstring WriteNotificationFile(const std::wstring& address, CTransferSession& session,
                                       CFreshFile& file);

private:
    // The steps of UpdateProduct, each logging as it goes.

    // Fetches the product's manifest from address (its updateurl with the
    // updater id put in, set here) as it came, zero bytes included. False,
    // manifest untouched, when it could not be had; a server given up
    // earlier in the check skips the product, logged.
    bool FetchManifest(const CProduct& product, CTransferSession& session,
                       std::wstring& address, std::string& manifest);
    // For a product with publisher pins: the manifest's detached signature
    // (address + ".sig" in its path) is fetched and checked over the
    // manifest's bytes; its signer's key must be pinned; the manifest must
    // name this product, carry a well-formed sha256, size and expires, not
    // be past its expiry, and not offer a version older than the highest
    // one a signed manifest offered for the product before (OfferedVersions.h),
    // which it then becomes. True when the manifest may be used; otherwise
    // the refusal is logged.
    bool AcceptSignedManifest(const CProduct& product, const std::wstring& address,
                              const std::string& manifest, const CUpdate& update,
                              CTransferSession& session);
    // The manifest's installer address and what's-new address, when the
    // manifest came over http or https, must be http or https themselves;
    // each other one is logged. False when the installer address is refused;
    // whatsNewUrl is the what's-new address, or empty when refused.
    bool CheckManifestAddresses(const std::wstring& address, const CUpdate& update,
                                std::wstring& whatsNewUrl);
    // True, logged, when the offered version failed to install too often to
    // be tried again.
    bool HasFailedTooOften(const CInstallFailures& failures, const CProduct& product,
                           const CUpdate& update);
    // Journals the values to preserve, then runs the uninstall actions and
    // the registry actions. False, logged and nothing run or removed, when
    // the journal could not be written; else journal is its path (empty
    // when nothing is preserved).
    bool ClearWayForInstaller(const CProduct& product, CSavedValues& saved,
                              std::wstring& journal);
    // Runs the installer, with a new folder inside its staging folder as its
    // TEMP and TMP, and counts its failure or success. True when it
    // installed.
    bool InstallAndCount(const CProduct& product, const CUpdate& update,
                         const CStagedFile& installer, CInstallFailures& failures);
    // Writes the preserved values back one by one, each dropped from the
    // journal once it is on the disk; the journal goes once every value is
    // back, else it stays with those that failed, for the next check. False
    // when a value could not be written back.
    bool RestoreAfterInstaller(const CProduct& product, CSavedValues& saved,
                               const std::wstring& journal);
};
