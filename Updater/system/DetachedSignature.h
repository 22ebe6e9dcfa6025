#pragma once

#include <cstdint>
#include <string>

// Checks a detached signature of content: a DER CMS SignedData of one
// signer over exactly these bytes, RSA with SHA-256, carrying the signer's
// certificate. The platform verifies the signature; because a platform may
// check only the signature over the signed attributes (Wine does), they are
// read here when there are any: they must name the content type data once,
// and their one messageDigest must be the SHA-256 of content. Whose key it
// is stays the caller's question.
//
// Returns 0, with keyDigest the SHA-256 of the DER-encoded
// SubjectPublicKeyInfo of the signer's certificate (the publisher pin), or
// one of the kDetached* codes of system/SignatureCodes.h; keyDigest is
// untouched on failure.
long VerifyDetachedSignature(const std::string& content, const std::string& signature,
                             uint8_t (&keyDigest)[32]);
