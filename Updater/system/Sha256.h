#pragma once

#include <cstdint>

// The SHA-256 digest (FIPS 180-4) of an open file's whole content (file: a
// handle with read access), read from its start in 16 KiB chunks through the
// platform's cryptographic service (CDigest). On failure the result is false and
// digest is untouched.
bool ComputeOpenFileSha256(void* file, uint8_t (&digest)[32]);

// The length in bytes of an open file. False, size untouched, when it can't
// be read.
bool GetOpenFileSize(void* file, uint64_t& size);
