#include "common/TextNumbers.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

std::string Hex64(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
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

TEST(TextNumbers, DecimalNumbersAreDigitsOnlyAndNeverWrap) {
    const uint64_t kMax64 = 18446744073709551615ull;
    const struct {
        const char* text;
        uint64_t max;
        bool ok;
        uint64_t value;
    } kCases[] = {
        {"0", 10, true, 0},
        {"10", 10, true, 10},
        {"11", 10, false, 0},
        {"5", 0, false, 0},  // a digit above a small max
        {"0", 0, true, 0},
        {"007", 10, true, 7},
        {"4294967296", kMax64, true, 4294967296ull},
        {"18446744073709551615", kMax64, true, kMax64},
        {"18446744073709551616", kMax64, false, 0},  // wraps to 0 in 64 bits
        {"184467440737095516150", kMax64, false, 0},
        {"", kMax64, false, 0},
        {"-1", kMax64, false, 0},
        {"+1", kMax64, false, 0},
        {" 1", kMax64, false, 0},
        {"1 ", kMax64, false, 0},
        {"0x1", kMax64, false, 0},
        {"1\xd9\xa3", kMax64, false, 0},  // an Arabic-Indic digit in UTF-8
    };
    for (const auto& c : kCases) {
        uint64_t narrow = 99, wide = 99;
        EXPECT_EQ(c.ok, ParseDecimal(std::string(c.text), c.max, narrow)) << c.text;
        EXPECT_EQ(c.ok ? c.value : 99, narrow) << c.text;
        const std::string text(c.text);
        EXPECT_EQ(c.ok, ParseDecimal(std::wstring(text.begin(), text.end()), c.max, wide)) << c.text;
        EXPECT_EQ(c.ok ? c.value : 99, wide) << c.text;
    }
    uint64_t value = 99;
    EXPECT_FALSE(ParseDecimal(std::wstring(L"1\u0663"), 100, value));  // not an ASCII digit
    EXPECT_EQ(99u, value);
}

TEST(TextNumbers, HexBytesRoundTripAndRefuseOtherText) {
    const unsigned char bytes[] = {0x00, 0x7f, 0x80, 0xab, 0xff};
    std::string text = "x";
    AppendHexBytes(text, bytes, sizeof bytes);
    EXPECT_EQ("x007f80abff", text);
    const struct {
        const char* text;
        bool ok;
        size_t count;
    } kCases[] = {
        {"", true, 0},
        {"007f80abff", true, 5},
        {"007F80ABFF", true, 5},
        {"0", false, 0},
        {"0g", false, 0},
        {"00 1", false, 0},
        {"\xff\xff", false, 0},
    };
    for (const auto& c : kCases) {
        std::vector<unsigned char> read(1, 0x55);
        EXPECT_EQ(c.ok, ParseHexBytes(c.text, read)) << c.text;
        EXPECT_EQ(c.ok ? c.count : 1u, read.size()) << c.text;
        if (c.ok && c.count == 5) {
            EXPECT_EQ(0, std::memcmp(bytes, read.data(), 5)) << c.text;
        }
    }
}

}  // namespace
