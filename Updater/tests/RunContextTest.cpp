#include "system/RunContext.h"

#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

using testsupport::Narrow;

namespace {

TEST(RunContext, OrdinaryUserIsNotLocalSystem) {
    std::wstring sid = GetProcessUserSidString();
    EXPECT_EQ(0u, sid.find(L"S-1-5-21-")) << Narrow(sid);
    EXPECT_FALSE(IsLocalSystem());
}

TEST(RunContext, ExeFolders) {
    std::wstring exe = GetExePath();
    ASSERT_FALSE(exe.empty());
    std::wstring folder = GetExeFolder();
    EXPECT_EQ(exe.substr(0, exe.rfind(L'\\')), folder);
    std::wstring parent = GetExeParentFolder();
    EXPECT_EQ(folder.substr(0, folder.rfind(L'\\')), parent) << Narrow(parent);
    EXPECT_NE(L'\\', parent.back());
}

TEST(RunContext, LocalAppDataExists) {
    std::wstring folder = GetLocalAppDataFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(L'\\', folder.back());
    DWORD attrs = ::GetFileAttributesW(folder.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attrs);
    EXPECT_TRUE(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace
