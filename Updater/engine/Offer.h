#pragma once

#include <cstdint>
#include <string>

class CUpdate;

// What a manifest offers, read from it once: the download, the notice, the
// rollout and the report take everything from here. A verified offer comes
// from a manifest whose signature was checked (a product with publisher
// pins); only such an offer carries the installer's digest and size, the
// manifest's times, a what's-new digest and a report address.
struct COffer {
    std::wstring intname;
    std::wstring version;
    std::wstring installerUrl;
    std::wstring whatsNewUrl;    // empty: no notice
    unsigned rollout = 100;      // percentage of machines that take the version
    bool verified = false;
    // The rest only for a verified offer.
    uint64_t size = 0;           // the installer's length in bytes
    uint8_t sha256[32] = {};     // the installer's SHA-256
    int64_t expires = 0;         // seconds since 1970, UTC
    int64_t issued = 0;
    std::wstring issuedText;     // as the manifest writes it, for the record and the log
    bool hasWhatsNewSha256 = false;
    uint8_t whatsNewSha256[32] = {};
    std::wstring reportUrl;      // empty: no reports
};

// Reads the offer of a manifest. A verified one must carry a well-formed
// sha256, size, expires and issued (not later than expires), and may carry
// whatsnewsha256 (64 hexadecimal digits), rollout and reporturl (an http or
// https address); those three are left out of an unverified one but its
// rollout, which applies to every manifest. rollout is 0 to 100 in decimal
// digits (100 when absent). False, with field naming the first attribute
// that is missing or malformed and offer untouched, otherwise.
bool ReadOffer(const CUpdate& update, bool verified, COffer& offer, const wchar_t*& field);

// True when a product whose entry now says registered has taken an offer of
// offered: the same version or a later one, compared as the check compares
// versions. An installer that registers another version ("1.3" for
// "1.30") would otherwise be offered its update again at every check.
bool HasRegisteredOffer(const std::wstring& registered, const std::wstring& offered);
