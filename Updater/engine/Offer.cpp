#include "engine/Offer.h"

#include "catalogue/Update.h"
#include "common/TextNumbers.h"
#include "engine/ManifestFields.h"
#include "system/Version.h"

bool ReadOffer(const CUpdate& update, bool verified, COffer& offer, const wchar_t*& field) {
    COffer read;
    read.intname = update.intname;
    read.version = update.version;
    read.installerUrl = update.installerurl;
    read.whatsNewUrl = update.whatsnewurl;
    read.verified = verified;
    uint64_t rollout = 100;
    if (!update.rollout.empty() && !ParseDecimal(update.rollout, 100, rollout)) {
        field = L"rollout";
        return false;
    }
    read.rollout = static_cast<unsigned>(rollout);
    if (verified) {
        const wchar_t* bad = nullptr;
        if (!ParseUtcTime(update.expires, read.expires))
            bad = L"expires";
        else if (!ParseSha256Hex(update.sha256, read.sha256))
            bad = L"sha256";
        else if (!ParseByteCount(update.size, read.size))
            bad = L"size";
        // Signed after it expires: no publisher's tool writes that.
        else if (!ParseUtcTime(update.issued, read.issued) || read.issued > read.expires)
            bad = L"issued";
        else if (!update.whatsnewsha256.empty() &&
                 !ParseSha256Hex(update.whatsnewsha256, read.whatsNewSha256))
            bad = L"whatsnewsha256";
        else if (!update.reporturl.empty() && !IsHttpAddress(update.reporturl))
            bad = L"reporturl";
        if (bad) {
            field = bad;
            return false;
        }
        read.issuedText = update.issued;
        read.hasWhatsNewSha256 = !update.whatsnewsha256.empty();
        read.reportUrl = update.reporturl;
    }
    offer = read;
    return true;
}

bool HasRegisteredOffer(const std::wstring& registered, const std::wstring& offered) {
    return !IsVersionLess(registered, offered);
}
