#include "TestSupport.h"
#include "engine/TextBytes.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

TEST(WideToUtf8, ConvertsUpToTheTerminator) {
    EXPECT_EQ("C:\\Apps\\Upd", WideToUtf8(L"C:\\Apps\\Upd"));
    EXPECT_EQ("C:\\Pr\xC3\xBC" "fung\\\xE2\x82\xAC", WideToUtf8(L"C:\\Pr\u00FCfung\\\u20AC"));
    EXPECT_EQ("ab", WideToUtf8(std::wstring(L"ab\0cd", 5)));
    EXPECT_EQ("", WideToUtf8(L""));
}

TEST(WriteBytesToFile, ReplacesTheWholeFile) {
    TempDir dir(L"engine-textbytes");
    std::wstring path = dir / L"whatsnew.xml";
    ASSERT_TRUE(WriteFileBytes(path, std::string(5000, 'x')));
    WriteBytesToFile(path, std::string("<alert>\0</alert>", 16));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    EXPECT_EQ(std::string("<alert>\0</alert>", 16), bytes);
    // A path that can't be created is left alone.
    WriteBytesToFile(dir / L"missing\\whatsnew.xml", "x");
    EXPECT_FALSE(FileExists(dir / L"missing"));
}

}  // namespace
