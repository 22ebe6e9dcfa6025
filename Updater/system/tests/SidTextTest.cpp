#include "system/SidText.h"

#include <gtest/gtest.h>

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

TEST(SidText, NtAuthorityWithSubAuthorities) {
    const uint8_t nt[6] = {0, 0, 0, 0, 0, 5};
    EXPECT_EQ("S-1-5-18", Narrow(FormatSidText(nt, {18})));
    EXPECT_EQ("S-1-5-21-0-0-0-1000", Narrow(FormatSidText(nt, {21, 0, 0, 0, 1000})));
    EXPECT_EQ("S-1-5-4294967295", Narrow(FormatSidText(nt, {0xFFFFFFFFu})));
}

TEST(SidText, LowAuthorityReadAsBigEndianNumber) {
    const uint8_t big[6] = {0, 0, 0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ("S-1-16909060", Narrow(FormatSidText(big, {})));
    const uint8_t max[6] = {0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ("S-1-4294967295-7", Narrow(FormatSidText(max, {7})));
}

TEST(SidText, HighAuthorityAsTwelveHexDigits) {
    const uint8_t high[6] = {0x01, 0x00, 0x0a, 0xb0, 0x00, 0xff};
    EXPECT_EQ("S-1-0x01000ab000ff-1-2", Narrow(FormatSidText(high, {1, 2})));
    const uint8_t second[6] = {0, 0x20, 0, 0, 0, 0};
    EXPECT_EQ("S-1-0x002000000000", Narrow(FormatSidText(second, {})));
}

TEST(SidText, NoSubAuthorities) {
    const uint8_t world[6] = {0, 0, 0, 0, 0, 1};
    EXPECT_EQ("S-1-1", Narrow(FormatSidText(world, {})));
}

}  // namespace
