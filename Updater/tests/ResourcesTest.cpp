// What the shipped Updater.exe carries besides its code.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace testsupport;

namespace {

std::wstring VersionString(const std::vector<char>& block, const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT len = 0;
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!::VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &len) || !value)
        return L"<missing>";
    return value;
}

TEST(UpdaterResources, VersionInformation) {
    std::wstring exe = DistPath(L"Updater.exe");
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeW(exe.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(MAKELONG(3, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(10, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(3, 1), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(10, 0), fixed->dwProductVersionLS);
    EXPECT_EQ("Updater Module", Narrow(VersionString(block, L"FileDescription")));
    EXPECT_EQ("1, 3, 0, 10", Narrow(VersionString(block, L"FileVersion")));
}

TEST(UpdaterResources, ManifestAsksForNoElevation) {
    HMODULE exe = ::LoadLibraryExW(DistPath(L"Updater.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, exe);
    HRSRC res = ::FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(nullptr, res);
    const char* text = static_cast<const char*>(::LockResource(::LoadResource(exe, res)));
    std::string manifest(text, ::SizeofResource(exe, res));
    ::FreeLibrary(exe);
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\"")) << manifest;
    EXPECT_NE(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
    EXPECT_NE(std::string::npos, manifest.find("version=\"6.0.0.0\""));
}

}  // namespace
