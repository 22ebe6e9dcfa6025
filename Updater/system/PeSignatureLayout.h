#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Where the Authenticode signature of a PE file lies and which bytes its
// image digest covers.
struct PeSignatureLayout {
    struct Range {
        uint32_t offset;
        uint32_t length;
    };
    // The bytes the image digest covers, in file order: everything before
    // the certificate table except the optional header's CheckSum field and
    // the certificate table's entry in the data directory.
    Range hashed[3];
    // The first certificate of the table: a PKCS #7 SignedData (with any
    // padding of its entry).
    Range signature;
};

// Reads count bytes at offset of the file into into; false when they can't
// all be read.
typedef std::function<bool(uint32_t offset, void* into, size_t count)> ReadFileRange;

// Finds the layout of a file of size bytes, read through read. Returns 0,
// or kSignatureUnreadable, kSignatureNotPeImage,
// kSignatureNoCertificateTable, kSignatureBadCertificateTable or
// kSignatureDataAfterCertificates (system/SignatureCodes.h); layout is
// untouched unless 0. The certificate table must end the file: bytes after
// it would be covered by no digest.
int32_t ReadPeSignatureLayout(const ReadFileRange& read, uint64_t size,
                              PeSignatureLayout& layout);
