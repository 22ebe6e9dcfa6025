#include "engine/Offer.h"

#include "catalogue/Update.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

const wchar_t kDigest[] = L"00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF";

void MakeSigned(CUpdate& update) {
    update.intname = L"pad";
    update.version = L"2.1";
    update.installerurl = L"https://h/pad/Setup-2.1.exe";
    update.whatsnewurl = L"https://h/pad/news.xml";
    update.sha256 = kDigest;
    update.size = L"1048576";
    update.issued = L"2026-12-01T10:00:00Z";
    update.expires = L"2026-12-31T10:00:00Z";
}

TEST(Offer, ASignedManifestIsReadOnce) {
    CUpdate update;
    MakeSigned(update);
    update.whatsnewsha256 = kDigest;
    update.rollout = L"25";
    update.reporturl = L"https://h/report";
    COffer offer;
    const wchar_t* field = L"untouched";
    ASSERT_TRUE(ReadOffer(update, true, offer, field));
    EXPECT_STREQ(L"untouched", field);
    // Digests in either letter case, the times as seconds, the optional fields kept.
    EXPECT_EQ(0xFF, offer.sha256[31]);
    EXPECT_EQ(30 * 24 * 3600, offer.expires - offer.issued);
    EXPECT_TRUE(offer.hasWhatsNewSha256);
    EXPECT_EQ(25u, offer.rollout);
    EXPECT_EQ(L"https://h/report", offer.reportUrl);
}

TEST(Offer, EachSignedFieldMustBeThereAndWellFormed) {
    const struct {
        std::wstring CUpdate::*member;
        const wchar_t* value;
        const wchar_t* field;  // null: accepted
    } kCases[] = {
        {&CUpdate::expires, L"", L"expires"},
        {&CUpdate::sha256, L"0011", L"sha256"},
        {&CUpdate::size, L"-1", L"size"},
        {&CUpdate::issued, L"", L"issued"},
        {&CUpdate::issued, L"2026-12-01 10:00:00Z", L"issued"},
        {&CUpdate::issued, L"2026-12-31T10:00:01Z", L"issued"},  // after it expires
        {&CUpdate::issued, L"2026-12-31T10:00:00Z", nullptr},
        {&CUpdate::whatsnewsha256, L"xyz", L"whatsnewsha256"},
        {&CUpdate::reporturl, L"file:///C:/report", L"reporturl"},
        {&CUpdate::reporturl, L"\\\\server\\share\\report", L"reporturl"},
        {&CUpdate::reporturl, L"HTTP://h/report", nullptr},
        {&CUpdate::rollout, L"101", L"rollout"},
        {&CUpdate::rollout, L"-1", L"rollout"},
        {&CUpdate::rollout, L"50%", L"rollout"},
        {&CUpdate::rollout, L" 50", L"rollout"},
        {&CUpdate::rollout, L"0", nullptr},
        {&CUpdate::rollout, L"100", nullptr},
    };
    for (const auto& c : kCases) {
        CUpdate update;
        MakeSigned(update);
        update.*c.member = c.value;
        COffer offer;
        offer.version = L"untouched";
        const wchar_t* field = nullptr;
        const bool read = ReadOffer(update, true, offer, field);
        EXPECT_EQ(c.field == nullptr, read) << c.value;
        if (c.field) {
            EXPECT_STREQ(c.field, field) << c.value;
            EXPECT_EQ(L"untouched", offer.version) << c.value;
        }
    }
}

// An unsigned manifest's digests, times and report address are nobody's
// word; only its rollout counts, since withholding an update is in any
// server's power anyway.
TEST(Offer, AnUnsignedManifestOffersNoDigestsTimesOrReports) {
    CUpdate update;
    update.version = L"2.1";
    update.sha256 = L"not even hex";
    update.reporturl = L"https://h/report";
    update.whatsnewsha256 = kDigest;
    update.rollout = L"30";
    COffer offer;
    const wchar_t* field = nullptr;
    ASSERT_TRUE(ReadOffer(update, false, offer, field));
    EXPECT_FALSE(offer.verified);
    EXPECT_EQ(30u, offer.rollout);
    EXPECT_TRUE(offer.reportUrl.empty());
    EXPECT_FALSE(offer.hasWhatsNewSha256);
    update.rollout = L"";
    ASSERT_TRUE(ReadOffer(update, false, offer, field));
    EXPECT_EQ(100u, offer.rollout);
    update.rollout = L"x";
    EXPECT_FALSE(ReadOffer(update, false, offer, field));
    EXPECT_STREQ(L"rollout", field);
}

TEST(Offer, AnInstallTookOnlyWhenItsVersionIsRegistered) {
    const struct {
        const wchar_t* registered;
        const wchar_t* offered;
        bool took;
    } kCases[] = {
        {L"1.30", L"1.30", true},
        {L"1.3", L"1.30", false},  // fields compare as numbers: 3 is below 30
        {L"1.31", L"1.30", true},  // a later version is taken too
        {L"1.30.0", L"1.30", true},
        // Fields past the shorter version don't count, as when the check
        // decides what is newer: what it would not offer again took.
        {L"1.30", L"1.30.0.1", true},
        {L"1.0", L"2.0", false},  // the installer left the old version registered
        {L"", L"2.0", false},
        {L"10.0", L"9.9", true},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(c.took, HasRegisteredOffer(c.registered, c.offered))
            << std::string(c.registered, c.registered + wcslen(c.registered)) << " for "
            << std::string(c.offered, c.offered + wcslen(c.offered));
}

}  // namespace
