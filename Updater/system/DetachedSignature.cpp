#include "system/DetachedSignature.h"

#include "common/Handles.h"
#include "system/Digest.h"
#include "system/SignatureCodes.h"
#include "system/SignedData.h"
#include "system/SignerKey.h"

#include <cstring>
#include <vector>

namespace {

const char kDataOid[] = "1.2.840.113549.1.7.1";
const char kSha256Oid[] = "2.16.840.1.101.3.4.2.1";
const char kRsaOid[] = "1.2.840.113549.1.1.1";
const char kSha256WithRsaOid[] = "1.2.840.113549.1.1.11";

}  // namespace

long VerifyDetachedSignature(const std::string& content, const std::string& signature,
                             uint8_t (&keyDigest)[32]) {
    const uint8_t* signatureBytes = reinterpret_cast<const uint8_t*>(signature.data());
    SignedDataView signedData;
    if (!ReadSignedData(signatureBytes, signature.size(), signedData) ||
        signedData.hasContent || signedData.contentType != kDataOid)
        return kDetachedMalformed;
    if (signedData.certificateCount == 0)
        return kDetachedNoCertificate;
    if (signedData.digestAlgorithm != kSha256Oid)
        return kDetachedNotSha256;
    if (signedData.signatureAlgorithm != kRsaOid &&
        signedData.signatureAlgorithm != kSha256WithRsaOid)
        return kDetachedNotRsa;

    // Compared before the platform's check, so that altered content is the
    // same refusal wherever the platform would have let it through.
    if (signedData.hasSignedAttributes) {
        std::vector<uint8_t> digest;
        if (!ComputeDigest(DigestAlgorithm::Sha256, content.data(), content.size(), digest))
            return kDetachedDigestFailed;
        if (digest.size() != signedData.messageDigestLength ||
            std::memcmp(digest.data(), signedData.messageDigest, digest.size()) != 0)
            return kDetachedDigestMismatch;
    }

    CRYPT_VERIFY_MESSAGE_PARA para;
    std::memset(&para, 0, sizeof para);
    para.cbSize = sizeof para;
    para.dwMsgAndCertEncodingType = PKCS_7_ASN_ENCODING | X509_ASN_ENCODING;
    // The signer's certificate is looked up among those the message carries.
    const BYTE* pieces[1] = {reinterpret_cast<const BYTE*>(content.data())};
    DWORD pieceSizes[1] = {static_cast<DWORD>(content.size())};
    UniqueCertContext signer;
    const CERT_CONTEXT* found = nullptr;
    BOOL verified = ::CryptVerifyDetachedMessageSignature(
        &para, 0, signatureBytes, static_cast<DWORD>(signature.size()), 1, pieces, pieceSizes,
        &found);
    signer.Reset(found);
    if (!verified || !signer)
        return kDetachedSignatureInvalid;

    uint8_t digest[32];
    if (!GetPublicKeyDigest(*signer.Get(), digest))
        return kDetachedDigestFailed;
    std::memcpy(keyDigest, digest, sizeof keyDigest);
    return 0;
}
