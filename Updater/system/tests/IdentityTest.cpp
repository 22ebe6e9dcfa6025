#include "common/Handles.h"
#include "system/Identity.h"

#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

#include <cwctype>

using testsupport::Narrow;

namespace {

const unsigned long kAdministrators = 544;

TEST(Identity, AdministratorIsTheBuiltinGroupCheck) {
    EXPECT_EQ(CheckBuiltinGroupMembership(nullptr, kAdministrators), IsAdministrator());
    // A relative id that names no group is never a membership.
    EXPECT_FALSE(CheckBuiltinGroupMembership(nullptr, 0x7FFF));
}

// The token of a filtered administrator: the group is there, but for deny
// only, so it must not count.
TEST(Identity, DenyOnlyAdministratorsIsNotAMember) {
    UniqueHandle process;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY,
                                   process.Put()));
    if (!CheckBuiltinGroupMembership(nullptr, kAdministrators))
        GTEST_SKIP() << "the test account is no administrator";

    BYTE sidBuffer[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sidBuffer;
    ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sidBuffer, &sidSize));
    SID_AND_ATTRIBUTES disable = {sidBuffer, 0};
    UniqueHandle restricted;
    ASSERT_TRUE(::CreateRestrictedToken(process.Get(), 0, 1, &disable, 0, nullptr, 0, nullptr,
                                        restricted.Put()))
        << ::GetLastError();
    UniqueHandle impersonation;
    ASSERT_TRUE(::DuplicateToken(restricted.Get(), SecurityImpersonation, impersonation.Put()));

    EXPECT_FALSE(CheckBuiltinGroupMembership(impersonation.Get(), kAdministrators));
    // An impersonating thread is judged by the token it impersonates.
    ASSERT_TRUE(::SetThreadToken(nullptr, impersonation.Get()));
    bool asFiltered = IsAdministrator();
    ::RevertToSelf();
    EXPECT_FALSE(asFiltered);
    EXPECT_TRUE(IsAdministrator());
}

TEST(Identity, InvalidTokenIsNoMember) {
    EXPECT_FALSE(CheckBuiltinGroupMembership(reinterpret_cast<void*>(0x1234), kAdministrators));
}

TEST(Identity, CurrentUserNameIsTheLogonName) {
    std::wstring name = GetCurrentUserName();
    ASSERT_FALSE(name.empty());
    wchar_t expected[261] = {0};
    DWORD size = 261;
    ASSERT_TRUE(::GetUserNameW(expected, &size));
    EXPECT_EQ(std::wstring(expected), name);
    EXPECT_EQ(std::wstring::npos, name.find(L'\0'));
}

TEST(Identity, GuidStringsAreFreshRegistryText) {
    std::wstring a = CreateGuidString();
    std::wstring b = CreateGuidString();
    ASSERT_EQ(38u, a.size()) << Narrow(a);
    EXPECT_NE(a, b);
    EXPECT_EQ(L'{', a.front());
    EXPECT_EQ(L'}', a.back());
    for (size_t i = 1; i < 37; ++i) {
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            EXPECT_EQ(L'-', a[i]) << Narrow(a);
        } else {
            EXPECT_TRUE(std::iswxdigit(a[i]) && !std::iswlower(a[i])) << Narrow(a);
        }
    }
    CLSID parsed;
    EXPECT_EQ(S_OK, ::CLSIDFromString(&a[0], &parsed));
}

}  // namespace
