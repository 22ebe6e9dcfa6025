#include "UpdateEngine.h"

#include "Logger.h"
#include "catalogue/Product.h"
#include "catalogue/Update.h"
#include "engine/InstallerName.h"
#include "engine/PublisherPins.h"
#include "engine/TransferSession.h"
#include "system/Authenticode.h"
#include "system/Folders.h"
#include "system/Md5.h"
#include "system/Md5Text.h"
#include "system/RunContext.h"
#include "system/StagedFile.h"
#include "system/TextCodec.h"

#include <windows.h>

#include <cwchar>

namespace {

const size_t kDigestChars = 32;

// Text from the network as it may stand in one log record: control
// characters (a line end inside a short checksum or an address) become "?".
std::wstring ForLog(std::wstring text) {
    for (wchar_t& c : text) {
        if (c < 0x20 || c == 0x7F)
            c = L'?';
    }
    return text;
}

// The signature check of a pinned product: the file's embedded signature
// must be valid and its signer's key one of the pins. Logs a refusal.
bool IsSignedByPinnedPublisher(const CStagedFile& installer, const std::wstring& signer) {
    Logger::LogRef log;
    uint8_t keyDigest[32];
    long status = VerifyEmbeddedSignature(installer.File(), installer.Path(), keyDigest);
    if (status != 0) {
        log->Write(L"Installer signature check failed %08x\n", static_cast<unsigned>(status));
        return false;
    }
    if (!MatchesPublisherPin(signer, keyDigest)) {
        log->Write(L"Installer signer is not trusted\n");
        return false;
    }
    return true;
}

}  // namespace

bool CUpdateEngine::DownloadInstaller(const CProduct& product, const CUpdate& update,
                                      CTransferSession& session, CStagedFile& installer) {
    Logger::LogRef log;
    // intname and version come from the network: a name that could leave the
    // staging folder counts as a failed download. The installer goes into a
    // folder of its own, new and unpredictable, closed to other accounts when
    // the installer will run as the local system account; whatever is
    // refused below is removed with it when installer goes.
    std::wstring fileName;
    TransferResult download;
    if (MakeInstallerFileName(update.intname, update.version, fileName) &&
        installer.Create(GetTempFolder(), fileName, IsLocalSystem()) &&
        installer.Path().size() < MAX_PATH)
        download = session.Download(update.installerurl, installer.Path());
    if (!download.Succeeded() || !installer.Lock()) {
        log->Write(L"Failed to download installer from %s\n",
                   ForLog(update.installerurl).c_str());
        session.LogGivenUp(update.installerurl, download);
        return false;
    }

    std::wstring checksumUrl = update.installerurl + L".md5";
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

    // Digest and signature are taken over the locked file: the bytes checked
    // are the bytes that run.
    uint8_t digest[16];
    bool computed = ComputeOpenFileMd5(installer.File(), digest);
    std::wstring actual = FormatMd5Hex(digest);
    if (!computed || _wcsicmp(expected.c_str(), actual.c_str()) != 0) {
        log->Write(L"Installer checksum mismatch: expected %s, got %s\n",
                   ForLog(expected).c_str(), actual.c_str());
        return false;
    }

    // The checksum comes from the same server as the installer; only a
    // publisher's signature proves where the installer comes from.
    if (HasPublisherPins(product.signer) && !IsSignedByPinnedPublisher(installer, product.signer))
        return false;
    return true;
}
