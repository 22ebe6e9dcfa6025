#include "system/PeSignatureLayout.h"

#include "system/SignatureCodes.h"

namespace {

const uint32_t kDosHeaderSize = 0x40;
const uint32_t kNewHeaderPointer = 0x3C;
const uint32_t kPeSignatureAndFileHeader = 24;  // "PE\0\0" and the COFF file header
const uint32_t kOptionalHeaderSizeField = 20;   // in the COFF file header, after "PE\0\0"
const uint32_t kCheckSumField = 64;             // in the optional header, both kinds
const uint16_t kPe32 = 0x10B;
const uint16_t kPe32Plus = 0x20B;
const uint32_t kCertificateEntry = 4;  // IMAGE_DIRECTORY_ENTRY_SECURITY
const uint16_t kPkcsSignedData = 2;    // WIN_CERT_TYPE_PKCS_SIGNED_DATA

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

int32_t ReadPeSignatureLayout(const ReadFileRange& read, uint64_t size,
                              PeSignatureLayout& layout) {
    // Offsets in the headers are 32 bits: no larger file is a PE image.
    if (size < kDosHeaderSize || size > 0xFFFFFFFFu)
        return kSignatureNotPeImage;
    uint8_t dos[kDosHeaderSize];
    if (!read(0, dos, sizeof dos))
        return kSignatureUnreadable;
    if (dos[0] != 'M' || dos[1] != 'Z')
        return kSignatureNotPeImage;

    // Everything below is computed in 64 bits and compared with size before
    // it is read, so no offset wraps.
    const uint64_t pe = Le32(dos + kNewHeaderPointer);
    const uint64_t optional = pe + kPeSignatureAndFileHeader;
    uint8_t headers[kPeSignatureAndFileHeader + 2];
    if (optional + 2 > size)
        return kSignatureNotPeImage;
    if (!read(static_cast<uint32_t>(pe), headers, sizeof headers))
        return kSignatureUnreadable;
    if (headers[0] != 'P' || headers[1] != 'E' || headers[2] != 0 || headers[3] != 0)
        return kSignatureNotPeImage;
    const uint16_t optionalSize = Le16(headers + kOptionalHeaderSizeField);
    const uint16_t magic = Le16(headers + kPeSignatureAndFileHeader);
    if (magic != kPe32 && magic != kPe32Plus)
        return kSignatureNotPeImage;
    // PE32+ has 64-bit fields before the directory, 16 bytes more.
    const uint64_t directoryCountField = optional + (magic == kPe32 ? 92 : 108);
    const uint64_t directory = directoryCountField + 4;
    const uint64_t entry = directory + kCertificateEntry * 8;
    const uint64_t entryEnd = entry + 8;
    if (entryEnd > optional + optionalSize || entryEnd > size)
        return kSignatureNotPeImage;
    uint8_t count[4];
    if (!read(static_cast<uint32_t>(directoryCountField), count, sizeof count))
        return kSignatureUnreadable;
    if (Le32(count) <= kCertificateEntry)
        return kSignatureNoCertificateTable;

    uint8_t table[8];
    if (!read(static_cast<uint32_t>(entry), table, sizeof table))
        return kSignatureUnreadable;
    const uint64_t tableOffset = Le32(table);
    const uint64_t tableSize = Le32(table + 4);
    if (tableOffset == 0 || tableSize == 0)
        return kSignatureNoCertificateTable;
    // The table follows the headers that name it, and lies in the file.
    if (tableOffset < entryEnd || tableSize < 8 || tableOffset + tableSize > size)
        return kSignatureBadCertificateTable;
    if (tableOffset + tableSize != size)
        return kSignatureDataAfterCertificates;

    // WIN_CERTIFICATE: dwLength, wRevision, wCertificateType, bCertificate.
    uint8_t certificate[8];
    if (!read(static_cast<uint32_t>(tableOffset), certificate, sizeof certificate))
        return kSignatureUnreadable;
    const uint64_t certificateLength = Le32(certificate);
    if (certificateLength <= 8 || certificateLength > tableSize ||
        Le16(certificate + 6) != kPkcsSignedData)
        return kSignatureBadCertificateTable;

    const uint32_t checkSum = static_cast<uint32_t>(optional + kCheckSumField);
    PeSignatureLayout found;
    found.hashed[0] = {0, checkSum};
    found.hashed[1] = {checkSum + 4, static_cast<uint32_t>(entry - (checkSum + 4))};
    found.hashed[2] = {static_cast<uint32_t>(entryEnd),
                       static_cast<uint32_t>(tableOffset - entryEnd)};
    found.signature = {static_cast<uint32_t>(tableOffset + 8),
                       static_cast<uint32_t>(certificateLength - 8)};
    layout = found;
    return 0;
}
