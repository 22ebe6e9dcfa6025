#pragma once

#include "engine/Report.h"
#include "engine/preserved/PreservedValue.h"

#include <cstdint>
#include <string>
#include <vector>

class CFreshFile;
class CInstallFailures;
class CProduct;
class CStagedFile;
class CTransferSession;
struct COffer;

// How the update of one product ended.
enum class ProductOutcome {
    NoAddress,     // no updateurl: nothing to check (the empty prototype that
                   // an empty products file reads as, among others)
    NotRead,       // the manifest could not be fetched, read or accepted, or
                   // its server was given up earlier in the check
    Current,       // the manifest named no newer version
    Held,          // a newer version this machine does not take yet: rolled
                   // out to other machines only, or halted by its publisher
    Busy,          // an installer an earlier check started still runs
    NotInstalled,  // a newer version was refused, failed, held back after
                   // too many failures, ended without registering, or its
                   // values were not written back
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
    // A manifest named a newer version that this machine tried to take,
    // whether or not it was installed.
    bool anyNewer = false;
    // A product was left for a later check without failing (Held, Busy).
    bool anyDeferred = false;
    // The products file is there but could not be read: nothing was checked.
    bool productsUnreadable = false;
};

// One notice to show after the check: the what's-new address (empty: a
// notice without a document) and, from a verified offer that names one, the
// SHA-256 its document must have to be shown.
struct CNotice {
    std::wstring intname;
    std::wstring whatsNewUrl;
    bool hasDigest = false;
    uint8_t digest[32] = {};
};

// How an installer run ended.
struct InstallerEnd {
    ReportResult result;  // kInstalled, kFailed or kTimedOut
    uint32_t code;        // its exit code, the system error of a failed start, or 0
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
    // removing what killed checks left behind (Sweep.h) and writing back the
    // preserved values that an Updater which died mid-update left in their
    // journals (see preserved/JournalFiles.h); updates those with a newer
    // version, removes superseded version folders and then shows one
    // notification per updated product. Logs "Checked %u of %u products; %u
    // failed" at its end when a product failed. A products file that is
    // there but can't be read is logged and nothing is checked.
    CCheckSummary CheckForUpdates();

    // Fetches the product's manifest through the check's session and, when
    // it names a newer version this machine takes (its rollout), downloads
    // and verifies the installer, runs the uninstall and registry actions,
    // the installer ("/verysilent") and the restore. notify is true when the
    // installer succeeded and the manifest names a what's-new address;
    // notice then says what to show (its address empty when refused: the
    // notice is shown without a document). A product whose manifest server
    // gave no answer earlier in the check is skipped, and so is one whose
    // installer from an earlier check still runs; a version whose installs
    // failed 3 times is not tried again (the product's other versions keep
    // their own counts). Nothing runs that can't be counted: a product whose
    // preserved values can't be journaled, or whose attempt can't be
    // recorded, is left as it is. After each attempt, and after an installer
    // refused for its digest, size or signature, a verified offer's report
    // address is told how it went (Report.h).
    //
    // A product with publisher pins takes only a signed manifest for itself
    // (AcceptSignedManifest); a refused one is logged and ends the product as
    // if it offered nothing. A manifest fetched over http or https may send
    // the Updater only to http or https addresses: any other installer
    // address ends the update before anything of it runs, any other
    // what's-new address is not fetched; both are logged ("Refused address
    // %s\n").
    ProductOutcome UpdateProduct(CProduct& product, CTransferSession& session, bool& notify,
                                 CNotice& notice);

    // Removes the sub-folders of the product's productdir that hold versions
    // older than its recorded version and have no file in use, logging each
    // removal that fails. Only folders whose whole name is a dotted version
    // (digits and dots, first and last a digit) count as versions; a folder
    // that is a link is never entered, only the link is removed. An empty
    // productdir removes nothing. False only for a missing product.
    bool RemoveOldVersionFolders(const CProduct* product);

    // ---- Download and verification ----

    // Downloads the offer's installer as "Setup_<intname>-<version>.exe"
    // into a new folder of its own (installer) and locks it. Without
    // publisher pins it is kept only when its MD5 matches the first 32
    // characters of the document at installerurl + ".md5" (letter case
    // ignored). With pins (a verified offer) no checksum is fetched: at most
    // the offer's size + 1 bytes are read, and it is kept only when its
    // length and its SHA-256 are the offer's and its embedded signature is
    // valid and made with a pinned key. True when the installer may run;
    // false (each refusal logged, and then a server given up on by its
    // transfer) otherwise, and the folder is removed with installer. refused
    // is true when a downloaded installer was refused for its size, digest
    // or signature (a verified offer's), with code saying why
    // (system/SignatureCodes.h).
    bool DownloadInstaller(const CProduct& product, const COffer& offer, CTransferSession& session,
                           CStagedFile& installer, bool& refused, uint32_t& code);

    // ---- Uninstall actions and the installer ----

    // Runs the installer with "/verysilent" (a job object holds every
    // process it starts), with tempFolder as its TEMP and TMP when not empty,
    // and waits for it, at most the installer limit (WaitLimits.h), after
    // which all of them are ended. Before it runs any of its code, the
    // product's record of running installers is written (RunningInstallers.h);
    // when that fails it is not run. Installed when it exited with 0, or
    // with 3010 or 1641 (installed, Windows must restart); every other end
    // is logged: "Installer failed with exit code %u\n", "Failed to start
    // installer %u\n" (the system error), "Installer did not finish in 30
    // minutes and was stopped\n".
    InstallerEnd RunInstaller(const CProduct& product, const std::wstring& installer,
                              const std::wstring& tempFolder);

    // Carries out the product's uninstall actions ("unregsvr", "unregexe",
    // "kill", "run") in document order, each started program waited for, with
    // file names taken relative to productdir\version. Failures are passed
    // over; a program still running after the uninstall program limit
    // (WaitLimits.h) is ended with every process it started, and logged.
    void PerformUninstallActions(const CProduct& product);

    // ---- Update notification ----

    // For each notice in order: writes the notification file for it, shows
    // it with notifier.exe from the Updater's folder (as the console user
    // when the Updater runs as the local system account), waits until the
    // Notifier ends, at most the notifier limit (WaitLimits.h; then it is
    // ended), and deletes the file. A notice whose file could not be written
    // fresh is not shown.
    void NotifyAboutUpdates(const std::vector<CNotice>& notices, CTransferSession& session);

    // Writes a notification file of a name nobody can predict
    // ("whatsnew-<process id>-<32 random hexadecimal digits>.xml") in the
    // common application data folder, anew (never through what was there),
    // with the notice's what's-new document (fetched through session; the
    // notice goes without it when it can't be had, the address is empty, or
    // it differs from the notice's digest, which is logged) wrapped for the
    // Notifier's stylesheet, and keeps it held in file. The file's path, or
    // empty, with a log record, when it could not be written.
    std::wstring WriteNotificationFile(const CNotice& notice, CTransferSession& session,
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
    // manifest's bytes before anything reads them; its signer's key must be
    // pinned; then the manifest, read as UTF-8, must name this product,
    // carry a well-formed sha256, size, issued and expires (and whatever
    // else it carries well-formed: Offer.h), not be past its expiry, and not
    // be issued earlier than a manifest accepted for the product before
    // (IssuedTimes.h), whose record it then becomes before anything of it
    // is used. True with offer set when the manifest may be used; otherwise
    // the refusal is logged.
    bool AcceptSignedManifest(const CProduct& product, const std::wstring& address,
                              const std::string& manifest, CTransferSession& session,
                              COffer& offer);
    // The manifest of a product without pins, read in the thread's ANSI code
    // page. False, logged when it is a manifest with a malformed field, when
    // it can't be used.
    bool ReadUnsignedManifest(const CProduct& product, const std::string& manifest,
                              COffer& offer);
    // The offer's installer address and what's-new address, when the
    // manifest came over http or https, must be http or https themselves;
    // each other one is logged. False when the installer address is refused;
    // whatsNewUrl is the what's-new address, or empty when refused.
    bool CheckManifestAddresses(const std::wstring& address, const COffer& offer,
                                std::wstring& whatsNewUrl);
    // True, logged, when this machine does not take the offered version:
    // its bucket (Rollout.h) is not below the offer's rollout.
    bool IsHeldBack(const COffer& offer);
    // True, logged, when the offered version failed to install too often to
    // be tried again.
    bool HasFailedTooOften(const CInstallFailures& failures, const CProduct& product,
                           const COffer& offer);
    // Counts the attempt, journals the values to preserve, then runs the
    // uninstall actions and the registry actions. False, logged and nothing
    // run or removed (and the attempt not counted), when the attempt could
    // not be counted or the journal could not be written; else journal is
    // its path (empty when nothing is preserved).
    bool ClearWayForInstaller(const CProduct& product, const COffer& offer,
                              CInstallFailures& failures, CSavedValues& saved,
                              std::wstring& journal);
    // Runs the installer, with a new folder inside its staging folder as its
    // TEMP and TMP. An installer that succeeded took only when the product's
    // entry in the products file now has the offered version or a later
    // one: then its failure counts go. Otherwise the attempt stays counted
    // ("Installer of %s ended without registering version %s; the product
    // says %s\n", kNotRegistered).
    InstallerEnd InstallAndCount(const CProduct& product, const COffer& offer,
                                 const CStagedFile& installer, CInstallFailures& failures);
    // Writes the preserved values back one by one, each dropped from the
    // journal once it is on the disk; the journal goes once every value is
    // back, else it stays with those that failed, for the next check. False,
    // logged, when a value could not be written back or the journal could
    // not be removed.
    bool RestoreAfterInstaller(const CProduct& product, CSavedValues& saved,
                               const std::wstring& journal);
    // Tells a verified offer's report address how an attempt ended, unless
    // reports are turned off on this machine; logged, never changing the
    // outcome.
    void Report(const CProduct& product, const COffer& offer, ReportResult result,
                uint32_t code, CTransferSession& session);
};
