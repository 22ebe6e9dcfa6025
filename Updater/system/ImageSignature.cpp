#include "system/ImageSignature.h"

#include "system/Digest.h"
#include "system/PeSignatureLayout.h"
#include "system/SignatureCodes.h"
#include "system/SignedData.h"
#include "system/SpcIndirectData.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

const char kSpcIndirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";
const char kSpcPeImageDataOid[] = "1.3.6.1.4.1.311.2.1.15";
// Signatures with many nested signatures and timestamps stay far below it.
const uint32_t kMaxSignatureSize = 1 << 20;
const size_t kChunk = 0x10000;

bool ReadAt(HANDLE file, uint32_t offset, void* into, size_t count) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    if (!::SetFilePointerEx(file, position, nullptr, FILE_BEGIN))
        return false;
    BYTE* at = static_cast<BYTE*>(into);
    while (count > 0) {
        DWORD got = 0;
        if (!::ReadFile(file, at, static_cast<DWORD>(count), &got, nullptr) || got == 0)
            return false;
        at += got;
        count -= got;
    }
    return true;
}

bool Equal(const std::vector<uint8_t>& digest, const uint8_t* expected, size_t length) {
    return digest.size() == length && std::memcmp(digest.data(), expected, length) == 0;
}

// The image digest of the ranges the layout names: 0, kSignatureUnreadable
// or kSignatureDigestFailed.
long DigestImage(HANDLE file, const PeSignatureLayout& layout, DigestAlgorithm algorithm,
                 std::vector<uint8_t>& digest) {
    CDigest hash(algorithm);
    std::vector<BYTE> chunk(kChunk);
    for (const PeSignatureLayout::Range& range : layout.hashed) {
        uint32_t done = 0;
        while (done < range.length) {
            size_t count = range.length - done < kChunk ? range.length - done : kChunk;
            if (!ReadAt(file, range.offset + done, chunk.data(), count))
                return kSignatureUnreadable;
            if (!hash.Add(chunk.data(), count))
                return kSignatureDigestFailed;
            done += static_cast<uint32_t>(count);
        }
    }
    return hash.Finish(digest) ? 0 : kSignatureDigestFailed;
}

}  // namespace

long CheckImageSignature(void* file) {
    HANDLE handle = static_cast<HANDLE>(file);
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle, &size))
        return kSignatureUnreadable;
    PeSignatureLayout layout;
    int32_t status = ReadPeSignatureLayout(
        [handle](uint32_t offset, void* into, size_t count) {
            return ReadAt(handle, offset, into, count);
        },
        static_cast<uint64_t>(size.QuadPart), layout);
    if (status != 0)
        return status;

    if (layout.signature.length > kMaxSignatureSize)
        return kSignatureMalformed;
    std::vector<uint8_t> blob(layout.signature.length);
    if (!ReadAt(handle, layout.signature.offset, blob.data(), blob.size()))
        return kSignatureUnreadable;
    SignedDataView signedData;
    if (!ReadSignedData(blob.data(), blob.size(), signedData) || !signedData.hasSignedAttributes)
        return kSignatureMalformed;
    SpcIndirectData indirect;
    if (signedData.contentType != kSpcIndirectDataOid || !signedData.hasContent ||
        !ReadSpcIndirectData(signedData.content, signedData.contentLength, indirect))
        return kSignatureNotIndirectData;
    // A provider may skip the image digest of any other kind of content.
    if (indirect.dataType != kSpcPeImageDataOid)
        return kSignatureNotForPeImage;

    DigestAlgorithm signerAlgorithm = DigestAlgorithmFromOid(signedData.digestAlgorithm);
    DigestAlgorithm imageAlgorithm = DigestAlgorithmFromOid(indirect.digestAlgorithm);
    if (signerAlgorithm == DigestAlgorithm::Unknown || imageAlgorithm == DigestAlgorithm::Unknown)
        return kSignatureUnknownDigest;

    // The signature covers the signed attributes; only their messageDigest
    // ties it to this content.
    std::vector<uint8_t> contentDigest;
    if (!ComputeDigest(signerAlgorithm, signedData.content, signedData.contentLength,
                       contentDigest))
        return kSignatureDigestFailed;
    if (!Equal(contentDigest, signedData.messageDigest, signedData.messageDigestLength))
        return kSignatureContentDigestMismatch;

    std::vector<uint8_t> imageDigest;
    long digested = DigestImage(handle, layout, imageAlgorithm, imageDigest);
    if (digested != 0)
        return digested;
    if (!Equal(imageDigest, indirect.digest, indirect.digestLength))
        return kSignatureImageDigestMismatch;
    return 0;
}
