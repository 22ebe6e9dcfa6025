// The signed attributes of a SignedData, read from crafted DER: a signature
// is read only when they name the signed content's type and its digest
// exactly once each.
#include "system/SignedData.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Tlv(uint8_t tag, const std::string& contents) {
    std::string head(1, static_cast<char>(tag));
    if (contents.size() < 0x80) {
        head += static_cast<char>(contents.size());
    } else {
        head += '\x82';
        head += static_cast<char>(contents.size() >> 8);
        head += static_cast<char>(contents.size() & 0xFF);
    }
    return head + contents;
}

const std::string kData("\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01", 11);
const std::string kDigestedData("\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x07\x05", 11);
const std::string kIndirectData("\x06\x0A\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04", 12);
const std::string kContentType("\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x09\x03", 11);
const std::string kMessageDigest("\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x09\x04", 11);
const std::string kSigningTime("\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05", 11);
const std::string kSha256("\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01", 11);
const std::string kRsa("\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01", 11);
const std::string kSignedData("\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02", 11);
const std::string kDigest = Tlv(0x04, "\x01\x02\x03");
const char kNoAttributes[] = "none";

std::string Attribute(const std::string& type, const std::string& values) {
    return Tlv(0x30, type + Tlv(0x31, values));
}

// A SignedData of one signer over content of the given type (detached when
// content is empty), with these signed attributes, or none.
std::string SignedDataOf(const std::string& type, const std::string& content,
                         const std::string& attributes) {
    std::string algorithm = Tlv(0x30, kSha256);
    std::string encapsulated =
        Tlv(0x30, type + (content.empty() ? "" : Tlv(0xA0, Tlv(0x04, content))));
    std::string signer =
        Tlv(0x30, Tlv(0x02, "\x01") + Tlv(0x30, Tlv(0x02, "\x07")) + algorithm +
                      (attributes == kNoAttributes ? "" : Tlv(0xA0, attributes)) +
                      Tlv(0x30, kRsa) + Tlv(0x04, std::string(16, 's')));
    std::string signedData = Tlv(0x30, Tlv(0x02, "\x01") + Tlv(0x31, algorithm) + encapsulated +
                                           Tlv(0x31, signer));
    return Tlv(0x30, kSignedData + Tlv(0xA0, signedData));
}

TEST(SignedData, NeedsTheContentTypeAndTheDigestOnceEach) {
    const std::string data = Attribute(kContentType, kData);
    const std::string digest = Attribute(kMessageDigest, kDigest);
    const std::string time = Attribute(kSigningTime, Tlv(0x17, "260101000000Z"));
    struct Case {
        const char* name;
        std::string type, content, attributes;
        bool read;
    } cases[] = {
        {"no signed attributes", kData, "", kNoAttributes, true},
        {"content type and digest", kData, "", data + digest, true},
        {"in any order, among others", kData, "", time + digest + data, true},
        {"SpcIndirectData", kIndirectData, "spc",
         Attribute(kContentType, kIndirectData) + digest, true},
        {"no attribute", kData, "", "", false},
        {"no content type", kData, "", time + digest, false},
        {"no digest", kData, "", data + time, false},
        {"content type twice", kData, "", data + digest + data, false},
        {"digest twice", kData, "", data + digest + digest, false},
        {"content type with two values", kData, "", Attribute(kContentType, kData + kData) + digest,
         false},
        {"digest with two values", kData, "", data + Attribute(kMessageDigest, kDigest + kDigest),
         false},
        {"content type without value", kData, "", Attribute(kContentType, "") + digest, false},
        {"another content type", kData, "", Attribute(kContentType, kDigestedData) + digest,
         false},
        {"SpcIndirectData claimed as data", kIndirectData, "spc", data + digest, false},
        {"content type no object identifier", kData, "",
         Attribute(kContentType, Tlv(0x04, kData)) + digest, false},
    };
    for (const Case& c : cases) {
        std::string der = SignedDataOf(c.type, c.content, c.attributes);
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(der.data());
        SignedDataView view;
        view.contentType = "untouched";
        EXPECT_EQ(c.read, ReadSignedData(bytes, der.size(), view)) << c.name;
        if (!c.read) {
            EXPECT_EQ("untouched", view.contentType) << c.name;
            continue;
        }
        EXPECT_EQ(c.attributes != kNoAttributes, view.hasSignedAttributes) << c.name;
        if (view.hasSignedAttributes) {
            EXPECT_EQ("\x01\x02\x03", std::string(reinterpret_cast<const char*>(view.messageDigest),
                                                  view.messageDigestLength))
                << c.name;
        }
    }
}

}  // namespace
