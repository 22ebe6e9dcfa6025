#pragma once

#include <cstdint>
#include <string>

// The report a machine sends its publisher after an install attempt: one
// GET of the manifest's report address with the attempt in its query, so
// that the web server that serves the files logs it and no server of the
// publisher's own is needed. Portable.

// How an attempt ended, as the report names it.
enum class ReportResult {
    kInstalled,      // "installed"
    kFailed,         // "failed": an exit code other than success, or no start
    kTimedOut,       // "timedout": stopped at the installer limit
    kNotRegistered,  // "notregistered": succeeded without registering the version
    kRefused,        // "refused": the download was refused (digest, size, signature)
};

const wchar_t* ReportResultName(ReportResult result);

// The codes of a refused installer that its signature check gives none of
// (those of system/SignatureCodes.h): customer status codes of their own.
const uint32_t kInstallerSizeMismatch = 0xA0A10001;    // not the signed size
const uint32_t kInstallerDigestMismatch = 0xA0A10002;  // not the signed SHA-256
const uint32_t kInstallerSignerNotPinned = 0xA0A10003; // validly signed by another key

// The text as a URL query value: its UTF-8 bytes, the unreserved characters
// of RFC 3986 (letters, digits, "-", ".", "_", "~") as they are and every
// other byte as "%" and two upper-case hexadecimal digits.
std::wstring PercentEncoded(const std::wstring& text);

// The text whose SHA-256 names a machine to a publisher: the UTF-8 of
// "<id>|<intname>", so that one product's machines can be counted but not
// linked to another product's.
std::string MachineText(const std::wstring& id, const std::wstring& intname);

// The report's address: reportUrl followed by "?" (or "&" when it has a
// query already) and intname, from, to, result, code (8 lower-case
// hexadecimal digits) and machine (the first 16 hexadecimal digits of the
// SHA-256 of MachineText), each value percent-encoded. A fragment of
// reportUrl is dropped: it is never sent.
std::wstring ReportAddress(const std::wstring& reportUrl, const std::wstring& intname,
                           const std::wstring& from, const std::wstring& to, ReportResult result,
                           uint32_t code, const uint8_t (&machineDigest)[32]);
