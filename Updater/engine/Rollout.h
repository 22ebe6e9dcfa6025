#pragma once

#include <cstdint>
#include <string>

// Staged rollout: a publisher offers a version to a percentage of machines,
// and each machine draws its bucket for that version from its id, so that it
// gets the same answer at every check of one version and a new draw for the
// next. Portable: the digest itself is the platform's.

// The text whose SHA-256 is a machine's draw for a version: the UTF-8 of
// "<id>|<intname>|<version>".
std::string RolloutText(const std::wstring& id, const std::wstring& intname,
                        const std::wstring& version);

// The bucket, 0 to 99, of that draw: the digest's first 4 bytes read as a
// big-endian unsigned number, modulo 100.
unsigned RolloutBucket(const uint8_t (&digest)[32]);

// True when a machine in bucket takes a version rolled out to rollout
// percent of machines: its bucket is below it (none at 0, all at 100).
inline bool IsInRollout(unsigned bucket, unsigned rollout) { return bucket < rollout; }
