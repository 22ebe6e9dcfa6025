#pragma once

#include <cstdint>
#include <string>

// Checks the Authenticode signature embedded in an open file: the system's
// generic verification policy, no user interface, and no revocation lookup
// over the network. The bytes checked are read through file, so they are the
// bytes of that open file whatever happens to the path meanwhile; path only
// names the file to the trust provider.
//
// Returns the verification status: 0 when the signature is present and the
// file's digest matches it, else the provider's failure code (for example
// 0x800B0100, no signature; 0x80096010, digest mismatch), the code of the
// first of the Updater's own checks that fails once the provider accepted
// the file (CheckImageSignature), or E_FAIL when the signer's key could not
// be read. On 0, keyDigest holds the SHA-256 of the
// DER-encoded SubjectPublicKeyInfo of the leaf signing certificate; on
// failure it is left untouched.
long VerifyEmbeddedSignature(void* file, const std::wstring& path, uint8_t (&keyDigest)[32]);
