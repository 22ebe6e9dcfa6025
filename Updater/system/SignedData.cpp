#include "system/SignedData.h"

#include "system/Der.h"

namespace {

const char kSignedDataOid[] = "1.2.840.113549.1.7.2";
const char kContentTypeOid[] = "1.2.840.113549.1.9.3";
const char kMessageDigestOid[] = "1.2.840.113549.1.9.4";

// The algorithm of an AlgorithmIdentifier; empty when malformed.
std::string AlgorithmOf(const DerElement& identifier) {
    CDerReader reader(identifier);
    DerElement oid;
    if (identifier.tag != der::kSequence || !reader.Next(oid))
        return std::string();
    return DerObjectIdText(oid);
}

// The one value, of the given tag, of an attribute that may occur once;
// false when found says it occurred before, or it has no value, more than
// one or one of another tag. Sets found on success.
bool ReadSingleValue(const DerElement& values, uint8_t tag, bool& found, DerElement& value) {
    CDerReader reader(values);
    if (found || !reader.NextIf(tag, value) || !reader.AtEnd())
        return false;
    found = true;
    return true;
}

// The signed attributes: each well formed, exactly one contentType, whose
// value is the type of the signed content, and exactly one messageDigest,
// which the view takes. The signature covers these attributes, not the
// content: attributes that claim another type, or two of either, would bind
// it to something else than what it is presented with.
bool ReadSignedAttributes(const DerElement& attributes, SignedDataView& view) {
    CDerReader reader(attributes);
    DerElement attribute, contentType, messageDigest;
    bool hasContentType = false, hasMessageDigest = false;
    while (reader.Next(attribute)) {
        CDerReader parts(attribute);
        DerElement type, values;
        if (attribute.tag != der::kSequence || !parts.Next(type) ||
            !parts.NextIf(der::kSet, values) || !parts.AtEnd())
            return false;
        std::string oid = DerObjectIdText(type);
        if (oid.empty())
            return false;
        if (oid == kContentTypeOid &&
            (!ReadSingleValue(values, der::kObjectId, hasContentType, contentType) ||
             DerObjectIdText(contentType) != view.contentType))
            return false;
        if (oid == kMessageDigestOid &&
            !ReadSingleValue(values, der::kOctetString, hasMessageDigest, messageDigest))
            return false;
    }
    if (!reader.AtEnd() || !hasContentType || !hasMessageDigest)
        return false;
    view.messageDigest = messageDigest.contents;
    view.messageDigestLength = messageDigest.length;
    return true;
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
    return !view.hasSignedAttributes || ReadSignedAttributes(attributes, view);
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
