#include "engine/InstallerName.h"

#include <gtest/gtest.h>

namespace {

TEST(MakeInstallerFileName, JoinsNameAndVersion) {
    std::wstring name;
    ASSERT_TRUE(MakeInstallerFileName(L"pad", L"2.1", name));
    EXPECT_EQ(L"Setup_pad-2.1.exe", name);
    ASSERT_TRUE(MakeInstallerFileName(L"", L"", name));
    EXPECT_EQ(L"Setup_-.exe", name);
    ASSERT_TRUE(MakeInstallerFileName(L"Pad Pro", L"1.0 beta", name));
    EXPECT_EQ(L"Setup_Pad Pro-1.0 beta.exe", name);
}

TEST(MakeInstallerFileName, RefusesPartsThatLeaveTheFolder) {
    const wchar_t* bad[] = {L"..\\..\\evil", L"../evil", L"a\\b", L"a/b", L"C:evil",
                            L"..",          L"1..2",    L"a:b", L"x<y", L"x>y",
                            L"x\"y",        L"x|y",     L"x?y", L"x*y", L"tab\there",
                            L"nl\nx"};
    for (const wchar_t* part : bad) {
        std::wstring name = L"untouched";
        EXPECT_FALSE(MakeInstallerFileName(part, L"1.0", name)) << "intname " << part;
        EXPECT_FALSE(MakeInstallerFileName(L"pad", part, name)) << "version " << part;
        EXPECT_EQ(L"untouched", name);
    }
}

}  // namespace
