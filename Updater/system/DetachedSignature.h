#pragma once

#include <cstdint>
#include <string>

// Checks a detached signature of content: a DER CMS SignedData of one
// signer over exactly these bytes, RSA with SHA-256, carrying the signer's
// certificate. The platform verifies the signature; because a platform may
// check only the signature over the signed attributes (Wine does), the
// messageDigest among them, when there are any, is compared here with the
// SHA-256 of content. Whose key it is stays the caller's question.
//
// Returns 0, with keyDigest the SHA-256 of the DER-encoded
// SubjectPublicKeyInfo of the signer's certificate (the publisher pin), or
// one of the kDetached* codes of system/SignatureCodes.h; keyDigest is
// untouched on failure.
long VerifyDetachedSignature(const std::string& content, const std::string& signature,
                             uint8_t (&keyDigest)[32]);
