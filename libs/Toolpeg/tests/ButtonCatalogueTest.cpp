#include "toolpeg/ButtonCatalogue.h"
#include "toolpeg/CommandBarGeneration.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kButtonClass[] = L"{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";

CButtonRecord Key(const wchar_t* name, const wchar_t* classId, const wchar_t* visible = L"") {
    CButtonRecord r;
    r.name = name;
    r.classId = classId;
    r.defaultVisible = visible;
    return r;
}

uint32_t IdOf(const CButtonCatalogue& catalogue, const wchar_t* name) {
    CButtonCatalogue::const_iterator it = catalogue.find(name);
    return it == catalogue.end() ? 0 : it->second.id;
}

TEST(BrowserGeneration, FromVersionText) {
    EXPECT_EQ(7, BrowserGenerationFromVersion(L"7.0.5730.13"));
    EXPECT_EQ(8, BrowserGenerationFromVersion(L"8.0.6001.18702"));
    EXPECT_EQ(8, BrowserGenerationFromVersion(L"8."));
    EXPECT_EQ(6, BrowserGenerationFromVersion(L"9.0"));
    EXPECT_EQ(6, BrowserGenerationFromVersion(L"6.0.2900.2180"));
    EXPECT_EQ(6, BrowserGenerationFromVersion(L"7"));     // no dot: not a 7.x version
    EXPECT_EQ(6, BrowserGenerationFromVersion(L"78.1"));
    EXPECT_EQ(6, BrowserGenerationFromVersion(L" 7.0"));
    EXPECT_EQ(6, BrowserGenerationFromVersion(L""));
}

TEST(BrowserGeneration, TraitsOfKnownGenerationsOnly) {
    const CCommandBarGeneration* g7 = FindCommandBarGeneration(7);
    ASSERT_NE(nullptr, g7);
    EXPECT_STREQ(L"ButtonLayout", g7->layoutValueName);
    EXPECT_EQ(272u, g7->firstExtensionId);
    EXPECT_EQ(6u, g7->builtInCount);
    const CCommandBarGeneration* g8 = FindCommandBarGeneration(8);
    ASSERT_NE(nullptr, g8);
    EXPECT_STREQ(L"CommandBandLayout", g8->layoutValueName);
    EXPECT_EQ(361u, g8->firstExtensionId);
    EXPECT_EQ(8u, g8->builtInCount);
    EXPECT_EQ(nullptr, FindCommandBarGeneration(6));
    EXPECT_EQ(nullptr, FindCommandBarGeneration(9));
}

TEST(ButtonCatalogue, ClassIdAndVisibilityIgnoreLetterCase) {
    EXPECT_TRUE(IsToolbarButtonClassId(kButtonClass));
    EXPECT_TRUE(IsToolbarButtonClassId(L"{1fba04ee-3024-11d2-8f1f-0000f87abd16}"));
    EXPECT_FALSE(IsToolbarButtonClassId(L"{1FBA04EE-3024-11D2-8F1F-0000F87ABD16"));
    EXPECT_FALSE(IsToolbarButtonClassId(L"{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}x"));
    EXPECT_FALSE(IsToolbarButtonClassId(L"{E0DD6CAB-2D10-11D2-8F1A-0000F87ABD16}"));
    EXPECT_FALSE(IsToolbarButtonClassId(L""));
    EXPECT_TRUE(IsDefaultVisible(L"yes"));
    EXPECT_TRUE(IsDefaultVisible(L"YES"));
    EXPECT_TRUE(IsDefaultVisible(L"Yes"));
    EXPECT_FALSE(IsDefaultVisible(L"yes "));
    EXPECT_FALSE(IsDefaultVisible(L"no"));
    EXPECT_FALSE(IsDefaultVisible(L"ye"));
    EXPECT_FALSE(IsDefaultVisible(L""));
}

TEST(ButtonCatalogue, IdsFollowEnumerationAcrossUserThenMachine) {
    std::vector<CButtonRecord> user = {Key(L"{B}", kButtonClass), Key(L"{A}", kButtonClass)};
    std::vector<CButtonRecord> machine = {Key(L"{C}", kButtonClass)};
    CButtonCatalogue catalogue = BuildButtonCatalogue(user, machine, 272);
    ASSERT_EQ(3u, catalogue.size());
    EXPECT_EQ(272u, IdOf(catalogue, L"{B}"));
    EXPECT_EQ(273u, IdOf(catalogue, L"{A}"));
    EXPECT_EQ(274u, IdOf(catalogue, L"{C}"));
    // Ordered by key name, ids as enumerated.
    EXPECT_EQ(L"{A}", catalogue.begin()->first);
}

TEST(ButtonCatalogue, OtherExtensionsTakeNoId) {
    std::vector<CButtonRecord> user = {Key(L"{A}", L"{E0DD6CAB-2D10-11D2-8F1A-0000F87ABD16}"),
                                       Key(L"{B}", L""), Key(L"{C}", kButtonClass)};
    CButtonCatalogue catalogue = BuildButtonCatalogue(user, {}, 361);
    ASSERT_EQ(1u, catalogue.size());
    EXPECT_EQ(361u, IdOf(catalogue, L"{C}"));
}

TEST(ButtonCatalogue, MachineEntryReplacesUserEntryWithNewId) {
    std::vector<CButtonRecord> user = {Key(L"{A}", kButtonClass, L"yes"), Key(L"{B}", kButtonClass)};
    std::vector<CButtonRecord> machine = {Key(L"{A}", kButtonClass, L"no")};
    CButtonCatalogue catalogue = BuildButtonCatalogue(user, machine, 272);
    ASSERT_EQ(2u, catalogue.size());
    EXPECT_EQ(274u, IdOf(catalogue, L"{A}"));
    EXPECT_EQ(L"no", catalogue.at(L"{A}").defaultVisible);
    EXPECT_EQ(273u, IdOf(catalogue, L"{B}"));
    // Names are compared exactly: a differently spelled name is another entry.
    CButtonCatalogue other = BuildButtonCatalogue(user, {Key(L"{a}", kButtonClass)}, 272);
    EXPECT_EQ(3u, other.size());
    EXPECT_EQ(272u, IdOf(other, L"{A}"));
}

}  // namespace
