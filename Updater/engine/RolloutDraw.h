#pragma once

#include <cstdint>
#include <string>

// The digests a machine's id is drawn through (Rollout.h, Report.h), taken
// with the platform's SHA-256.

// The machine's bucket, 0 to 99, for a version of a product; false when
// the digest could not be taken.
bool DrawRolloutBucket(const std::wstring& id, const std::wstring& intname,
                       const std::wstring& version, unsigned& bucket);

// The SHA-256 that names the machine to a product's publisher; false,
// digest untouched, when it could not be taken.
bool DrawMachineDigest(const std::wstring& id, const std::wstring& intname,
                       uint8_t (&digest)[32]);
