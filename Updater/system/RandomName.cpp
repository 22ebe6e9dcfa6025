#include "system/RandomName.h"

#include "common/Handles.h"
#include "common/TextNumbers.h"

std::wstring RandomName() {
    UniqueCryptProv provider;
    BYTE bytes[16];
    if (!::CryptAcquireContextW(provider.Put(), nullptr, nullptr, PROV_RSA_FULL,
                                CRYPT_VERIFYCONTEXT) ||
        !::CryptGenRandom(provider.Get(), sizeof bytes, bytes))
        return std::wstring();
    return HexBytes(bytes, sizeof bytes);
}
