// Toolpeg.dll as an installer uses it: loaded by path, its export found by
// name, run against the registry. Each test gets its own scratch keys that
// stand in for HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE for this process.

#include "common/Handles.h"

#include "testsupport/TestSupport.h"

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using testsupport::Hex;
using testsupport::Narrow;

namespace {

typedef DWORD(WINAPI* MoveButtonFrontFn)(LPCWSTR);

const wchar_t kButtonClass[] = L"{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";
const wchar_t kOtherClass[] = L"{E0DD6CAB-2D10-11D2-8F1A-0000F87ABD16}";  // a menu extension
const wchar_t kExtensions[] = L"SOFTWARE\\Microsoft\\Internet Explorer\\Extensions";
const wchar_t kCommandBar[] = L"Software\\Microsoft\\Internet Explorer\\LowRegistry\\CommandBar";
const wchar_t kScratchRoot[] = L"Software\\QuillMarrowTests\\Toolpeg";

// Button keys, named so that enumeration order (by name) is known.
const wchar_t kFirst[] = L"{10000000-AAAA-4000-8000-000000000001}";
const wchar_t kSecond[] = L"{20000000-AAAA-4000-8000-000000000002}";
const wchar_t kThird[] = L"{30000000-AAAA-4000-8000-000000000003}";
const wchar_t kFourth[] = L"{40000000-AAAA-4000-8000-000000000004}";

typedef std::vector<uint32_t> Layout;

std::vector<uint8_t> Bytes(const Layout& layout) {
    std::vector<uint8_t> bytes;
    for (uint32_t v : layout) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(v >> shift));
    }
    return bytes;
}

std::string Describe(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        uint32_t v = bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 | static_cast<uint32_t>(bytes[i + 3]) << 24;
        text += Hex(v) + " ";
    }
    return text + "(" + std::to_string(bytes.size()) + " bytes)";
}

bool SetString(HKEY root, const std::wstring& path, const wchar_t* name, const wchar_t* value) {
    UniqueRegKey key;
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(),
                          nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool SetRaw(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    UniqueRegKey key;
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(),
                          nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const wchar_t* path) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, path, 0, KEY_READ, key.Put()) == ERROR_SUCCESS)
        return true;
    key.Release();
    return false;
}

class MoveButtonFrontTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dll = ::LoadLibraryW(testsupport::DistPath(L"Toolpeg.dll").c_str());
        if (s_dll)
            s_move = reinterpret_cast<MoveButtonFrontFn>(
                reinterpret_cast<void*>(::GetProcAddress(s_dll, "MoveButtonFront")));
    }
    static void TearDownTestSuite() {
        if (s_dll)
            ::FreeLibrary(s_dll);
        s_dll = nullptr;
        s_move = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(nullptr, s_dll) << "LoadLibrary: " << ::GetLastError();
        ASSERT_NE(nullptr, s_move) << "GetProcAddress: " << ::GetLastError();
        m_scratch = std::wstring(kScratchRoot) + L"\\" +
                    testsupport::Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ::SHDeleteKeyW(HKEY_CURRENT_USER, m_scratch.c_str());
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, (m_scratch + L"\\user").c_str(), 0,
                                                   nullptr, 0, KEY_ALL_ACCESS, nullptr, m_user.Put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, (m_scratch + L"\\machine").c_str(), 0,
                                                   nullptr, 0, KEY_ALL_ACCESS, nullptr, m_machine.Put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegOverridePredefKey(HKEY_CURRENT_USER, m_user.Get()));
        m_overridden = true;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_machine.Get()));
    }

    void TearDown() override {
        if (m_overridden) {
            ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
            ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        }
        m_user.Reset();
        m_machine.Reset();
        if (!m_scratch.empty())
            ::SHDeleteKeyW(HKEY_CURRENT_USER, m_scratch.c_str());
        // The parents go when nothing else of the tests is left in them.
        ::SHDeleteEmptyKeyW(HKEY_CURRENT_USER, kScratchRoot);
        ::SHDeleteEmptyKeyW(HKEY_CURRENT_USER, L"Software\\QuillMarrowTests");
    }

    // Registry set-up, inside the scratch keys.
    static void SetVersion(const wchar_t* version) {
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Internet Explorer", L"Version", version));
    }
    static void AddExtension(HKEY root, const wchar_t* name, const wchar_t* classId,
                             const wchar_t* defaultVisible = nullptr) {
        std::wstring path = std::wstring(kExtensions) + L"\\" + name;
        ASSERT_TRUE(SetString(root, path, L"CLSID", classId));
        if (defaultVisible) {
            ASSERT_TRUE(SetString(root, path, L"Default Visible", defaultVisible));
        }
    }
    static void StoreLayoutBytes(const wchar_t* valueName, const std::vector<uint8_t>& bytes) {
        UniqueRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, kCommandBar, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, key.Put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.Get(), valueName, 0, REG_BINARY, bytes.data(),
                                                  static_cast<DWORD>(bytes.size())));
    }
    static void StoreLayout(const wchar_t* valueName, const Layout& layout) {
        StoreLayoutBytes(valueName, Bytes(layout));
    }
    // The stored value's bytes; "missing" when there is none, and the type
    // must be REG_BINARY.
    static std::string ReadLayout(const wchar_t* valueName) {
        UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kCommandBar, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
            key.Release();
            return "missing";
        }
        DWORD type = 0, size = 0;
        if (::RegQueryValueExW(key.Get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return "missing";
        std::vector<uint8_t> bytes(size);
        if (size && ::RegQueryValueExW(key.Get(), valueName, nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS)
            return "unreadable";
        if (type != REG_BINARY)
            return "type " + std::to_string(type);
        bytes.resize(size);
        return Describe(bytes);
    }
    static std::string Expected(const Layout& layout) { return Describe(Bytes(layout)); }

    static HMODULE s_dll;
    static MoveButtonFrontFn s_move;
    std::wstring m_scratch;
    UniqueRegKey m_user;
    UniqueRegKey m_machine;
    bool m_overridden = false;
};

HMODULE MoveButtonFrontTest::s_dll = nullptr;
MoveButtonFrontFn MoveButtonFrontTest::s_move = nullptr;

TEST_F(MoveButtonFrontTest, ExportedUndecoratedWithManifestAndNoRuntimeDlls) {
    EXPECT_EQ(nullptr, ::GetProcAddress(s_dll, "MoveButtonFront@4"));
    EXPECT_EQ(nullptr, ::GetProcAddress(s_dll, "_MoveButtonFront@4"));
    // A DLL's manifest is resource 2 (ISOLATIONAWARE_MANIFEST_RESOURCE_ID).
    HRSRC res = ::FindResourceW(s_dll, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    ASSERT_NE(nullptr, res);
    const char* text = static_cast<const char*>(::LockResource(::LoadResource(s_dll, res)));
    ASSERT_NE(nullptr, text);
    std::string manifest(text, ::SizeofResource(s_dll, res));
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\"")) << manifest;
    // Everything is linked in: loading it pulled in no mingw runtime DLL.
    EXPECT_EQ(nullptr, ::GetModuleHandleW(L"libstdc++-6.dll"));
    EXPECT_EQ(nullptr, ::GetModuleHandleW(L"libgcc_s_dw2-1.dll"));
    EXPECT_EQ(nullptr, ::GetModuleHandleW(L"libwinpthread-1.dll"));
}

TEST_F(MoveButtonFrontTest, Generation8StoredLayoutGetsTargetFirst) {
    SetVersion(L"8.0.6001.18702");
    AddExtension(HKEY_CURRENT_USER, kFirst, kButtonClass);  // 0x169
    StoreLayout(L"CommandBandLayout", {7, 0x101, 0x103, 0x169, 0x104});
    StoreLayout(L"ButtonLayout", {7, 0x101});
    EXPECT_EQ(0u, s_move(kFirst));
    EXPECT_EQ(Expected({7, 0x169, 0x101, 0x103, 0x104}), ReadLayout(L"CommandBandLayout"));
    EXPECT_EQ(Expected({7, 0x101}), ReadLayout(L"ButtonLayout"));
    // A second call finds it first already and changes nothing.
    s_move(kFirst);
    EXPECT_EQ(Expected({7, 0x169, 0x101, 0x103, 0x104}), ReadLayout(L"CommandBandLayout"));
}

TEST_F(MoveButtonFrontTest, Generation7NewLayoutWithDefaultVisibleButton) {
    SetVersion(L"7.0.5730.13");
    AddExtension(HKEY_CURRENT_USER, kFirst, kButtonClass);            // 272, the target
    AddExtension(HKEY_CURRENT_USER, kSecond, kOtherClass, L"yes");    // no button: no id
    AddExtension(HKEY_CURRENT_USER, kThird, kButtonClass);            // 273, not visible
    AddExtension(HKEY_CURRENT_USER, kFourth, L"{1fba04ee-3024-11d2-8f1f-0000f87abd16}", L"yes");  // 274
    StoreLayout(L"CommandBandLayout", {7, 0x101});
    s_move(kFirst);
    EXPECT_EQ(Expected({7, 272, 0x101, 0x103, 0x104, 0x105, 0x106, 0x107, 274}), ReadLayout(L"ButtonLayout"));
    EXPECT_EQ(Expected({7, 0x101}), ReadLayout(L"CommandBandLayout"));
}

TEST_F(MoveButtonFrontTest, IdsRunFromUserToMachineKeys) {
    SetVersion(L"7.0");
    AddExtension(HKEY_CURRENT_USER, kFirst, kButtonClass);    // 272
    AddExtension(HKEY_CURRENT_USER, kThird, kButtonClass);    // 273
    AddExtension(HKEY_LOCAL_MACHINE, kSecond, kButtonClass);  // 274
    StoreLayout(L"ButtonLayout", {7, 0x101, 0x103});
    s_move(kSecond);
    EXPECT_EQ(Expected({7, 274, 0x101, 0x103}), ReadLayout(L"ButtonLayout"));
    s_move(kThird);
    EXPECT_EQ(Expected({7, 273, 274, 0x101, 0x103}), ReadLayout(L"ButtonLayout"));
}

TEST_F(MoveButtonFrontTest, MachineKeyReplacesUserKeyOfSameName) {
    SetVersion(L"8.0");
    AddExtension(HKEY_CURRENT_USER, kFirst, kButtonClass, L"yes");  // 361, replaced
    AddExtension(HKEY_CURRENT_USER, kSecond, kButtonClass, L"Yes"); // 362
    AddExtension(HKEY_LOCAL_MACHINE, kFirst, kButtonClass);         // 363
    s_move(kSecond);
    // kFirst's machine record, not visible, takes the user one's place.
    EXPECT_EQ(Expected({7, 362, 0x101, 0x103, 0x108, 0x104, 0x105, 0x143, 0x106, 0x107}),
              ReadLayout(L"CommandBandLayout"));
    s_move(kFirst);
    EXPECT_EQ(Expected({7, 363, 362, 0x101, 0x103, 0x108, 0x104, 0x105, 0x143, 0x106, 0x107}),
              ReadLayout(L"CommandBandLayout"));
}

TEST_F(MoveButtonFrontTest, UnknownBrowserVersionChangesNothing) {
    AddExtension(HKEY_CURRENT_USER, kFirst, kButtonClass);
    // No "Version" at all, then 9.0 and 6.0.
    s_move(kFirst);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kCommandBar));
    const wchar_t* versions[] = {L"9.0", L"6.0.2900.2180", L"10.0.9200.16384"};
    for (const wchar_t* version : versions) {
        SetVersion(version);
        s_move(kFirst);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kCommandBar)) << Narrow(version);
    }
    StoreLayout(L"ButtonLayout", {7, 0x101, 0x103});
    StoreLayout(L"CommandBandLayout", {7, 0x103, 0x101});
    SetVersion(L"9.0");
    s_move(kFirst);
    EXPECT_EQ(Expected({7, 0x101, 0x103}), ReadLayout(L"ButtonLayout"));
    EXPECT_EQ(Expected({7, 0x103, 0x101}), ReadLayout(L"CommandBandLayout"));
}

TEST_F(MoveButtonFrontTest, UnregisteredButtonLeavesLayoutAlone) {
    SetVersion(L"8.0");
    AddExtension(HKEY_CURRENT_USER, kFirst, kButtonClass);
    AddExtension(HKEY_CURRENT_USER, kSecond, kOtherClass);
    s_move(kThird);   // no such key
    s_move(kSecond);  // not a toolbar button
    s_move(L"{10000000-aaaa-4000-8000-000000000001}");  // kFirst, spelled otherwise
    s_move(L"");
    s_move(nullptr);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kCommandBar));
    StoreLayout(L"CommandBandLayout", {7, 0x101, 0x103});
    s_move(kSecond);
    EXPECT_EQ(Expected({7, 0x101, 0x103}), ReadLayout(L"CommandBandLayout"));
}

TEST_F(MoveButtonFrontTest, PartialEntriesOfStoredValue) {
    SetVersion(L"7.0");
    AddExtension(HKEY_CURRENT_USER, kFirst, kButtonClass);
    // Shorter than one entry: no layout, a new one is written.
    StoreLayoutBytes(L"ButtonLayout", {7, 0, 0});
    s_move(kFirst);
    EXPECT_EQ(Expected({7, 272, 0x101, 0x103, 0x104, 0x105, 0x106, 0x107}), ReadLayout(L"ButtonLayout"));
    // Bytes beyond the last whole entry are dropped.
    std::vector<uint8_t> bytes = Bytes({5, 0x101});
    bytes.push_back(0x10);
    bytes.push_back(0x01);
    StoreLayoutBytes(L"ButtonLayout", bytes);
    s_move(kFirst);
    EXPECT_EQ(Expected({5, 272, 0x101}), ReadLayout(L"ButtonLayout"));
}

TEST_F(MoveButtonFrontTest, OddlyStoredRegistryValues) {
    const std::wstring extensions = std::wstring(kExtensions) + L"\\";
    StoreLayout(L"ButtonLayout", {7, 0x101});
    AddExtension(HKEY_CURRENT_USER, kThird, kButtonClass);
    // A "Version" that isn't a string tells no generation.
    DWORD seven = 7;
    ASSERT_TRUE(SetRaw(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Internet Explorer", L"Version", REG_DWORD,
                       &seven, sizeof seven));
    s_move(kThird);
    EXPECT_EQ(Expected({7, 0x101}), ReadLayout(L"ButtonLayout"));

    SetVersion(L"7.0");
    // Enumerated first: a name too long for the 200-character buffer takes no
    // id and doesn't end the enumeration.
    AddExtension(HKEY_CURRENT_USER, (L"{0" + std::wstring(208, L'x') + L"}").c_str(), kButtonClass);
    // A class id stored without its terminator still counts (272); one stored
    // as binary doesn't.
    ASSERT_TRUE(SetRaw(HKEY_CURRENT_USER, extensions + kFirst, L"CLSID", REG_SZ, kButtonClass,
                       static_cast<DWORD>(wcslen(kButtonClass) * sizeof(wchar_t))));
    ASSERT_TRUE(SetRaw(HKEY_CURRENT_USER, extensions + kSecond, L"CLSID", REG_BINARY, kButtonClass,
                       static_cast<DWORD>(wcslen(kButtonClass) * sizeof(wchar_t))));
    s_move(kThird);
    EXPECT_EQ(Expected({7, 273, 0x101}), ReadLayout(L"ButtonLayout"));
}

}  // namespace
