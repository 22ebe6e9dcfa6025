#pragma once

#include <cstdint>
#include <string>

// A product's publisher pins (its "signer" attribute): one or more SHA-256
// digests of DER-encoded SubjectPublicKeyInfo structures, 64 hexadecimal
// digits each, separated by ";". Spaces around a pin are ignored and digits
// compare without regard to case.

// True when the product names any pin at all. A non-empty attribute counts
// even when no part of it is a well-formed pin: such a product accepts no
// installer rather than falling back to the checks of an unpinned one.
bool HasPublisherPins(const std::wstring& signer);

// True when one of the well-formed pins in signer equals keyDigest.
bool MatchesPublisherPin(const std::wstring& signer, const uint8_t (&keyDigest)[32]);
