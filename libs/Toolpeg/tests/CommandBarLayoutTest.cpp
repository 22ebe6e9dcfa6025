#include "toolpeg/CommandBarLayout.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kButtonClass[] = L"{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";
const wchar_t kTarget[] = L"{6C1B1B5D-0000-4000-8000-00000000A001}";

CButtonRecord Button(const wchar_t* name, uint32_t id, const wchar_t* visible = L"") {
    CButtonRecord r;
    r.name = name;
    r.classId = kButtonClass;
    r.defaultVisible = visible;
    r.id = id;
    return r;
}

CButtonCatalogue Catalogue(const std::vector<CButtonRecord>& records) {
    CButtonCatalogue c;
    for (const CButtonRecord& r : records)
        c[r.name] = r;
    return c;
}

TEST(CommandBarLayout, StoredLayoutWithTargetKeepsItsLength) {
    CButtonCatalogue c = Catalogue({Button(kTarget, 0x169)});
    CCommandBarLayout out;
    ASSERT_TRUE(ComputeCommandBarLayout({7, 0x101, 0x103, 0x169, 0x104}, c, kTarget, 8, out));
    EXPECT_EQ((CCommandBarLayout{7, 0x169, 0x101, 0x103, 0x104}), out);
}

TEST(CommandBarLayout, StoredLayoutWithoutTargetGrowsByOne) {
    CButtonCatalogue c = Catalogue({Button(kTarget, 0x111)});
    CCommandBarLayout out;
    ASSERT_TRUE(ComputeCommandBarLayout({7, 0x101, 0x103}, c, kTarget, 7, out));
    EXPECT_EQ((CCommandBarLayout{7, 0x111, 0x101, 0x103}), out);
}

TEST(CommandBarLayout, StoredLayoutKeepsLeadAndOrder) {
    CButtonCatalogue c = Catalogue({Button(kTarget, 0x110)});
    CCommandBarLayout out;
    // Already first: unchanged.
    ASSERT_TRUE(ComputeCommandBarLayout({7, 0x110, 0x101, 0x103}, c, kTarget, 7, out));
    EXPECT_EQ((CCommandBarLayout{7, 0x110, 0x101, 0x103}), out);
    // The leading value is the browser's: kept whatever it is. The target is
    // moved from the end, and a duplicate of it doesn't survive.
    ASSERT_TRUE(ComputeCommandBarLayout({0xDEADBEEF, 0x110, 0x101, 0x110}, c, kTarget, 7, out));
    EXPECT_EQ((CCommandBarLayout{0xDEADBEEF, 0x110, 0x101}), out);
    // Only the leading value stored.
    ASSERT_TRUE(ComputeCommandBarLayout({3}, c, kTarget, 7, out));
    EXPECT_EQ((CCommandBarLayout{3, 0x110}), out);
    // A lead that equals the target id is the lead, not a button.
    ASSERT_TRUE(ComputeCommandBarLayout({0x110, 0x101}, c, kTarget, 7, out));
    EXPECT_EQ((CCommandBarLayout{0x110, 0x110, 0x101}), out);
}

TEST(CommandBarLayout, NewGeneration7LayoutAddsVisibleExtensions) {
    const wchar_t hidden[] = L"{00000000-0000-0000-0000-0000000000B0}";
    const wchar_t visible[] = L"{FFFFFFFF-0000-0000-0000-0000000000C0}";
    CButtonCatalogue c = Catalogue({Button(kTarget, 272), Button(hidden, 273),
                                    Button(visible, 274, L"yes")});
    CCommandBarLayout out;
    ASSERT_TRUE(ComputeCommandBarLayout({}, c, kTarget, 7, out));
    EXPECT_EQ((CCommandBarLayout{7, 272, 0x101, 0x103, 0x104, 0x105, 0x106, 0x107, 274}), out);
}

TEST(CommandBarLayout, NewGeneration8LayoutInCatalogueOrder) {
    // The target itself is visible too but appears once, in front; the other
    // visible buttons follow by key name, not by id.
    CButtonCatalogue c = Catalogue({Button(L"{B}", 361, L"Yes"), Button(L"{A}", 362, L"YES"),
                                    Button(kTarget, 363, L"yes")});
    CCommandBarLayout out;
    ASSERT_TRUE(ComputeCommandBarLayout({}, c, kTarget, 8, out));
    EXPECT_EQ((CCommandBarLayout{7, 363, 0x101, 0x103, 0x108, 0x104, 0x105, 0x143, 0x106, 0x107,
                                 362, 361}),
              out);
}

TEST(CommandBarLayout, NothingToDoLeavesResultUntouched) {
    CButtonCatalogue c = Catalogue({Button(kTarget, 272)});
    CCommandBarLayout out = {1, 2};
    EXPECT_FALSE(ComputeCommandBarLayout({7, 0x101}, c, L"{NOT-REGISTERED}", 7, out));
    EXPECT_FALSE(ComputeCommandBarLayout({}, c, L"{NOT-REGISTERED}", 7, out));
    // Key names are matched exactly, letter case included.
    EXPECT_FALSE(ComputeCommandBarLayout({7, 0x101}, c, L"{6c1b1b5d-0000-4000-8000-00000000a001}", 7, out));
    EXPECT_FALSE(ComputeCommandBarLayout({7, 0x101}, c, kTarget, 6, out));
    EXPECT_FALSE(ComputeCommandBarLayout({7, 0x101}, c, kTarget, 9, out));
    EXPECT_EQ((CCommandBarLayout{1, 2}), out);
}

TEST(LayoutValue, DecodesWholeLittleEndianEntries) {
    std::vector<uint8_t> bytes = {0x07, 0, 0, 0, 0x69, 0x01, 0, 0, 0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ((CCommandBarLayout{7, 0x169, 0x12345678}), DecodeLayoutValue(bytes));
    bytes.push_back(0xAA);
    bytes.push_back(0xBB);
    bytes.push_back(0xCC);
    EXPECT_EQ((CCommandBarLayout{7, 0x169, 0x12345678}), DecodeLayoutValue(bytes));
    EXPECT_TRUE(DecodeLayoutValue({}).empty());
    EXPECT_TRUE(DecodeLayoutValue({7, 0, 0}).empty());
    EXPECT_EQ((CCommandBarLayout{0xFFFFFFFF}), DecodeLayoutValue({0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(LayoutValue, EncodesFourBytesPerEntry) {
    EXPECT_EQ((std::vector<uint8_t>{0x07, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}),
              EncodeLayoutValue({7, 0x12345678}));
    EXPECT_TRUE(EncodeLayoutValue({}).empty());
    CCommandBarLayout layout = {7, 0x169, 0x101, 0x80000000u};
    EXPECT_EQ(layout, DecodeLayoutValue(EncodeLayoutValue(layout)));
}

}  // namespace
