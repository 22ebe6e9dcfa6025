// A product's registry actions around an installer run, against the real
// registry (each test on its own redirected HKCU and HKLM).
#include "engine/UpdateEngine.h"

#include "RegistryScratch.h"
#include "catalogue/Product.h"
#include "engine/preserved/RegistryValues.h"
#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <memory>

using testsupport::Narrow;
using testsupport::Widen;

namespace {

const wchar_t kKey[] = L"Software\\QmApp";

class RegistryActions : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring tag = L"Actions-" + Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
        scratch.reset(new RegistryScratch(tag.c_str()));
        ASSERT_TRUE(scratch->Ok());
    }
    void TearDown() override { scratch.reset(); }

    void AddValue(const wchar_t* action, const wchar_t* root, const wchar_t* key, const wchar_t* name) {
        CValue* v = new CValue();
        v->action = action;
        v->root = root;
        v->key = key;
        v->name = name;
        product.m_RegistryActions.m_Values.push_back(v);
    }
    void AddKey(const wchar_t* action, const wchar_t* root, const wchar_t* key) {
        CKey* k = new CKey();
        k->action = action;
        k->root = root;
        k->key = key;
        product.m_RegistryActions.m_Keys.push_back(k);
    }
    void Before() { engine.PerformRegistryActions(product, saved); }
    void After() { engine.PerformRegistryActions_Restore(product, saved); }

    static bool Present(HKEY root, const wchar_t* key, const wchar_t* name) {
        DWORD type = 0;
        std::string bytes;
        return RegistryScratch::Read(root, key, name, type, bytes);
    }

    std::unique_ptr<RegistryScratch> scratch;
    CProduct product;
    CSavedValues saved;
    CUpdateEngine engine;
};

TEST_F(RegistryActions, DeletesValuesAndKeyTrees) {
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, kKey, L"Old", L"x"));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, kKey, L"Keep", L"x"));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_LOCAL_MACHINE, L"Software\\QmApp\\Tree\\L1\\L2\\L3", L"v", L"x"));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_LOCAL_MACHINE, L"Software\\QmApp\\Tree\\L1b", L"v", L"x"));
    AddValue(L"delete", L"HKCU", kKey, L"Old");
    AddKey(L"delete", L"HKLM", L"Software\\QmApp\\Tree");
    Before();
    After();
    EXPECT_FALSE(Present(HKEY_CURRENT_USER, kKey, L"Old"));
    EXPECT_TRUE(Present(HKEY_CURRENT_USER, kKey, L"Keep"));
    EXPECT_FALSE(RegistryScratch::KeyExists(HKEY_LOCAL_MACHINE, L"Software\\QmApp\\Tree"));
    EXPECT_TRUE(RegistryScratch::KeyExists(HKEY_LOCAL_MACHINE, L"Software\\QmApp"));
}

// Each preserved value comes back with its own type and bytes, over what the
// installer wrote under the same name.
TEST_F(RegistryActions, PreservedValuesComeBackExactly) {
    struct Sample {
        const wchar_t* name;
        DWORD type;
        std::string bytes;
    };
    std::string big(5000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 13 + 1);
    const Sample samples[] = {
        {L"Text", REG_SZ, std::string("h\0i\0\0\0", 6)},
        {L"Number", REG_DWORD, std::string("\x05\0\0\0", 4)},
        {L"Wide", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {L"Bin", REG_BINARY, std::string("\0\xff\0\x10", 4)},
        {L"Multi", REG_MULTI_SZ, std::string("a\0\0\0b\0c\0\0\0\0\0", 12)},
        {L"Expand", REG_EXPAND_SZ, std::string("%\0T\0%\0\0\0", 8)},
        {L"Big", REG_BINARY, big},
        {L"", REG_SZ, std::string("d\0\0\0", 4)},
    };
    for (const Sample& s : samples) {
        ASSERT_TRUE(RegistryScratch::Write(HKEY_CURRENT_USER, kKey, s.name, s.type, s.bytes.data(),
                                           static_cast<DWORD>(s.bytes.size())));
        AddValue(L"preserve", L"HKCU", kKey, s.name);
    }
    Before();
    for (const Sample& s : samples)
        EXPECT_FALSE(Present(HKEY_CURRENT_USER, kKey, s.name)) << Narrow(s.name);
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, kKey, L"Number", L"from installer"));
    After();
    for (const Sample& s : samples) {
        DWORD type = 0;
        std::string bytes;
        ASSERT_TRUE(RegistryScratch::Read(HKEY_CURRENT_USER, kKey, s.name, type, bytes)) << Narrow(s.name);
        EXPECT_EQ(s.type, type) << Narrow(s.name);
        EXPECT_EQ(s.bytes, bytes) << Narrow(s.name);
    }
}

TEST_F(RegistryActions, AbsentValuesStayAbsent) {
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, kKey, L"Other", L"x"));
    AddValue(L"preserve", L"HKCU", kKey, L"Missing");
    AddValue(L"preserve", L"HKLM", L"Software\\QmNoSuchKey", L"Missing");
    Before();
    // Reading what is preserved creates nothing.
    EXPECT_FALSE(RegistryScratch::KeyExists(HKEY_LOCAL_MACHINE, L"Software\\QmNoSuchKey"));
    After();
    EXPECT_FALSE(Present(HKEY_CURRENT_USER, kKey, L"Missing"));
    EXPECT_FALSE(Present(HKEY_LOCAL_MACHINE, L"Software\\QmNoSuchKey", L"Missing"));
    EXPECT_TRUE(Present(HKEY_CURRENT_USER, kKey, L"Other"));
}

// A value that is there but can't be read is not taken for an absent one:
// it can't be preserved, so the update must not go ahead, and it is not
// removed either.
TEST_F(RegistryActions, AValueThatCannotBeReadIsNeverSavedAsAbsent) {
    const std::wstring locked = std::wstring(kKey) + L"\\Locked";
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, locked.c_str(), L"Settings", L"user"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0,
                                             READ_CONTROL | WRITE_DAC, &key));
    PSECURITY_DESCRIPTOR deny = nullptr, allow = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(D;;KR;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1, &deny, nullptr));
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KA;;;WD)", SDDL_REVISION_1, &allow, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, deny));
    AddValue(L"preserve", L"HKCU", locked.c_str(), L"Settings");
    EXPECT_FALSE(SavePreservedValues(product, saved));
    EXPECT_TRUE(saved.empty());
    Before();
    EXPECT_TRUE(saved.empty());
    ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, allow);
    ::RegCloseKey(key);
    ::LocalFree(deny);
    ::LocalFree(allow);
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(RegistryScratch::Read(HKEY_CURRENT_USER, locked.c_str(), L"Settings", type, bytes));
    EXPECT_EQ(std::string("u\0s\0e\0r\0\0\0", 10), bytes);
}

TEST_F(RegistryActions, SecondPreserveKeepsTheFirstSave) {
    ASSERT_TRUE(RegistryScratch::WriteDword(HKEY_CURRENT_USER, kKey, L"Twice", 7));
    AddValue(L"preserve", L"HKCU", kKey, L"Twice");
    AddValue(L"preserve", L"HKCU", kKey, L"Twice");
    Before();
    After();
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(RegistryScratch::Read(HKEY_CURRENT_USER, kKey, L"Twice", type, bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(std::string("\x07\0\0\0", 4), bytes);
}

// A key and a name that read alike once joined ("QmApp\A" with "B", "QmApp"
// with "A\B") are two values, each brought back with its own data.
TEST_F(RegistryActions, PlacesThatReadAlikeStayApart) {
    const wchar_t subKey[] = L"Software\\QmApp\\A";
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, subKey, L"B", L"sub"));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, kKey, L"A\\B", L"top"));
    AddValue(L"preserve", L"HKCU", subKey, L"B");
    AddValue(L"preserve", L"HKCU", kKey, L"A\\B");
    Before();
    After();
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(RegistryScratch::Read(HKEY_CURRENT_USER, subKey, L"B", type, bytes));
    EXPECT_EQ(std::string("s\0u\0b\0\0\0", 8), bytes);
    ASSERT_TRUE(RegistryScratch::Read(HKEY_CURRENT_USER, kKey, L"A\\B", type, bytes));
    EXPECT_EQ(std::string("t\0o\0p\0\0\0", 8), bytes);
}

// The value is saved before a later key entry removes its key, and the
// restore puts the key back for it.
TEST_F(RegistryActions, ValuesBeforeKeys) {
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_LOCAL_MACHINE, L"Software\\QmApp\\Gone\\Sub", L"Setting", L"s"));
    AddKey(L"delete", L"HKLM", L"Software\\QmApp\\Gone");
    AddValue(L"preserve", L"HKLM", L"Software\\QmApp\\Gone\\Sub", L"Setting");
    Before();
    EXPECT_FALSE(RegistryScratch::KeyExists(HKEY_LOCAL_MACHINE, L"Software\\QmApp\\Gone"));
    After();
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(RegistryScratch::Read(HKEY_LOCAL_MACHINE, L"Software\\QmApp\\Gone\\Sub", L"Setting", type, bytes));
    EXPECT_EQ(std::string("s\0\0\0", 4), bytes);
}

TEST_F(RegistryActions, OtherRootsAndActionsAreIgnored) {
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_LOCAL_MACHINE, kKey, L"V", L"x"));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_LOCAL_MACHINE, L"Software\\QmApp\\Sub", L"V", L"x"));
    AddValue(L"delete", L"hklm", kKey, L"V");
    AddValue(L"preserve", L"HKEY_LOCAL_MACHINE", kKey, L"V");
    AddValue(L"Delete", L"HKLM", kKey, L"V");
    AddKey(L"delete", L"HKEY_LOCAL_MACHINE", L"Software\\QmApp\\Sub");
    AddKey(L"Delete", L"HKLM", L"Software\\QmApp\\Sub");
    Before();
    EXPECT_TRUE(Present(HKEY_LOCAL_MACHINE, kKey, L"V"));
    EXPECT_TRUE(RegistryScratch::KeyExists(HKEY_LOCAL_MACHINE, L"Software\\QmApp\\Sub"));
    EXPECT_TRUE(saved.empty());
    After();
    EXPECT_TRUE(Present(HKEY_LOCAL_MACHINE, kKey, L"V"));
}

// Only the placeholders of empty lists: nothing is opened, so nothing is
// created either.
TEST_F(RegistryActions, NoActionsTouchNothing) {
    Before();
    After();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, L"", 0, KEY_READ, &key));
    DWORD subkeys = 99;
    ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr);
    ::RegCloseKey(key);
    EXPECT_EQ(0u, subkeys);
    EXPECT_TRUE(saved.empty());
}

}  // namespace
