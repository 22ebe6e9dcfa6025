#include "system/Leftovers.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kRandom[] = L"0123456789abcdef0123456789ABCDEF";

TEST(Leftovers, NamesSayWhoMadeThem) {
    EXPECT_EQ(std::wstring(L"qmstage-4242-") + kRandom, LeftoverName(kStagingPrefix, 4242, kRandom));
    const struct {
        std::wstring name;
        const wchar_t* prefix;
        const wchar_t* suffix;
        bool ours;
        bool known;
        uint32_t id;
    } kCases[] = {
        {std::wstring(L"qmstage-4242-") + kRandom, kStagingPrefix, L"", true, true, 4242},
        {std::wstring(L"whatsnew-7-") + kRandom + L".xml", kNoticePrefix, kNoticeSuffix, true, true, 7},
        // An older Updater's notice: ours, maker unknown.
        {std::wstring(L"whatsnew-") + kRandom + L".xml", kNoticePrefix, kNoticeSuffix, true, false, 0},
        {std::wstring(L"whatsnew-") + kRandom, kNoticePrefix, kNoticeSuffix, false, false, 0},
        {std::wstring(L"whatsnew.xml"), kNoticePrefix, kNoticeSuffix, false, false, 0},
        {std::wstring(L"qmstage-0-") + kRandom, kStagingPrefix, L"", false, false, 0},
        {std::wstring(L"qmstage-4294967296-") + kRandom, kStagingPrefix, L"", false, false, 0},
        {std::wstring(L"qmstage-12x-") + kRandom, kStagingPrefix, L"", false, false, 0},
        {std::wstring(L"qmstage-12_") + kRandom, kStagingPrefix, L"", false, false, 0},
        {std::wstring(L"qmstage-12-") + L"0123456789abcdef0123456789abcdeg", kStagingPrefix, L"", false, false, 0},
        {std::wstring(L"qmstage-12-abc"), kStagingPrefix, L"", false, false, 0},
        {std::wstring(L"Setup_pad-2.0.exe"), kStagingPrefix, L"", false, false, 0},
    };
    for (const auto& c : kCases) {
        bool known = !c.known;
        uint32_t id = 99;
        EXPECT_EQ(c.ours, ReadLeftoverName(c.name, c.prefix, c.suffix, known, id))
            << std::string(c.name.begin(), c.name.end());
        if (c.ours) {
            EXPECT_EQ(c.known, known);
            EXPECT_EQ(c.known ? c.id : 99u, id);
        }
    }
    uint32_t id = 0;
    EXPECT_TRUE(ReadSiblingName(L"InstallFailures.txt.4242.tmp", L"InstallFailures.txt", id));
    EXPECT_EQ(4242u, id);
    EXPECT_FALSE(ReadSiblingName(L"InstallFailures.txt.tmp", L"InstallFailures.txt", id));
    EXPECT_FALSE(ReadSiblingName(L"Other.txt.4242.tmp", L"InstallFailures.txt", id));
    EXPECT_FALSE(ReadSiblingName(L"InstallFailures.txt.-1.tmp", L"InstallFailures.txt", id));
}

TEST(Leftovers, OnlyWhatNobodyUsesIsSwept) {
    const uint64_t kDay = kLeftoverMaxAgeSeconds;
    const struct {
        LeftoverFacts facts;
        bool swept;
    } kCases[] = {
        {{true, false, false, 60}, true},         // maker gone
        {{true, true, false, 60}, false},         // maker runs
        {{true, true, false, kDay + 1}, true},    // runs for a day: the id is another's by now
        {{true, true, false, kDay}, false},
        {{true, false, true, kDay + 1}, false},   // never the sweeper's own
        {{true, true, true, 60}, false},
        {{false, false, false, 60}, false},       // maker unknown: only by age
        {{false, false, false, kDay + 1}, true},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(c.swept, ShouldSweep(c.facts))
            << c.facts.makerKnown << c.facts.makerRunning << c.facts.makerIsSelf << " "
            << c.facts.ageSeconds;
}

}  // namespace
