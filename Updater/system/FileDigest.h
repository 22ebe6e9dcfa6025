#pragma once

#include "system/DigestAlgorithm.h"

#include <cstdint>
#include <vector>

// The digest of an open file's whole content (file: a handle with read
// access), read from its start in 16 KiB chunks through the platform's
// cryptographic service (CDigest). False, digest untouched, on failure,
// including a read that fails part way.
bool ComputeOpenFileDigest(DigestAlgorithm algorithm, void* file, std::vector<uint8_t>& digest);

// ComputeOpenFileDigest by SHA-256 (FIPS 180-4); digest untouched on failure.
bool ComputeOpenFileSha256(void* file, uint8_t (&digest)[32]);

// ComputeOpenFileDigest by MD5 (RFC 1321). On failure the result is false
// and digest is all zero, so that a refusal never shows an earlier digest.
bool ComputeOpenFileMd5(void* file, uint8_t (&digest)[16]);

// The length in bytes of an open file. False, size untouched, when it can't
// be read.
bool GetOpenFileSize(void* file, uint64_t& size);
