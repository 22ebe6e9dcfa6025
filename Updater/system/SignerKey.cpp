#include "system/SignerKey.h"

#include "system/Digest.h"

#include <cstring>
#include <vector>

bool GetPublicKeyDigest(const CERT_CONTEXT& certificate, uint8_t (&digest)[32]) {
    CERT_PUBLIC_KEY_INFO* key = &certificate.pCertInfo->SubjectPublicKeyInfo;
    DWORD size = 0;
    if (!::CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, 0, nullptr, nullptr,
                               &size) ||
        size == 0)
        return false;
    std::vector<BYTE> der(size);
    if (!::CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, 0, nullptr,
                               der.data(), &size))
        return false;
    std::vector<uint8_t> value;
    if (!ComputeDigest(DigestAlgorithm::Sha256, der.data(), size, value) ||
        value.size() != sizeof digest)
        return false;
    std::memcpy(digest, value.data(), sizeof digest);
    return true;
}
