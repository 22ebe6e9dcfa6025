#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What the signature checks need of a PKCS #7 / CMS SignedData of one
// signer. Pointers lie inside the buffer the SignedData was read from.
struct SignedDataView {
    std::string contentType;  // dotted object identifier of the signed content
    // The content's contents octets, without its own tag and length: the
    // bytes the signer's message digest is taken over. Absent (hasContent
    // false) in a detached signature.
    bool hasContent = false;
    const uint8_t* content = nullptr;
    size_t contentLength = 0;
    size_t certificateCount = 0;
    // The signer's digest and signature algorithms, dotted.
    std::string digestAlgorithm;
    std::string signatureAlgorithm;
    // The messageDigest signed attribute, when there are signed attributes.
    bool hasSignedAttributes = false;
    const uint8_t* messageDigest = nullptr;
    size_t messageDigestLength = 0;
};

// Reads a ContentInfo that holds a SignedData from the start of data (bytes
// after it, such as the padding of a certificate table, are left alone).
// False, with view untouched, unless it is well formed, has exactly one
// signer and, when that signer has signed attributes, exactly one contentType
// attribute among them, with exactly one value, the content's own type, and
// exactly one messageDigest attribute, with exactly one OCTET STRING value.
bool ReadSignedData(const uint8_t* data, size_t size, SignedDataView& view);
