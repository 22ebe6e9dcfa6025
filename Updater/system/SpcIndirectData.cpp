#include "system/SpcIndirectData.h"

#include "system/Der.h"

bool ReadSpcIndirectData(const uint8_t* contents, size_t size, SpcIndirectData& data) {
    // SEQUENCE { SpcAttributeTypeAndOptionalValue, DigestInfo }, without
    // its own tag and length.
    CDerReader reader(contents, size);
    DerElement attribute, digestInfo;
    if (!reader.NextIf(der::kSequence, attribute) || !reader.NextIf(der::kSequence, digestInfo) ||
        !reader.AtEnd())
        return false;

    CDerReader attributeReader(attribute);
    DerElement type;
    if (!attributeReader.Next(type))
        return false;
    SpcIndirectData read;
    read.dataType = DerObjectIdText(type);

    CDerReader digestReader(digestInfo);
    DerElement algorithm, oid, digest;
    if (!digestReader.NextIf(der::kSequence, algorithm) ||
        !digestReader.NextIf(der::kOctetString, digest) || !digestReader.AtEnd())
        return false;
    CDerReader algorithmReader(algorithm);
    if (!algorithmReader.Next(oid))
        return false;
    read.digestAlgorithm = DerObjectIdText(oid);
    if (read.dataType.empty() || read.digestAlgorithm.empty())
        return false;
    read.digest = digest.contents;
    read.digestLength = digest.length;
    data = read;
    return true;
}
