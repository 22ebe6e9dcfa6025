#include "system/Version.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const wchar_t* a;
    const wchar_t* b;
    int expected;
};

TEST(CompareVersions, NumericPerField) {
    const Case cases[] = {
        {L"2", L"10", -1},         {L"1.10", L"1.9", 1},      {L"1.2", L"1.10", -1},
        {L"1.2", L"1.2.0", 0},     {L"1.2", L"1.2.1", -1},    {L"1.2.1", L"1.2", 1},
        {L"1.2", L"1.2.0.7", 0},   {L"1..2", L"1.2", 0},      {L".1.2", L"1.2", 0},
        {L"1.2b", L"1.2", 0},      {L"1.beta", L"1.0", 0},    {L"", L"", 0},
        {L"", L"0.1", 0},          {L"", L"1", -1},           {L"1.0", L"1.0", 0},
        {L"2.0", L"10.0", -1},     {L"1.2.3", L"1.2.4", -1},  {L"01.5", L"1.5", 0},
        {L" 3", L"2", 1},          {L"-1", L"0", -1},         {L"1.+2", L"1.2", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, CompareVersions(c.a, c.b)) << "a=" << c.a << " b=" << c.b;
        EXPECT_EQ(-c.expected, CompareVersions(c.b, c.a)) << "a=" << c.b << " b=" << c.a;
    }
}

TEST(CompareVersions, HugeFieldsSaturateInsteadOfWrapping) {
    EXPECT_EQ(1, CompareVersions(L"99999999999", L"2147483646"));
    EXPECT_EQ(0, CompareVersions(L"99999999999", L"2147483647"));
    EXPECT_EQ(0, CompareVersions(L"-99999999999", L"-2147483648"));
    EXPECT_EQ(-1, CompareVersions(L"-99999999999", L"0"));
}

TEST(CompareVersions, OnlyDotsEndsTheComparison) {
    EXPECT_EQ(0, CompareVersions(L"...", L""));
    EXPECT_EQ(-1, CompareVersions(L"...", L"1"));
    EXPECT_EQ(1, CompareVersions(L"1.2.", L"1.1.9"));
}

TEST(CompareVersions, LessAndGreaterFollowTheComparison) {
    EXPECT_TRUE(IsVersionLess(L"1.2", L"1.10"));
    EXPECT_FALSE(IsVersionLess(L"1.10", L"1.9"));
    EXPECT_FALSE(IsVersionLess(L"1.0", L"1.0.0"));
    EXPECT_TRUE(IsVersionGreater(L"1.5", L"1.0"));
    EXPECT_FALSE(IsVersionGreater(L"1.5", L"2.0"));
    EXPECT_FALSE(IsVersionGreater(L"1.5", L"1.5"));
    // A folder name without leading digits reads as version 0.
    EXPECT_TRUE(IsVersionGreater(L"1.5", L"data"));
    EXPECT_FALSE(IsVersionGreater(L"0", L"data"));
}

}  // namespace
