#include "engine/Report.h"
#include "engine/Rollout.h"

#include <gtest/gtest.h>

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

TEST(Report, ValuesArePercentEncodedAsUtf8) {
    const struct {
        const wchar_t* text;
        const char* encoded;
    } kCases[] = {
        {L"pad", "pad"},
        {L"Az09-._~", "Az09-._~"},
        {L"notes-\u00E9", "notes-%C3%A9"},
        {L"a b&c=d?e#f/g+h%", "a%20b%26c%3Dd%3Fe%23f%2Fg%2Bh%25"},
        {L"\u20AC", "%E2%82%AC"},
        {L"", ""},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(c.encoded, Narrow(PercentEncoded(c.text))) << c.encoded;
}

TEST(Report, TheAddressCarriesTheAttempt) {
    uint8_t machine[32];
    for (int i = 0; i < 32; ++i)
        machine[i] = static_cast<uint8_t>(0xA0 + i);
    const char kQuery[] = "intname=notes-%C3%A9&from=1.0&to=2.0%20beta&result=notregistered"
                          "&code=0000abcd&machine=a0a1a2a3a4a5a6a7";
    const struct {
        const wchar_t* reportUrl;
        const char* address;
    } kCases[] = {
        {L"https://h/r", "https://h/r?"},
        {L"https://h/r?team=ink", "https://h/r?team=ink&"},
        {L"https://h/r?", "https://h/r?"},
        {L"https://h/r?a=1&", "https://h/r?a=1&"},
        {L"https://h/r#frag", "https://h/r?"},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(c.address + std::string(kQuery),
                  Narrow(ReportAddress(c.reportUrl, L"notes-\u00E9", L"1.0", L"2.0 beta",
                                       ReportResult::kNotRegistered, 0xabcd, machine)))
            << c.address;
}

TEST(Rollout, BucketsComeFromTheDigestsFirstFourBytes) {
    EXPECT_EQ("{1}|notes-\xC3\xA9|2.0", RolloutText(L"{1}", L"notes-\u00E9", L"2.0"));
    const struct {
        uint8_t first[4];
        unsigned bucket;
    } kCases[] = {
        {{0x00, 0x00, 0x00, 0x00}, 0},
        {{0x00, 0x00, 0x00, 0x63}, 99},
        {{0x00, 0x00, 0x00, 0x64}, 0},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 95},  // 4294967295 % 100
        {{0x80, 0x00, 0x00, 0x00}, 48},  // 2147483648: read unsigned
        {{0x12, 0x34, 0x56, 0x78}, 96},  // 305419896, big-endian
    };
    for (const auto& c : kCases) {
        uint8_t digest[32] = {};
        for (int i = 0; i < 4; ++i)
            digest[i] = c.first[i];
        digest[4] = 0xFF;  // only the first four count
        EXPECT_EQ(c.bucket, RolloutBucket(digest)) << c.bucket;
    }
    EXPECT_FALSE(IsInRollout(0, 0));
    EXPECT_TRUE(IsInRollout(0, 1));
    EXPECT_FALSE(IsInRollout(1, 1));
    EXPECT_TRUE(IsInRollout(99, 100));
}

}  // namespace
