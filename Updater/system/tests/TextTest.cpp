#include "system/TextCodec.h"
#include "system/TextNumbers.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

std::string Hex64(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

TEST(WideToUtf8, ConvertsUpToTheTerminator) {
    EXPECT_EQ("C:\\Apps\\Upd", WideToUtf8(L"C:\\Apps\\Upd"));
    EXPECT_EQ("C:\\Pr\xC3\xBC" "fung\\\xE2\x82\xAC", WideToUtf8(L"C:\\Pr\u00FCfung\\\u20AC"));
    EXPECT_EQ("ab", WideToUtf8(std::wstring(L"ab\0cd", 5)));
    EXPECT_EQ("", WideToUtf8(L""));
}

// Journal files on disk and the mutexes of running Updaters are named after
// these hashes: a change here strands journals and lets two writers of one
// products file run at once.
TEST(Fnv1a64, NamesStayAsTheyWere) {
    const struct {
        const wchar_t* text;
        FnvUnit unit;
        const char* hash;
    } kCases[] = {
        {L"", FnvUnit::CodeUnit, "cbf29ce484222325"},
        {L"", FnvUnit::LittleEndian, "cbf29ce484222325"},
        {L"pad", FnvUnit::CodeUnit, "77ca60195676adaa"},
        {L"pad", FnvUnit::LittleEndian, "91a3459ec47ba3f8"},
        {L"Pad Pro \u00E9", FnvUnit::CodeUnit, "21239342cb4a06e2"},
        {L"Pad Pro \u00E9", FnvUnit::LittleEndian, "f733f48eb3c15bbc"},
        {L"c:\\users\\me\\appdata\\local\\userproducts.xml", FnvUnit::CodeUnit, "e463d1cb5827ce5a"},
        {L"c:\\users\\me\\appdata\\local\\userproducts.xml", FnvUnit::LittleEndian,
         "2baa858c89ae0810"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(c.hash, Hex64(Fnv1a64(c.text, c.unit)))
            << Narrow(c.text) << " unit " << static_cast<int>(c.unit);
    }
}

TEST(TextNumbers, HexAndDecimalDigits) {
    EXPECT_EQ("0000000000000000", Narrow(HexText(0, 16)));
    EXPECT_EQ("cbf29ce484222325", Narrow(HexText(0xcbf29ce484222325ull, 16)));
    EXPECT_EQ("0f", Narrow(HexText(0xabcdef0full, 2)));
    EXPECT_EQ("", Narrow(HexText(7, 0)));
    const unsigned char bytes[] = {0x00, 0x09, 0xa0, 0xff};
    EXPECT_EQ("0009a0ff", Narrow(HexBytes(bytes, sizeof bytes)));
    EXPECT_EQ("0", Narrow(DecimalText(0)));
    EXPECT_EQ("4294967295", Narrow(DecimalText(4294967295ul)));
    // An installer's cap is above 32 bits.
    EXPECT_EQ("4294967296", Narrow(DecimalText(4294967296ull)));
    EXPECT_EQ("18446744073709551615", Narrow(DecimalText(18446744073709551615ull)));
}

}  // namespace
