#include "system/Authenticode.h"

#include "Handles.h"

#include <softpub.h>
#include <wintrust.h>

#include <cstring>
#include <vector>

namespace {

// CALG_SHA_256; the headers declare it only for later Windows versions than
// the one this program is built for, whose AES provider has it all the same.
const ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;

// Keeps the provider's state of an accepted verification and closes it,
// which releases the signer chain read from it.
class TrustState {
public:
    TrustState(WINTRUST_DATA& data, GUID action) : m_data(data), m_action(action) {}
    ~TrustState() {
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    TrustState(const TrustState&) = delete;
    TrustState& operator=(const TrustState&) = delete;

private:
    WINTRUST_DATA& m_data;
    GUID m_action;
};

// SHA-256 of bytes through the platform's AES provider (the one that offers
// SHA-2).
bool Sha256(const std::vector<BYTE>& bytes, uint8_t (&digest)[32]) {
    UniqueCryptProv provider;
    UniqueCryptHash hash;
    BYTE value[32];
    DWORD length = sizeof value;
    if (!::CryptAcquireContextW(provider.Put(), nullptr, nullptr, PROV_RSA_AES,
                                CRYPT_VERIFYCONTEXT) ||
        !::CryptCreateHash(provider.Get(), kSha256, 0, 0, hash.Put()) ||
        !::CryptHashData(hash.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), 0) ||
        !::CryptGetHashParam(hash.Get(), HP_HASHVAL, value, &length, 0) || length != sizeof value)
        return false;
    std::memcpy(digest, value, sizeof digest);
    return true;
}

// The DER encoding of the leaf signer's SubjectPublicKeyInfo; empty when
// the provider's state holds no signer certificate.
std::vector<BYTE> LeafSignerKeyInfo(HANDLE state) {
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(state);
    CRYPT_PROVIDER_SGNR* signer =
        provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain ||
        !signer->pasCertChain[0].pCert)
        return std::vector<BYTE>();
    CERT_PUBLIC_KEY_INFO* key = &signer->pasCertChain[0].pCert->pCertInfo->SubjectPublicKeyInfo;
    DWORD size = 0;
    if (!::CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, 0, nullptr, nullptr,
                               &size) ||
        size == 0)
        return std::vector<BYTE>();
    std::vector<BYTE> der(size);
    if (!::CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, 0, nullptr,
                               der.data(), &size))
        return std::vector<BYTE>();
    der.resize(size);
    return der;
}

}  // namespace

long VerifyEmbeddedSignature(void* file, const std::wstring& path, uint8_t (&keyDigest)[32]) {
    WINTRUST_FILE_INFO fileInfo;
    std::memset(&fileInfo, 0, sizeof fileInfo);
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = static_cast<HANDLE>(file);

    WINTRUST_DATA data;
    std::memset(&data, 0, sizeof data);
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    // The state is closed whatever the outcome: the provider keeps it also
    // for a refused file.
    TrustState state(data, action);
    if (status != 0)
        return status;
    uint8_t digest[32];
    std::vector<BYTE> keyInfo = LeafSignerKeyInfo(data.hWVTStateData);
    if (keyInfo.empty() || !Sha256(keyInfo, digest))
        return E_FAIL;
    std::memcpy(keyDigest, digest, sizeof keyDigest);
    return 0;
}
