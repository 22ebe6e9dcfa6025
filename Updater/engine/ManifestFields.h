#pragma once

#include <cstdint>
#include <string>

// Strict readers of the values a signed manifest carries, and the rules for
// the addresses a manifest names. Portable; none of them logs.

// Seconds since 1970-01-01T00:00:00Z of a time written exactly as
// "YYYY-MM-DDThh:mm:ssZ" (UTC; year 1970 to 9999, a real day of its month,
// hour 0-23, minute and second 0-59: no leap second, no fraction, no offset,
// nothing before or after). False, seconds untouched, for anything else.
bool ParseUtcTime(const std::wstring& text, int64_t& seconds);

// A length in bytes written as 1 to 19 decimal digits and nothing else (no
// sign, no blanks), at most 2^63 - 1. False, bytes untouched, otherwise.
bool ParseByteCount(const std::wstring& text, uint64_t& bytes);

// A SHA-256 digest written as exactly 64 hexadecimal digits, either case.
// False, digest untouched, otherwise.
bool ParseSha256Hex(const std::wstring& text, uint8_t (&digest)[32]);

// True when the address begins with "http:" or "https:" (scheme in any
// letter case): the only addresses a manifest fetched from the network may
// send the Updater to. Anything else, a blank in front included, is not.
bool IsHttpAddress(const std::wstring& address);

// The address of a manifest's signature: ".sig" appended to the path of
// the manifest's address, before any "?query" or "#fragment"
// ("https://h/pad/update.xml?id=X" -> "https://h/pad/update.xml.sig?id=X"),
// so that a server of plain files finds it beside the manifest.
std::wstring SignatureAddress(const std::wstring& manifestAddress);
