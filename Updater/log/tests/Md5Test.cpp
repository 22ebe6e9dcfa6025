#include "log/Md5.h"

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

}  // namespace
