#pragma once

#include <cstddef>
#include <string>

// The digest algorithms a signature may name that the Updater computes.
enum class DigestAlgorithm { Unknown, Sha1, Sha256, Sha384, Sha512 };

// The algorithm of a dotted object identifier (of an AlgorithmIdentifier);
// Unknown for any other.
DigestAlgorithm DigestAlgorithmFromOid(const std::string& oid);

// The length of the algorithm's digests in bytes; 0 for Unknown.
size_t DigestLength(DigestAlgorithm algorithm);
