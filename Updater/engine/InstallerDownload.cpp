#include "engine/UpdateEngine.h"

#include "catalogue/Product.h"
#include "common/TextNumbers.h"
#include "engine/InstallerName.h"
#include "engine/Offer.h"
#include "engine/PublisherPins.h"
#include "engine/TransferSession.h"
#include "engine/WaitLimits.h"
#include "log/LogText.h"
#include "log/Logger.h"
#include "log/Md5Text.h"
#include "system/Authenticode.h"
#include "system/FileDigest.h"
#include "system/Folders.h"
#include "system/RunContext.h"
#include "system/StagedFile.h"
#include "system/TextCodec.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

namespace {

const size_t kDigestChars = 32;

// The signature check of a pinned product: the file's embedded signature
// must be valid and its signer's key one of the pins. Logs a refusal, with
// its code.
bool IsSignedByPinnedPublisher(const CStagedFile& installer, const std::wstring& signer,
                               uint32_t& code) {
    Logger::LogRef log;
    uint8_t keyDigest[32];
    long status = VerifyEmbeddedSignature(installer.File(), installer.Path(), keyDigest);
    if (status != 0) {
        log->Write(L"Installer signature check failed %08x\n", static_cast<unsigned>(status));
        code = static_cast<uint32_t>(status);
        return false;
    }
    if (!MatchesPublisherPin(signer, keyDigest)) {
        log->Write(L"Installer signer is not trusted\n");
        code = kInstallerSignerNotPinned;
        return false;
    }
    return true;
}

// The installer of a verified offer: its length and SHA-256 must be the
// offer's. Logs a refusal, with its code.
bool MatchesOffer(const CStagedFile& installer, const COffer& offer, uint32_t& code) {
    Logger::LogRef log;
    uint64_t size = 0;
    if (!GetOpenFileSize(installer.File(), size) || size != offer.size) {
        log->Write(L"Installer size mismatch: expected %s, got %s\n", DecimalText(offer.size).c_str(),
                   DecimalText(size).c_str());
        code = kInstallerSizeMismatch;
        return false;
    }
    uint8_t digest[32] = {0};
    bool computed = ComputeOpenFileSha256(installer.File(), digest);
    if (!computed || std::memcmp(digest, offer.sha256, sizeof digest) != 0) {
        log->Write(L"Installer digest mismatch: expected %s, got %s\n",
                   HexBytes(offer.sha256, sizeof offer.sha256).c_str(),
                   HexBytes(digest, sizeof digest).c_str());
        code = kInstallerDigestMismatch;
        return false;
    }
    return true;
}

// The installer of an unsigned manifest: its MD5 must be the one published
// beside it. Logs a refusal.
bool MatchesPublishedChecksum(const CStagedFile& installer, const COffer& offer,
                              CTransferSession& session) {
    Logger::LogRef log;
    std::wstring checksumUrl = offer.installerUrl + L".md5";
    std::string checksum;
    TransferResult fetched = session.Fetch(checksumUrl, checksum);
    if (checksum.empty()) {
        log->Write(L"Failed to get installer checksum from %s\n", ForLog(checksumUrl).c_str());
        session.LogGivenUp(checksumUrl, fetched);
        return false;
    }
    if (checksum.size() > kDigestChars)
        checksum.resize(kDigestChars);
    std::wstring expected = BytesToWide(checksum.data(), checksum.size(), CodePage::ThreadAnsi);

    uint8_t digest[16];
    bool computed = ComputeOpenFileMd5(installer.File(), digest);
    std::wstring actual = FormatMd5Hex(digest);
    if (!computed || _wcsicmp(expected.c_str(), actual.c_str()) != 0) {
        log->Write(L"Installer checksum mismatch: expected %s, got %s\n",
                   ForLog(expected).c_str(), actual.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool CUpdateEngine::DownloadInstaller(const CProduct& product, const COffer& offer,
                                      CTransferSession& session, CStagedFile& installer,
                                      bool& refused, uint32_t& code) {
    Logger::LogRef log;
    refused = false;
    // A verified offer names the installer's length, and nothing longer is
    // read: the byte past it is enough to tell that a server sends too much,
    // however much it would send. Any other installer is read to the
    // general cap. A pinned product's offer is always a verified one.
    const bool pinned = HasPublisherPins(product.signer);
    if (pinned && !offer.verified)
        return false;
    const uint64_t maxBytes = pinned ? offer.size : GetWaitLimits().installerMaxBytes;

    // intname and version come from the network: a name that could leave the
    // staging folder counts as a failed download. The installer goes into a
    // folder of its own, new and unpredictable, closed to other accounts when
    // the installer will run as the local system account; whatever is
    // refused below is removed with it when installer goes.
    std::wstring fileName;
    TransferResult download;
    if (MakeInstallerFileName(offer.intname, offer.version, fileName) &&
        installer.Create(GetTempFolder(), fileName, IsLocalSystem()) &&
        installer.Path().size() < MAX_PATH)
        download = session.Download(offer.installerUrl, installer.Path(), maxBytes);
    if (pinned && download.cause == TransferCause::kTooLong) {
        // Reading ended at the first byte past the signed length.
        log->Write(L"Installer size mismatch: expected %s, got %s\n", DecimalText(offer.size).c_str(),
                   DecimalText(offer.size + 1).c_str());
        refused = true;
        code = kInstallerSizeMismatch;
        return false;
    }
    if (!download.Succeeded() || !installer.Lock()) {
        log->Write(L"Failed to download installer from %s\n", ForLog(offer.installerUrl).c_str());
        if (download.cause == TransferCause::kTooLong)
            log->Write(L"The installer is longer than %s bytes\n", DecimalText(maxBytes).c_str());
        session.LogGivenUp(offer.installerUrl, download);
        return false;
    }

    // Digests and signature are taken over the locked file: the bytes
    // checked are the bytes that run. Without pins the checksum comes from
    // the same server as the installer; with them the signed manifest says
    // which installer it is, and only a publisher's signature proves where
    // it comes from.
    if (!pinned)
        return MatchesPublishedChecksum(installer, offer, session);
    refused = !MatchesOffer(installer, offer, code) ||
              !IsSignedByPinnedPublisher(installer, product.signer, code);
    return !refused;
}
