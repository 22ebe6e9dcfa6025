#pragma once

#include "common/Handles.h"
#include "system/DigestAlgorithm.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A digest by one of the DigestAlgorithm algorithms, through the platform's
// AES provider (the one that offers SHA-2 beside SHA-1 and MD5), fed in as
// many pieces as the caller likes.
class CDigest {
public:
    // Acquires a verify-only provider context and a hash object; invalid
    // for DigestAlgorithm::Unknown.
    explicit CDigest(DigestAlgorithm algorithm);
    // False when the provider or the hash object could not be had, or after
    // a failed Add.
    bool IsValid() const { return m_ok; }
    // Hashes count more bytes; false (and the hash unusable) on failure.
    bool Add(const void* bytes, size_t count);
    // The digest of everything added; false (digest untouched) on failure.
    bool Finish(std::vector<uint8_t>& digest);

private:
    UniqueCryptProv m_prov;
    UniqueCryptHash m_hash;  // declared after the provider: destroyed first
    bool m_ok;
};

// The digest of a buffer in one call; false (digest untouched) on failure.
bool ComputeDigest(DigestAlgorithm algorithm, const void* bytes, size_t count,
                   std::vector<uint8_t>& digest);
