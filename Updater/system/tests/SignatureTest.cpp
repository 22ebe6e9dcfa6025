// The signature checks on real signed, forged and altered files and detached
// signatures that tests/make_signatures.sh made for this run (the test's
// fixture), under Wine's trust provider and crypt32.
#include "common/Handles.h"
#include "system/Authenticode.h"
#include "system/DetachedSignature.h"
#include "system/ImageSignature.h"
#include "system/SignatureCodes.h"

#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using testsupport::Hex;
using testsupport::Narrow;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::TestBinPath;
using testsupport::Widen;
using testsupport::WriteFileBytes;

namespace {

std::wstring Inputs() { return TestBinPath(L"signatures"); }

std::string Input(const std::string& name) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(Inputs() + L"\\" + Widen(name), bytes)) << name;
    return bytes;
}

std::string Pin(int publisher) { return Input("pin" + std::to_string(publisher) + ".txt").substr(0, 64); }

std::string HexOf(const uint8_t (&digest)[32]) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : digest) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

UniqueFile OpenForReading(const std::wstring& path) {
    return UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
}

uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

const uint8_t kUntouched = 0xEE;

TEST(EmbeddedSignature, AcceptsGenuineSignaturesAndRefusesForgeries) {
    ASSERT_TRUE(testsupport::FileExists(Inputs() + L"\\manifest-embedded.sig"));
    struct Case {
        const char* file;
        uint32_t status;
        int publisher;  // whose pin is returned; 0 when refused
    } cases[] = {
        {"signed1.exe", 0, 1},
        {"signed1-sha1.exe", 0, 1},
        {"signed1-sha512.exe", 0, 1},
        {"signed2.exe", 0, 2},
        {"nsis.exe", 0, 1},
        // The provider's own refusals come first.
        {"unsigned.exe", 0x800B0100, 0},
        {"altered.exe", 0x80096010, 0},
        // The provider accepts both forgeries; the checks after it don't.
        {"forged-signer.exe", static_cast<uint32_t>(kSignatureContentDigestMismatch), 0},
        {"forged-script.exe", static_cast<uint32_t>(kSignatureNotForPeImage), 0},
        // Signed anew by the publisher, its signed attributes claiming another
        // content type than the SpcIndirectData they sign.
        {"signed1-content-type.exe", static_cast<uint32_t>(kSignatureMalformed), 0},
    };
    for (const Case& c : cases) {
        std::wstring path = Inputs() + L"\\" + Widen(c.file);
        UniqueFile file = OpenForReading(path);
        ASSERT_TRUE(file.IsValid()) << c.file;
        uint8_t digest[32];
        std::memset(digest, kUntouched, sizeof digest);
        long status = VerifyEmbeddedSignature(file.Get(), path, digest);
        EXPECT_EQ(Hex(c.status), Hex(static_cast<uint32_t>(status))) << c.file;
        if (c.publisher != 0) {
            EXPECT_EQ(Pin(c.publisher), HexOf(digest)) << c.file;
        } else {
            EXPECT_EQ(std::string(64, 'e'), HexOf(digest)) << c.file;
        }
    }
}

TEST(ImageSignature, CoversEveryByteButTheCheckSumAndTheCertificateTable) {
    std::string signedFile = Input("signed1.exe");
    ASSERT_GT(signedFile.size(), 0x400u);
    // Where the fields the image digest leaves out lie, read independently
    // of the parser.
    const size_t optional = Le32(signedFile, 0x3C) + 24;
    const size_t checkSum = optional + 64;
    const size_t entry = optional + (signedFile[optional] == 0x0B && signedFile[optional + 1] == 0x01
                                         ? 128 : 144);
    const size_t table = Le32(signedFile, entry);
    ASSERT_EQ(signedFile.size(), table + Le32(signedFile, entry + 4));

    auto flip = [](size_t at) {
        return [at](std::string& b) { b[at] = static_cast<char>(b[at] ^ 0x5A); };
    };
    struct Case {
        const char* name;
        std::function<void(std::string&)> change;
        int32_t status;
    } cases[] = {
        {"genuine", [](std::string&) {}, 0},
        {"checksum", flip(checkSum + 1), 0},
        {"before checksum", flip(checkSum - 1), kSignatureImageDigestMismatch},
        {"after checksum", flip(checkSum + 4), kSignatureImageDigestMismatch},
        {"before entry", flip(entry - 1), kSignatureImageDigestMismatch},
        {"after entry", flip(entry + 8), kSignatureImageDigestMismatch},
        {"image", flip(signedFile.size() / 3), kSignatureImageDigestMismatch},
        {"last before table", flip(table - 1), kSignatureImageDigestMismatch},
        {"appended", [](std::string& b) { b += '\0'; }, kSignatureDataAfterCertificates},
        {"no table", [entry](std::string& b) { std::memset(&b[entry], 0, 8); },
         kSignatureNoCertificateTable},
        {"cut", [](std::string& b) { b.resize(b.size() - 8); }, kSignatureBadCertificateTable},
        {"certificate type", flip(table + 6), kSignatureBadCertificateTable},
        {"signature", [table](std::string& b) { b[table + 8] = 0x31; }, kSignatureMalformed},
        {"not MZ", flip(0), kSignatureNotPeImage},
        {"empty", [](std::string& b) { b.clear(); }, kSignatureNotPeImage},
    };
    TempDir dir(L"image-signature");
    for (const Case& c : cases) {
        std::string bytes = signedFile;
        c.change(bytes);
        std::wstring path = dir / Widen(std::string(c.name) + ".exe");
        ASSERT_TRUE(WriteFileBytes(path, bytes)) << c.name;
        UniqueFile file = OpenForReading(path);
        ASSERT_TRUE(file.IsValid()) << c.name;
        EXPECT_EQ(Hex(static_cast<uint32_t>(c.status)),
                  Hex(static_cast<uint32_t>(CheckImageSignature(file.Get()))))
            << c.name;
    }
}

TEST(DetachedSignature, AcceptsSignaturesOfTheExactBytesAndNamesTheirKey) {
    std::string manifest = Input("manifest.xml");
    struct Case {
        const char* signature;
        int publisher;
    } cases[] = {{"manifest.sig", 1}, {"manifest-noattr.sig", 1}, {"manifest-key2.sig", 2}};
    for (const Case& c : cases) {
        uint8_t digest[32];
        long status = VerifyDetachedSignature(manifest, Input(c.signature), digest);
        ASSERT_EQ(Hex(0), Hex(static_cast<uint32_t>(status))) << c.signature;
        EXPECT_EQ(Pin(c.publisher), HexOf(digest)) << c.signature;
    }
    // Another key's digest is that key's: the pin comparison is the caller's.
    EXPECT_NE(Pin(1), Pin(2));
}

TEST(DetachedSignature, RefusesEachFault) {
    std::string manifest = Input("manifest.xml");
    std::string altered = manifest;
    altered[1] = 'U';
    std::string signature = Input("manifest.sig");
    std::string badSignature = signature;
    badSignature.back() = static_cast<char>(badSignature.back() ^ 1);
    struct Case {
        const char* name;
        std::string content, signature;
        int32_t status;
    } cases[] = {
        {"altered, signed attributes", altered, signature, kDetachedDigestMismatch},
        {"longer, signed attributes", manifest + " ", signature, kDetachedDigestMismatch},
        {"altered, no attributes", altered, Input("manifest-noattr.sig"),
         kDetachedSignatureInvalid},
        {"signature value changed", manifest, badSignature, kDetachedSignatureInvalid},
        {"ECDSA", manifest, Input("manifest-ecdsa.sig"), kDetachedNotRsa},
        {"SHA-1", manifest, Input("manifest-sha1.sig"), kDetachedNotSha256},
        {"no certificate", manifest, Input("manifest-nocerts.sig"), kDetachedNoCertificate},
        {"content inside", manifest, Input("manifest-embedded.sig"), kDetachedMalformed},
        {"content type attribute not data", manifest, Input("manifest-content-type.sig"),
         kDetachedMalformed},
        {"cut", manifest, signature.substr(0, signature.size() / 2), kDetachedMalformed},
        {"empty", manifest, "", kDetachedMalformed},
        {"text", manifest, "-----BEGIN CMS-----", kDetachedMalformed},
    };
    for (const Case& c : cases) {
        uint8_t digest[32];
        std::memset(digest, kUntouched, sizeof digest);
        long status = VerifyDetachedSignature(c.content, c.signature, digest);
        EXPECT_EQ(Hex(static_cast<uint32_t>(c.status)), Hex(static_cast<uint32_t>(status)))
            << c.name;
        EXPECT_EQ(std::string(64, 'e'), HexOf(digest)) << c.name;
    }
}

}  // namespace
