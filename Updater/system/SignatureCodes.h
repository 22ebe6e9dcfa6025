#pragma once

#include <cstdint>

// Why a signature check of the Updater's own refused a file or a signature.
// Negative status codes with the customer bit set, so that none of them is
// ever one of the system's own codes; the publishing section of the README
// lists them.

// Embedded Authenticode signatures of installers.
const int32_t kSignatureUnreadable = static_cast<int32_t>(0xA0AC0001);         // file can't be read
const int32_t kSignatureNotPeImage = static_cast<int32_t>(0xA0AC0002);         // no PE headers
const int32_t kSignatureNoCertificateTable = static_cast<int32_t>(0xA0AC0003); // no signature in it
const int32_t kSignatureBadCertificateTable = static_cast<int32_t>(0xA0AC0004);
const int32_t kSignatureDataAfterCertificates = static_cast<int32_t>(0xA0AC0005);
const int32_t kSignatureMalformed = static_cast<int32_t>(0xA0AC0006);
const int32_t kSignatureNotIndirectData = static_cast<int32_t>(0xA0AC0007);
const int32_t kSignatureNotForPeImage = static_cast<int32_t>(0xA0AC0008);
const int32_t kSignatureUnknownDigest = static_cast<int32_t>(0xA0AC0009);
const int32_t kSignatureContentDigestMismatch = static_cast<int32_t>(0xA0AC000A);
const int32_t kSignatureImageDigestMismatch = static_cast<int32_t>(0xA0AC000B);
const int32_t kSignatureDigestFailed = static_cast<int32_t>(0xA0AC000C);  // no digest computed

// Detached signatures of documents.
const int32_t kDetachedMalformed = static_cast<int32_t>(0xA0DE0001);
const int32_t kDetachedNoCertificate = static_cast<int32_t>(0xA0DE0002);
const int32_t kDetachedNotSha256 = static_cast<int32_t>(0xA0DE0003);
const int32_t kDetachedNotRsa = static_cast<int32_t>(0xA0DE0004);
const int32_t kDetachedSignatureInvalid = static_cast<int32_t>(0xA0DE0005);
const int32_t kDetachedDigestMismatch = static_cast<int32_t>(0xA0DE0006);
const int32_t kDetachedDigestFailed = static_cast<int32_t>(0xA0DE0007);  // no digest computed
