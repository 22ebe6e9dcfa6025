#include "Md5.h"

#include "Handles.h"
#include "Md5Text.h"

#include <cstring>

bool ComputeBufferMd5(const void* bytes, size_t count, uint8_t (&digest)[16]) {
    std::memset(digest, 0, sizeof digest);
    UniqueCryptProv prov;
    if (!::CryptAcquireContextW(prov.Put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return false;
    UniqueCryptHash hash;
    if (!::CryptCreateHash(prov.Get(), CALG_MD5, 0, 0, hash.Put()))
        return false;
    if (!::CryptHashData(hash.Get(), static_cast<const BYTE*>(bytes), static_cast<DWORD>(count), 0))
        return false;
    DWORD len = sizeof digest;
    if (!::CryptGetHashParam(hash.Get(), HP_HASHVAL, digest, &len, 0)) {
        std::memset(digest, 0, sizeof digest);
        return false;
    }
    return true;
}

std::wstring GetBufferMd5Hex(const void* bytes, size_t count) {
    uint8_t digest[16];
    ComputeBufferMd5(bytes, count, digest);
    return FormatMd5Hex(digest);
}
