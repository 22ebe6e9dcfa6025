#include "engine/PublisherPins.h"

#include <gtest/gtest.h>

#include <cwctype>

namespace {

// SHA-256 of a key as openssl prints it, and the same digest as bytes.
const wchar_t kPin[] = L"1fad9629bbc0c0358fe621b96671adf63614a53a6bf94326a352e7484d7b2dc5";
const uint8_t kDigest[32] = {0x1f, 0xad, 0x96, 0x29, 0xbb, 0xc0, 0xc0, 0x35, 0x8f, 0xe6, 0x21,
                             0xb9, 0x66, 0x71, 0xad, 0xf6, 0x36, 0x14, 0xa5, 0x3a, 0x6b, 0xf9,
                             0x43, 0x26, 0xa3, 0x52, 0xe7, 0x48, 0x4d, 0x7b, 0x2d, 0xc5};
const wchar_t kOtherPin[] = L"00ad9629bbc0c0358fe621b96671adf63614a53a6bf94326a352e7484d7b2dc5";

TEST(PublisherPins, AnyListedPinMatchesWhateverItsCaseAndSpacing) {
    std::wstring pin = kPin;
    std::wstring upper = pin;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(towupper(c));
    const std::wstring accepted[] = {pin, upper, L"  " + pin + L" ",
                                     std::wstring(kOtherPin) + L" ; " + upper,
                                     pin + L";" + kOtherPin, L";;" + pin + L";"};
    for (const std::wstring& signer : accepted) {
        EXPECT_TRUE(HasPublisherPins(signer));
        EXPECT_TRUE(MatchesPublisherPin(signer, kDigest)) << signer.c_str();
    }
}

TEST(PublisherPins, NothingElseMatchesAndMalformedPinsStillCountAsPinned) {
    std::wstring pin = kPin;
    const std::wstring refused[] = {kOtherPin,
                                    pin.substr(0, 63),           // a digit short
                                    pin + L"0",                  // a digit too many
                                    pin.substr(0, 63) + L"g",    // not hexadecimal
                                    pin.substr(0, 31) + L" " + pin.substr(32),
                                    pin.substr(0, 32) + L";" + pin.substr(32),
                                    L" ", L";"};
    for (const std::wstring& signer : refused) {
        EXPECT_TRUE(HasPublisherPins(signer)) << signer.c_str();
        EXPECT_FALSE(MatchesPublisherPin(signer, kDigest)) << signer.c_str();
    }
    EXPECT_FALSE(HasPublisherPins(L""));
}

}  // namespace
