#pragma once

#include <cstddef>
#include <string>

// The digest algorithms the Updater computes: those a signature may name,
// and MD5 for the checksums published beside unsigned manifests' installers.
enum class DigestAlgorithm { Unknown, Sha1, Sha256, Sha384, Sha512, Md5 };

// The algorithm of a dotted object identifier (of an AlgorithmIdentifier);
// Unknown for any other, MD5's included: no signature by MD5 is believed.
DigestAlgorithm DigestAlgorithmFromOid(const std::string& oid);

// The length of the algorithm's digests in bytes; 0 for Unknown.
size_t DigestLength(DigestAlgorithm algorithm);
