#include "system/Authenticode.h"

#include "common/Handles.h"
#include "system/ImageSignature.h"
#include "system/SignerKey.h"

#include <softpub.h>
#include <wintrust.h>

#include <cstring>

namespace {

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

// The leaf signer's certificate in the provider's state; null when it holds
// none.
const CERT_CONTEXT* LeafSigner(HANDLE state) {
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(state);
    CRYPT_PROVIDER_SGNR* signer =
        provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain)
        return nullptr;
    return signer->pasCertChain[0].pCert;
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
    long own = CheckImageSignature(file);
    if (own != 0)
        return own;
    uint8_t digest[32];
    const CERT_CONTEXT* leaf = LeafSigner(data.hWVTStateData);
    if (!leaf || !GetPublicKeyDigest(*leaf, digest))
        return E_FAIL;
    std::memcpy(keyDigest, digest, sizeof keyDigest);
    return 0;
}
