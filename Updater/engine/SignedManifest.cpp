#include "engine/UpdateEngine.h"

#include "catalogue/Product.h"
#include "catalogue/Update.h"
#include "engine/ManifestFields.h"
#include "engine/OfferedVersions.h"
#include "engine/PublisherPins.h"
#include "engine/StateFolder.h"
#include "engine/TransferSession.h"
#include "log/LogText.h"
#include "log/Logger.h"
#include "system/DetachedSignature.h"
#include "system/UtcClock.h"
#include "system/Version.h"

namespace {

// The code of a manifest whose signature could not be fetched: the
// system's "file not found" as a status code.
const long kSignatureMissing = static_cast<long>(0x80070002);

// The versions signed manifests offered, beside the products file this
// check works on; empty when that folder can't be resolved.
std::wstring OfferedVersionsPath() { return StateFilePath(L"OfferedVersions.txt"); }

// The values a signed manifest must carry, well-formed; logs the first one
// that is missing or malformed.
bool HasSignedFields(const CProduct& product, const CUpdate& update, int64_t& expires) {
    uint8_t digest[32];
    uint64_t size;
    const wchar_t* missing = nullptr;
    if (!ParseUtcTime(update.expires, expires))
        missing = L"expires";
    else if (!ParseSha256Hex(update.sha256, digest))
        missing = L"sha256";
    else if (!ParseByteCount(update.size, size))
        missing = L"size";
    if (!missing)
        return true;
    Logger::LogRef log;
    log->Write(L"Manifest of %s has no valid %s\n", ForLog(product.intname).c_str(), missing);
    return false;
}

}  // namespace

bool CUpdateEngine::AcceptSignedManifest(const CProduct& product, const std::wstring& address,
                                         const std::string& manifest, const CUpdate& update,
                                         CTransferSession& session) {
    Logger::LogRef log;
    const std::wstring name = ForLog(product.intname);

    // The signature covers the bytes as fetched, before any conversion.
    const std::wstring signatureAddress = SignatureAddress(address);
    std::string signature;
    TransferResult fetched = session.FetchBytes(signatureAddress, signature);
    session.LogGivenUp(signatureAddress, fetched);
    uint8_t keyDigest[32];
    long status = fetched.Succeeded() ? VerifyDetachedSignature(manifest, signature, keyDigest)
                                      : kSignatureMissing;
    if (status != 0) {
        log->Write(L"Manifest signature check failed for %s %08x\n", name.c_str(),
                   static_cast<unsigned>(status));
        return false;
    }
    if (!MatchesPublisherPin(product.signer, keyDigest)) {
        log->Write(L"Manifest of %s is signed by a key that is not pinned\n", name.c_str());
        return false;
    }
    // One product's manifest, signed by the same key, is not another's.
    if (update.intname != product.intname) {
        log->Write(L"Manifest of %s names product %s\n", name.c_str(),
                   ForLog(update.intname).c_str());
        return false;
    }
    int64_t expires = 0;
    if (!HasSignedFields(product, update, expires))
        return false;
    // Bounds how long a server can keep offering an old manifest in place
    // of a newer one.
    if (UtcNowSeconds() > expires) {
        log->Write(L"Manifest of %s expired on %s\n", name.c_str(), ForLog(update.expires).c_str());
        return false;
    }

    COfferedVersions offered(OfferedVersionsPath());
    if (!offered.IsUsable()) {
        log->Write(L"Manifest of %s refused: the versions offered before can't be known\n",
                   name.c_str());
        return false;
    }
    const std::wstring highest = offered.Highest(product.intname);
    if (!highest.empty() && IsVersionLess(update.version, highest)) {
        log->Write(L"Manifest of %s offers %s, older than %s offered before\n", name.c_str(),
                   ForLog(update.version).c_str(), ForLog(highest).c_str());
        return false;
    }
    // Kept before anything else happens: a later failure in this check must
    // not let an older manifest through in the next.
    if (!offered.Record(product.intname, update.version))
        log->Write(L"Failed to record version %s offered for %s\n", ForLog(update.version).c_str(),
                   name.c_str());
    return true;
}
