#include "system/DigestAlgorithm.h"

DigestAlgorithm DigestAlgorithmFromOid(const std::string& oid) {
    if (oid == "1.3.14.3.2.26")
        return DigestAlgorithm::Sha1;
    if (oid == "2.16.840.1.101.3.4.2.1")
        return DigestAlgorithm::Sha256;
    if (oid == "2.16.840.1.101.3.4.2.2")
        return DigestAlgorithm::Sha384;
    if (oid == "2.16.840.1.101.3.4.2.3")
        return DigestAlgorithm::Sha512;
    return DigestAlgorithm::Unknown;
}

size_t DigestLength(DigestAlgorithm algorithm) {
    switch (algorithm) {
    case DigestAlgorithm::Sha1:
        return 20;
    case DigestAlgorithm::Sha256:
        return 32;
    case DigestAlgorithm::Sha384:
        return 48;
    case DigestAlgorithm::Sha512:
        return 64;
    case DigestAlgorithm::Md5:
        return 16;
    default:
        return 0;
    }
}
