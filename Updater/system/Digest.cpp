#include "system/Digest.h"

namespace {

// The SHA-2 identifiers; the headers declare them only for later Windows
// versions than the one this program is built for, whose AES provider has
// them all the same.
const ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;
const ALG_ID kSha384 = ALG_CLASS_HASH | ALG_TYPE_ANY | 13;
const ALG_ID kSha512 = ALG_CLASS_HASH | ALG_TYPE_ANY | 14;

ALG_ID AlgorithmId(DigestAlgorithm algorithm) {
    switch (algorithm) {
    case DigestAlgorithm::Sha1:
        return CALG_SHA1;
    case DigestAlgorithm::Sha256:
        return kSha256;
    case DigestAlgorithm::Sha384:
        return kSha384;
    case DigestAlgorithm::Sha512:
        return kSha512;
    case DigestAlgorithm::Md5:
        return CALG_MD5;
    default:
        return 0;
    }
}

}  // namespace

CDigest::CDigest(DigestAlgorithm algorithm) : m_ok(false) {
    ALG_ID id = AlgorithmId(algorithm);
    m_ok = id != 0 &&
           ::CryptAcquireContextW(m_prov.Put(), nullptr, nullptr, PROV_RSA_AES,
                                  CRYPT_VERIFYCONTEXT) &&
           ::CryptCreateHash(m_prov.Get(), id, 0, 0, m_hash.Put());
}

bool CDigest::Add(const void* bytes, size_t count) {
    m_ok = m_ok && ::CryptHashData(m_hash.Get(), static_cast<const BYTE*>(bytes),
                                   static_cast<DWORD>(count), 0);
    return m_ok;
}

bool CDigest::Finish(std::vector<uint8_t>& digest) {
    DWORD length = 0;
    DWORD lengthSize = sizeof length;
    if (!m_ok || !::CryptGetHashParam(m_hash.Get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&length),
                                      &lengthSize, 0))
        return false;
    std::vector<uint8_t> value(length);
    if (length == 0 || !::CryptGetHashParam(m_hash.Get(), HP_HASHVAL, value.data(), &length, 0))
        return false;
    value.resize(length);
    digest.swap(value);
    return true;
}

bool ComputeDigest(DigestAlgorithm algorithm, const void* bytes, size_t count,
                   std::vector<uint8_t>& digest) {
    CDigest hash(algorithm);
    return hash.Add(bytes, count) && hash.Finish(digest);
}
