#include "log/Md5.h"

#include "common/Handles.h"
#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Md5, KnownDigests) {
    EXPECT_EQ(L"d41d8cd98f00b204e9800998ecf8427e", GetBufferMd5Hex("", 0));
    EXPECT_EQ(L"900150983cd24fb0d6963f7d28e17f72", GetBufferMd5Hex("abc", 3));
    std::string million(1000000, 'a');
    EXPECT_EQ(L"7707d6ae4e027c70eea2a935c2296f21", GetBufferMd5Hex(million.data(), million.size()));
}

TEST(Md5, DigestBytes) {
    uint8_t digest[16];
    ASSERT_TRUE(ComputeBufferMd5("abc", 3, digest));
    EXPECT_EQ(0x90, digest[0]);
    EXPECT_EQ(0x72, digest[15]);
}

// A file whose reading fails has no digest, not that of what was read.
TEST(Md5, OpenFileThatCannotBeReadHasNoDigest) {
    testsupport::TempDir dir(L"md5-open");
    std::wstring path = dir / L"f.bin";
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "abc"));
    uint8_t digest[16];
    UniqueFile readable(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(ComputeOpenFileMd5(readable.Get(), digest));
    EXPECT_EQ(0x90, digest[0]);
    UniqueFile writeOnly(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writeOnly.IsValid());
    EXPECT_FALSE(ComputeOpenFileMd5(writeOnly.Get(), digest));
}

}  // namespace
