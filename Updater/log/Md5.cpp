#include "log/Md5.h"

#include "log/Md5Text.h"

#include <cstring>

CMd5Hash::CMd5Hash() : m_ok(false) {
    m_ok = ::CryptAcquireContextW(m_prov.Put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
           ::CryptCreateHash(m_prov.Get(), CALG_MD5, 0, 0, m_hash.Put());
}

bool CMd5Hash::Add(const void* bytes, size_t count) {
    m_ok = m_ok && ::CryptHashData(m_hash.Get(), static_cast<const BYTE*>(bytes), static_cast<DWORD>(count), 0);
    return m_ok;
}

bool CMd5Hash::Finish(uint8_t (&digest)[16]) {
    uint8_t value[16] = {0};
    DWORD length = sizeof value;
    if (!m_ok || !::CryptGetHashParam(m_hash.Get(), HP_HASHVAL, value, &length, 0))
        return false;
    std::memcpy(digest, value, sizeof digest);
    return true;
}

bool ComputeBufferMd5(const void* bytes, size_t count, uint8_t (&digest)[16]) {
    std::memset(digest, 0, sizeof digest);
    CMd5Hash hash;
    return hash.Add(bytes, count) && hash.Finish(digest);
}

std::wstring GetBufferMd5Hex(const void* bytes, size_t count) {
    uint8_t digest[16];
    ComputeBufferMd5(bytes, count, digest);
    return FormatMd5Hex(digest);
}
