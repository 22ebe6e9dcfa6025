#include "engine/UpdateEngine.h"

#include "catalogue/MyXMLDocument.h"
#include "catalogue/Product.h"
#include "catalogue/Update.h"
#include "engine/IssuedTimes.h"
#include "engine/ManifestFields.h"
#include "engine/Offer.h"
#include "engine/PublisherPins.h"
#include "engine/StateFolder.h"
#include "engine/TransferSession.h"
#include "log/LogText.h"
#include "log/Logger.h"
#include "system/DetachedSignature.h"
#include "system/UtcClock.h"

namespace {

// The code of a manifest whose signature could not be fetched: the
// system's "file not found" as a status code.
const long kSignatureMissing = static_cast<long>(0x80070002);

}  // namespace

bool CUpdateEngine::AcceptSignedManifest(const CProduct& product, const std::wstring& address,
                                         const std::string& manifest, CTransferSession& session,
                                         COffer& offer) {
    Logger::LogRef log;
    const std::wstring name = ForLog(product.intname);

    // The signature covers the bytes as fetched, and is checked before
    // anything reads them: no parser sees what the publisher did not sign.
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

    // The publisher's tool writes UTF-8, whatever this machine's code page.
    CUpdate update;
    MyXML::CMyXMLDocument document;
    if (document.OpenUtf8(manifest) != 0 || document.ReadNode(&update) != 0) {
        log->Write(L"Manifest of %s is no update manifest\n", name.c_str());
        return false;
    }
    // One product's manifest, signed by the same key, is not another's.
    if (update.intname != product.intname) {
        log->Write(L"Manifest of %s names product %s\n", name.c_str(),
                   ForLog(update.intname).c_str());
        return false;
    }
    COffer read;
    const wchar_t* field = nullptr;
    if (!ReadOffer(update, true, read, field)) {
        log->Write(L"Manifest of %s has no valid %s\n", name.c_str(), field);
        return false;
    }
    // Bounds how long a server can keep offering an old manifest in place
    // of a newer one.
    if (UtcNowSeconds() > read.expires) {
        log->Write(L"Manifest of %s expired on %s\n", name.c_str(), ForLog(update.expires).c_str());
        return false;
    }

    // A manifest the publisher signed before one already taken is a replay,
    // whatever version it offers; a later one may offer a lower version (a
    // release withdrawn).
    CIssuedTimes issued(StateFilePath(kIssuedTimesFile));
    if (!issued.IsUsable()) {
        log->Write(L"Manifest of %s refused: when manifests were issued before can't be known\n",
                   name.c_str());
        return false;
    }
    std::wstring latestText;
    int64_t latest = 0;
    if (issued.Latest(product.intname, latestText, latest) && read.issued < latest) {
        log->Write(L"Manifest of %s was issued at %s, earlier than one seen before (%s)\n",
                   name.c_str(), ForLog(read.issuedText).c_str(), ForLog(latestText).c_str());
        return false;
    }
    // Kept before anything of it is used: a later failure in this check
    // must not let an earlier manifest through in the next.
    if (!issued.Record(product.intname, read.issuedText)) {
        log->Write(L"Failed to record when the manifest of %s was issued\n", name.c_str());
        return false;
    }
    offer = read;
    return true;
}
