#include "engine/ManifestFields.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ManifestFields, UtcTimesAreReadStrictly) {
    const struct {
        const wchar_t* text;
        bool ok;
        int64_t seconds;
    } cases[] = {
        {L"1970-01-01T00:00:00Z", true, 0},
        {L"2000-02-29T12:34:56Z", true, 951827696},
        {L"2038-01-19T03:14:08Z", true, 2147483648LL},  // past 32 bits
        {L"9999-12-31T23:59:59Z", true, 253402300799LL},
        {L"1900-02-29T00:00:00Z", false, 0},  // no leap year
        {L"2023-02-29T00:00:00Z", false, 0},
        {L"1969-12-31T23:59:59Z", false, 0},
        {L"2024-04-31T00:00:00Z", false, 0},
        {L"2024-13-01T00:00:00Z", false, 0},
        {L"2024-00-01T00:00:00Z", false, 0},
        {L"2024-01-01T24:00:00Z", false, 0},
        {L"2024-01-01T00:60:00Z", false, 0},
        {L"2024-01-01T00:00:60Z", false, 0},  // no leap second
        {L"2024-01-01T00:00:00", false, 0},
        {L"2024-01-01 00:00:00Z", false, 0},
        {L"2024-01-01t00:00:00z", false, 0},
        {L" 2024-01-01T00:00:00Z", false, 0},
        {L"2024-01-01T00:00:00Z\n", false, 0},
        {L"2024-1-01T00:00:00Z", false, 0},
        {L"", false, 0},
    };
    for (const auto& c : cases) {
        int64_t seconds = -7;
        EXPECT_EQ(c.ok, ParseUtcTime(c.text, seconds)) << c.text;
        EXPECT_EQ(c.ok ? c.seconds : -7, seconds) << c.text;
    }
}

TEST(ManifestFields, ByteCountsAreDecimalDigitsOnly) {
    const struct {
        const wchar_t* text;
        bool ok;
        uint64_t bytes;
    } cases[] = {
        {L"0", true, 0},
        {L"1048576", true, 1048576},
        {L"4294967296", true, 4294967296ULL},
        {L"9223372036854775807", true, 9223372036854775807ULL},
        {L"9223372036854775808", false, 0},
        {L"18446744073709551617", false, 0},  // wraps to 1 in 64 bits
        {L"", false, 0},
        {L"-1", false, 0},
        {L"+1", false, 0},
        {L" 1", false, 0},
        {L"0x10", false, 0},
    };
    for (const auto& c : cases) {
        uint64_t bytes = 7;
        EXPECT_EQ(c.ok, ParseByteCount(c.text, bytes)) << c.text;
        EXPECT_EQ(c.ok ? c.bytes : 7, bytes) << c.text;
    }
}

TEST(ManifestFields, Sha256IsExactly64HexDigits) {
    const std::wstring hex =
        L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";
    uint8_t digest[32] = {0};
    ASSERT_TRUE(ParseSha256Hex(hex, digest));
    EXPECT_EQ(0xE3, digest[0]);
    EXPECT_EQ(0x55, digest[31]);
    uint8_t again[32] = {0};
    EXPECT_TRUE(ParseSha256Hex(L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
                               again));
    EXPECT_EQ(0, std::memcmp(digest, again, sizeof digest));
    for (const std::wstring& bad : {hex.substr(1), hex + L"0", hex.substr(0, 63) + L"g",
                                    L" " + hex.substr(1), std::wstring()}) {
        uint8_t untouched[32] = {9};
        EXPECT_FALSE(ParseSha256Hex(bad, untouched)) << bad;
        EXPECT_EQ(9, untouched[0]);
    }
}

TEST(ManifestFields, OnlyHttpAndHttpsAddressesCountAsNetworkAddresses) {
    const struct {
        const wchar_t* address;
        bool http;
    } cases[] = {
        {L"http://h/s.exe", true},
        {L"HTTPS://h/s.exe", true},
        {L"Http:\\\\h\\s.exe", true},
        {L"file:///C:/s.exe", false},
        {L"file://server/share/s.exe", false},
        {L"\\\\server\\share\\s.exe", false},
        {L"ftp://h/s.exe", false},
        {L" http://h/s.exe", false},
        {L"httpx://h", false},
        {L"http", false},
        {L"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.http, IsHttpAddress(c.address)) << c.address;
}

TEST(ManifestFields, SignatureAddressAppendsToThePath) {
    const struct {
        const wchar_t* manifest;
        const wchar_t* signature;
    } cases[] = {
        {L"https://h/pad/update.xml", L"https://h/pad/update.xml.sig"},
        {L"https://h/pad/update.xml?id=X", L"https://h/pad/update.xml.sig?id=X"},
        {L"https://h/pad/update.xml#top", L"https://h/pad/update.xml.sig#top"},
        {L"https://h/u.xml?a=1#f?g", L"https://h/u.xml.sig?a=1#f?g"},
        {L"C:\\updates\\update.xml", L"C:\\updates\\update.xml.sig"},
        {L"file:///C:/updates/update.xml", L"file:///C:/updates/update.xml.sig"},
        // No path: the server's root, never its name.
        {L"https://host?x=1", L"https://host/.sig?x=1"},
        {L"https://host#f", L"https://host/.sig#f"},
        {L"https://host", L"https://host/.sig"},
        {L"https://user@host:8080/?x", L"https://user@host:8080/.sig?x"},
        {L"https://[::1]:8080/u.xml", L"https://[::1]:8080/u.xml.sig"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::wstring(c.signature), SignatureAddress(c.manifest)) << c.manifest;
}

}  // namespace
