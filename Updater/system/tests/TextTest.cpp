#include "system/TextCodec.h"

#include <gtest/gtest.h>

namespace {

TEST(WideToUtf8, ConvertsUpToTheTerminator) {
    EXPECT_EQ("C:\\Apps\\Upd", WideToUtf8(L"C:\\Apps\\Upd"));
    EXPECT_EQ("C:\\Pr\xC3\xBC" "fung\\\xE2\x82\xAC", WideToUtf8(L"C:\\Pr\u00FCfung\\\u20AC"));
    EXPECT_EQ("ab", WideToUtf8(std::wstring(L"ab\0cd", 5)));
    EXPECT_EQ("", WideToUtf8(L""));
}

}  // namespace
