#include "system/SignedData.h"

#include "system/Der.h"

namespace {

const char kSignedDataOid[] = "1.2.840.113549.1.7.2";
const char kMessageDigestOid[] = "1.2.840.113549.1.9.4";

// The algorithm of an AlgorithmIdentifier; empty when malformed.
std::string AlgorithmOf(const DerElement& identifier) {
    CDerReader reader(identifier);
    DerElement oid;
    if (identifier.tag != der::kSequence || !reader.Next(oid))
        return std::string();
    return DerObjectIdText(oid);
}

// The one messageDigest value among signed attributes; false when there is
// none, more than one, or it is malformed.
bool ReadMessageDigest(const DerElement& attributes, SignedDataView& view) {
    CDerReader reader(attributes);
    DerElement attribute;
    bool found = false;
    while (reader.Next(attribute)) {
        CDerReader parts(attribute);
        DerElement type, values;
        if (attribute.tag != der::kSequence || !parts.Next(type) ||
            !parts.NextIf(der::kSet, values) || !parts.AtEnd())
            return false;
        std::string oid = DerObjectIdText(type);
        if (oid.empty())
            return false;
        if (oid != kMessageDigestOid)
            continue;
        CDerReader valueReader(values);
        DerElement value;
        if (found || !valueReader.NextIf(der::kOctetString, value) || !valueReader.AtEnd())
            return false;
        view.messageDigest = value.contents;
        view.messageDigestLength = value.length;
        found = true;
    }
    return reader.AtEnd() && found;
}

// The one SignerInfo of a SignedData.
bool ReadSignerInfo(const DerElement& signerInfo, SignedDataView& view) {
    CDerReader reader(signerInfo);
    DerElement version, sid, digestAlgorithm, attributes, signatureAlgorithm, signature,
        unsignedAttributes;
    if (signerInfo.tag != der::kSequence || !reader.NextIf(der::kInteger, version) ||
        !reader.Next(sid) || !reader.NextIf(der::kSequence, digestAlgorithm))
        return false;
    view.hasSignedAttributes = reader.NextIf(der::kContext0, attributes);
    if (!reader.NextIf(der::kSequence, signatureAlgorithm) ||
        !reader.NextIf(der::kOctetString, signature))
        return false;
    reader.NextIf(der::kContext1, unsignedAttributes);
    if (!reader.AtEnd())
        return false;
    view.digestAlgorithm = AlgorithmOf(digestAlgorithm);
    view.signatureAlgorithm = AlgorithmOf(signatureAlgorithm);
    if (view.digestAlgorithm.empty() || view.signatureAlgorithm.empty())
        return false;
    return !view.hasSignedAttributes || ReadMessageDigest(attributes, view);
}

// The encapsulated content: its type and, unless detached, the one element
// inside its [0].
bool ReadContentInfo(const DerElement& contentInfo, SignedDataView& view) {
    CDerReader reader(contentInfo);
    DerElement type, wrapper;
    if (contentInfo.tag != der::kSequence || !reader.Next(type))
        return false;
    view.contentType = DerObjectIdText(type);
    view.hasContent = reader.NextIf(der::kContext0, wrapper);
    if (view.contentType.empty() || !reader.AtEnd())
        return false;
    if (!view.hasContent)
        return true;
    CDerReader inner(wrapper);
    DerElement content;
    if (!inner.Next(content) || !inner.AtEnd())
        return false;
    view.content = content.contents;
    view.contentLength = content.length;
    return true;
}

}  // namespace

bool ReadSignedData(const uint8_t* data, size_t size, SignedDataView& view) {
    CDerReader outer(data, size);
    DerElement contentInfo;
    if (!outer.NextIf(der::kSequence, contentInfo))
        return false;
    CDerReader info(contentInfo);
    DerElement type, explicitWrapper;
    if (!info.Next(type) || DerObjectIdText(type) != kSignedDataOid ||
        !info.NextIf(der::kContext0, explicitWrapper) || !info.AtEnd())
        return false;

    CDerReader wrapper(explicitWrapper);
    DerElement signedData;
    if (!wrapper.NextIf(der::kSequence, signedData) || !wrapper.AtEnd())
        return false;
    CDerReader fields(signedData);
    DerElement version, digestAlgorithms, contentInfoField, certificates, crls, signerInfos;
    SignedDataView read;
    if (!fields.NextIf(der::kInteger, version) || !fields.NextIf(der::kSet, digestAlgorithms) ||
        !fields.Next(contentInfoField) || !ReadContentInfo(contentInfoField, read))
        return false;
    if (fields.NextIf(der::kContext0, certificates)) {
        CDerReader certificateReader(certificates);
        DerElement certificate;
        while (certificateReader.Next(certificate))
            ++read.certificateCount;
        if (!certificateReader.AtEnd())
            return false;
    }
    fields.NextIf(der::kContext1, crls);
    if (!fields.NextIf(der::kSet, signerInfos) || !fields.AtEnd())
        return false;

    CDerReader signers(signerInfos);
    DerElement signerInfo;
    if (!signers.Next(signerInfo) || !signers.AtEnd() || !ReadSignerInfo(signerInfo, read))
        return false;
    view = read;
    return true;
}
