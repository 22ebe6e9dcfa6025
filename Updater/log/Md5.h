#pragma once

#include "common/Handles.h"

#include <cstddef>
#include <cstdint>
#include <string>

// An MD5 digest (RFC 1321) through the platform's cryptographic service, fed
// in as many pieces as the caller likes.
class CMd5Hash {
public:
    // Acquires a verify-only provider context and an MD5 hash object.
    CMd5Hash();
    // False when the provider or the hash object could not be had, or after
    // a failed Add.
    bool IsValid() const { return m_ok; }
    // Hashes count more bytes; false (and the hash unusable) on failure.
    bool Add(const void* bytes, size_t count);
    // The digest of everything added; false (digest untouched) on failure.
    bool Finish(uint8_t (&digest)[16]);

private:
    UniqueCryptProv m_prov;
    UniqueCryptHash m_hash;  // declared after the provider: destroyed first
    bool m_ok;
};

// The digest of a buffer in one call. On failure the result is false and
// digest is all zero.
bool ComputeBufferMd5(const void* bytes, size_t count, uint8_t (&digest)[16]);

// FormatMd5Hex of ComputeBufferMd5; 32 zeros when it can't be computed.
std::wstring GetBufferMd5Hex(const void* bytes, size_t count);
