#include "log/Md5Text.h"

#include <gtest/gtest.h>

namespace {

TEST(Md5Text, LowerCaseHexByteZeroFirst) {
    // MD5("abc")
    const uint8_t abc[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                             0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    EXPECT_EQ(L"900150983cd24fb0d6963f7d28e17f72", FormatMd5Hex(abc));
    const uint8_t zero[16] = {};
    EXPECT_EQ(std::wstring(32, L'0'), FormatMd5Hex(zero));
    uint8_t ff[16];
    for (auto& b : ff)
        b = 0xFF;
    EXPECT_EQ(std::wstring(32, L'f'), FormatMd5Hex(ff));
}

}  // namespace
