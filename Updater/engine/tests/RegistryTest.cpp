// CRegistry and CRegEntry against the real registry, each test on its own
// redirected keys.
#include "engine/Registry.h"

#include "RegistryScratch.h"
#include "testsupport/TestSupport.h"


#include <gtest/gtest.h>

#include <cwchar>
#include <memory>

using testsupport::Narrow;

namespace {

const wchar_t kKey[] = L"Software\\QmReg\\Values";
const REGSAM kAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring tag = testsupport::Widen(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        scratch.reset(new RegistryScratch(tag.c_str()));
        ASSERT_TRUE(scratch->Ok());
    }
    void TearDown() override { scratch.reset(); }
    std::unique_ptr<RegistryScratch> scratch;
};

TEST_F(Registry, OpenCreatesOnlyWhenAsked) {
    CRegistry plain;
    EXPECT_FALSE(plain.Open(kKey, HKEY_CURRENT_USER, kAccess));
    EXPECT_FALSE(plain.IsOpen());
    EXPECT_FALSE(RegistryScratch::KeyExists(HKEY_CURRENT_USER, kKey));
    // A closed registry still hands out entries, which read empty and can't
    // be deleted.
    EXPECT_STREQ(L"", plain.GetEntry(L"x")->GetText());
    EXPECT_FALSE(plain.GetEntry(L"x")->Delete());

    CRegistry creating(CRegistry::kCreateIfMissing);
    EXPECT_TRUE(creating.Open(kKey, HKEY_CURRENT_USER, kAccess));
    EXPECT_TRUE(creating.IsOpen());
    EXPECT_TRUE(RegistryScratch::KeyExists(HKEY_CURRENT_USER, kKey));
}

TEST_F(Registry, CachesTheFourTypesAsText) {
    const wchar_t multi[] = L"first\0second\0";
    const BYTE binary[] = {'h', 0, 'i', 0, 0, 0, 'x', 0};
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, kKey, L"Text", L"hello"));
    ASSERT_TRUE(RegistryScratch::WriteDword(HKEY_CURRENT_USER, kKey, L"Number", 4000000000u));
    ASSERT_TRUE(RegistryScratch::Write(HKEY_CURRENT_USER, kKey, L"Multi", REG_MULTI_SZ, multi,
                                       sizeof multi));
    ASSERT_TRUE(RegistryScratch::Write(HKEY_CURRENT_USER, kKey, L"Bin", REG_BINARY, binary,
                                       sizeof binary));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, kKey, L"Expand", L"%TEMP%",
                                           REG_EXPAND_SZ));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, kKey, L"Big",
                                           std::wstring(1500, L'b')));

    CRegistry reg;
    ASSERT_TRUE(reg.Open(kKey, HKEY_CURRENT_USER, kAccess));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), reg.GetEntry(L"text")->GetType());  // any letter case
    EXPECT_STREQ(L"hello", reg.GetEntry(L"TEXT")->GetText());
    EXPECT_STREQ(L"4000000000", reg.GetEntry(L"Number")->GetText());
    const wchar_t* m = reg.GetEntry(L"Multi")->GetText();
    EXPECT_STREQ(L"first", m);
    EXPECT_STREQ(L"second", m + 6);
    EXPECT_STREQ(L"hi", reg.GetEntry(L"Bin")->GetText());
    // Not cached: other types and data over 2048 bytes.
    EXPECT_EQ(0u, reg.GetEntry(L"Expand")->GetType());
    EXPECT_STREQ(L"", reg.GetEntry(L"Expand")->GetText());
    EXPECT_STREQ(L"", reg.GetEntry(L"Big")->GetText());
}

TEST_F(Registry, SetTextWritesThroughAndDeleteRemoves) {
    CRegistry reg(CRegistry::kCreateIfMissing);
    ASSERT_TRUE(reg.Open(kKey, HKEY_CURRENT_USER, kAccess));
    EXPECT_TRUE(reg.GetEntry(L"Name")->SetText(L"value"));
    EXPECT_TRUE(reg.GetEntry(L"")->SetText(L"default"));
    EXPECT_TRUE(reg.GetEntry(L"Long")->SetText(std::wstring(3000, L'z').c_str()));
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(RegistryScratch::Read(HKEY_CURRENT_USER, kKey, L"Name", type, bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("v\0a\0l\0u\0e\0\0\0", 12), bytes);
    ASSERT_TRUE(RegistryScratch::Read(HKEY_CURRENT_USER, kKey, L"", type, bytes));
    EXPECT_EQ(16u, bytes.size());
    ASSERT_TRUE(RegistryScratch::Read(HKEY_CURRENT_USER, kKey, L"Long", type, bytes));
    EXPECT_EQ(2048u * 2, bytes.size());  // cut to 2047 characters and the terminator

    EXPECT_TRUE(reg.GetEntry(L"name")->Delete());
    EXPECT_FALSE(RegistryScratch::Read(HKEY_CURRENT_USER, kKey, L"Name", type, bytes));
    EXPECT_FALSE(reg.GetEntry(L"name")->Delete());
    EXPECT_TRUE(reg.GetEntry(L"")->Delete());
    EXPECT_FALSE(RegistryScratch::Read(HKEY_CURRENT_USER, kKey, L"", type, bytes));
}

TEST_F(Registry, NoCacheReadsTheKeyAgain) {
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, kKey, L"V", L"one"));
    CRegistry cached;
    CRegistry fresh(CRegistry::kNoCache);
    ASSERT_TRUE(cached.Open(kKey, HKEY_CURRENT_USER, kAccess));
    ASSERT_TRUE(fresh.Open(kKey, HKEY_CURRENT_USER, kAccess));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, kKey, L"V", L"two"));
    EXPECT_STREQ(L"one", cached.GetEntry(L"V")->GetText());
    EXPECT_STREQ(L"two", fresh.GetEntry(L"V")->GetText());
}

TEST_F(Registry, SetValueOnlyAccessOpensForWriting) {
    CRegistry reg(CRegistry::kCreateIfMissing | CRegistry::kNoCache);
    // Whether a key opened without query access can be read is the
    // registry's business; it is open for writing all the same.
    reg.Open(kKey, HKEY_LOCAL_MACHINE, KEY_SET_VALUE);
    ASSERT_TRUE(reg.IsOpen());
    EXPECT_TRUE(reg.GetEntry(L"UserID")->SetText(L"{X}"));
    DWORD type = 0;
    std::string bytes;
    EXPECT_TRUE(RegistryScratch::Read(HKEY_LOCAL_MACHINE, kKey, L"UserID", type, bytes));
    EXPECT_TRUE(reg.GetEntry(L"UserID")->Delete());
    EXPECT_FALSE(RegistryScratch::Read(HKEY_LOCAL_MACHINE, kKey, L"UserID", type, bytes));
}

TEST_F(Registry, RawValuesKeepTypeAndBytes) {
    std::vector<BYTE> big(5000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<BYTE>(i * 7);
    CRegistry reg(CRegistry::kCreateIfMissing);
    ASSERT_TRUE(reg.Open(kKey, HKEY_CURRENT_USER, kAccess));
    ASSERT_TRUE(reg.SetRawValue(L"Big", REG_BINARY, big));
    ASSERT_TRUE(reg.SetRawValue(L"Empty", REG_NONE, std::vector<BYTE>()));
    DWORD type = 99;
    std::vector<BYTE> data(3, 1);
    ASSERT_TRUE(reg.QueryRawValue(L"Big", type, data));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(big, data);
    ASSERT_TRUE(reg.QueryRawValue(L"Empty", type, data));
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), type);
    EXPECT_TRUE(data.empty());
    // Absent value: out-parameters untouched.
    type = 99;
    data.assign(3, 1);
    EXPECT_FALSE(reg.QueryRawValue(L"Missing", type, data));
    EXPECT_EQ(99u, type);
    EXPECT_EQ(3u, data.size());
}

TEST_F(Registry, DeleteKeyRemovesTheWholeTree) {
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, L"Software\\QmTree\\A\\B\\C\\D", L"v", L"x"));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, L"Software\\QmTree\\A\\B2", L"v", L"x"));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, L"Software\\QmTree\\A", L"v", L"x"));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, L"Software\\QmTree\\Sibling", L"v", L"x"));
    CRegistry reg(CRegistry::kCreateIfMissing);
    ASSERT_TRUE(reg.Open(L"Software\\QmTree\\A", HKEY_CURRENT_USER, kAccess));
    EXPECT_TRUE(reg.DeleteKey());
    EXPECT_FALSE(reg.IsOpen());
    EXPECT_FALSE(RegistryScratch::KeyExists(HKEY_CURRENT_USER, L"Software\\QmTree\\A"));
    EXPECT_TRUE(RegistryScratch::KeyExists(HKEY_CURRENT_USER, L"Software\\QmTree\\Sibling"));
}

TEST_F(Registry, DeleteKeyWithEmptyPathDeletesNothing) {
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, L"Software\\QmKeep", L"v", L"x"));
    CRegistry reg(CRegistry::kCreateIfMissing);
    reg.Open(L"", HKEY_CURRENT_USER, kAccess);
    EXPECT_FALSE(reg.DeleteKey());
    EXPECT_TRUE(RegistryScratch::KeyExists(HKEY_CURRENT_USER, L"Software\\QmKeep"));
}

DWORD WINAPI DeleteKeyThread(void* param) {
    static_cast<CRegistry*>(param)->DeleteKey();
    return 0;
}

// Native name of an open key ("\REGISTRY\USER\..."), for a link's target.
std::wstring NativeKeyName(HKEY key) {
    typedef LONG(WINAPI * NtQueryKeyFn)(HANDLE, int, void*, ULONG, ULONG*);
    NtQueryKeyFn query = reinterpret_cast<NtQueryKeyFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    if (!query)
        return std::wstring();
    std::vector<BYTE> buffer(4096);
    ULONG size = 0;
    if (query(key, 3 /* KeyNameInformation */, buffer.data(), static_cast<ULONG>(buffer.size()),
              &size) != 0)
        return std::wstring();
    ULONG bytes = *reinterpret_cast<ULONG*>(buffer.data());
    return std::wstring(reinterpret_cast<wchar_t*>(buffer.data() + sizeof(ULONG)),
                        bytes / sizeof(wchar_t));
}

// Deletes the link key itself rather than the key it points to.
void RemoveLink(const wchar_t* parentPath, const wchar_t* name) {
    typedef LONG(WINAPI * NtDeleteKeyFn)(HANDLE);
    NtDeleteKeyFn deleteKey = reinterpret_cast<NtDeleteKeyFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
    HKEY parent = nullptr;
    if (!deleteKey || ::RegOpenKeyExW(HKEY_CURRENT_USER, parentPath, 0, KEY_READ, &parent) != ERROR_SUCCESS)
        return;
    HKEY self = nullptr;
    if (::RegOpenKeyExW(parent, name, REG_OPTION_OPEN_LINK, DELETE, &self) == ERROR_SUCCESS) {
        deleteKey(self);
        ::RegCloseKey(self);
    }
    ::RegCloseKey(parent);
}

// A subkey whose deletion leaves it in place (a registry link: deleting it
// removes the key it points to, the link stays) must end the walk instead of
// being asked for again and again.
TEST_F(Registry, UndeletableSubkeyEndsTheDeletion) {
    const wchar_t top[] = L"Software\\QmLocked";
    const wchar_t target[] = L"Software\\QmTarget";
    RemoveLink(top, L"Link");  // left over by an interrupted run
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, target, L"v", L"x"));
    ASSERT_TRUE(RegistryScratch::WriteText(HKEY_CURRENT_USER, top, L"v", L"x"));
    HKEY targetKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, target, 0, KEY_READ, &targetKey));
    std::wstring native = NativeKeyName(targetKey);
    ::RegCloseKey(targetKey);
    ASSERT_FALSE(native.empty());

    HKEY link = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QmLocked\\Link", 0, nullptr,
                                REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr,
                                &link, nullptr));
    LONG rc = ::RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                               reinterpret_cast<const BYTE*>(native.data()),
                               static_cast<DWORD>(native.size() * sizeof(wchar_t)));
    ::RegCloseKey(link);
    ASSERT_EQ(ERROR_SUCCESS, rc);
    ASSERT_TRUE(RegistryScratch::KeyExists(HKEY_CURRENT_USER, L"Software\\QmLocked\\Link"));

    CRegistry reg(CRegistry::kCreateIfMissing);
    ASSERT_TRUE(reg.Open(top, HKEY_CURRENT_USER, kAccess));
    HANDLE thread = ::CreateThread(nullptr, 0, DeleteKeyThread, &reg, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    DWORD wait = ::WaitForSingleObject(thread, 30000);
    ::CloseHandle(thread);
    ASSERT_EQ(WAIT_OBJECT_0, wait) << "DeleteKey did not end";
    EXPECT_TRUE(RegistryScratch::KeyExists(HKEY_CURRENT_USER, top));

    RemoveLink(L"Software\\QmLocked", L"Link");
}

}  // namespace
