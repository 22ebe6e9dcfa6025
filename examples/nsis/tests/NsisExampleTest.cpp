// The NSIS example as a product team uses it, under Wine: built with makensis,
// version 1.0 installed by hand, 1.1 published with the publishing tool on the
// local update server, and the check that the installed task runs takes the
// product to 1.1.
#include "common/ComInit.h"
#include "common/Handles.h"
#include "system/SchedulerTasks.h"
#include "testsupport/TestSupport.h"
#include "updateserver/HostPrograms.h"
#include "updateserver/UpdateServer.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// A name with a space: the installer's product folder and the path it
// registers hold one.
const wchar_t kProductName[] = L"QM Nsis Example";
const char kIntname[] = "qm-nsis-example";
const wchar_t kSettingsKey[] = L"Software\\QM Nsis Example";
const wchar_t kUpdaterIdKey[] = L"Software\\QuillMarrow\\Updater";

std::wstring LocalAppData() { return ShellFolder(CSIDL_LOCAL_APPDATA); }
std::wstring ProductDir() { return LocalAppData() + L"\\" + kProductName; }
std::wstring UserProductsPath() { return LocalAppData() + L"\\UserProducts.xml"; }

std::string FileText(const std::wstring& path) {
    std::string text;
    ReadFileBytes(path, text);
    return text;
}

// The text of a value under HKEY_CURRENT_USER; "<absent>" when there is none.
std::string UserRegistryText(const wchar_t* key, const wchar_t* name) {
    UniqueRegKey opened;
    wchar_t buffer[200] = {0};
    DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, opened.Put()) !=
            ERROR_SUCCESS ||
        ::RegQueryValueExW(opened.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return "<absent>";
    return Narrow(buffer);
}

class NsisExample : public ::testing::Test {
protected:
    NsisExample() : m_dir(L"nsis-example"), m_server((CreateFolders(m_dir / L"srv"), m_dir / L"srv")) {}

    void SetUp() override {
        Clean();
        m_signing = TestBinPath(L"signing");
    }
    void TearDown() override { Clean(); }

    // Everything the example installs and registers, and the check's records
    // beside the user products file.
    static void Clean() {
        ScopedComInit com;
        RemoveTree(ProductDir());
        ::SHDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
        DeleteTask(GetUserTaskName());
        for (const wchar_t* name :
             {L"UserProducts.xml", L"updater.log", L"MachineId.txt", L"InstallFailures.txt",
              L"ManifestsIssued.txt", L"RunningInstallers.txt"})
            ::DeleteFileW((LocalAppData() + L"\\" + name).c_str());
        // A per-user install has no updater id: only addsystask writes one.
        UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUpdaterIdKey, 0, KEY_SET_VALUE, key.Put()) ==
            ERROR_SUCCESS)
            ::RegDeleteValueW(key.Get(), L"UserID");
    }

    // makensis builds the example for version into path; false, with its
    // output in the failure, when it does not.
    ::testing::AssertionResult Build(const std::string& version, const std::wstring& path) {
        std::string pin = FileText(m_signing + L"\\pin1.txt").substr(0, 64);
        const std::wstring dist = DistPath(L"Updater.exe");
        const std::wstring output = path + L".log";
        const int code = RunUnixProgram(
            L"makensis",
            "-V2 -DVERSION=" + version + " -DUPDATER_DIST=" +
                UnixArg(dist.substr(0, dist.rfind(L'\\'))) + " '-DPRODUCT_NAME=" +
                Narrow(kProductName) + "' -DINTNAME=" + kIntname + " '-DUPDATE_URL=" +
                ManifestUrl() + "?id={updaterguid}' -DSIGNER=" + pin + " -DOUTFILE=" +
                UnixArg(path) + " " + UnixArg(SourcePath(L"examples\\nsis\\installer.nsi")) +
                " > " + UnixArg(output) + " 2>&1");
        if (code == 0 && FileExists(path))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "makensis exited with " << code << ":\n"
                                             << FileText(output);
    }

    // The publishing tool's command with the publisher's key; false, with its
    // output, when it fails.
    ::testing::AssertionResult Publish(const std::string& arguments) {
        const std::wstring output = m_dir / L"qmpublish.log";
        const int code = RunUnixProgram(
            L"python3", UnixArg(SourcePath(L"tools\\qmpublish")) + " " + arguments + " --key " +
                            UnixArg(m_signing + L"\\key1.pem") + " --cert " +
                            UnixArg(m_signing + L"\\cert1.pem") + " > " + UnixArg(output) +
                            " 2>&1");
        if (code == 0)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "qmpublish " << arguments << " exited with "
                                             << code << ":\n"
                                             << FileText(output);
    }

    std::string ManifestUrl() const { return Narrow(m_server.Url(L"pad/update.xml")); }

    // Runs the check as the task would; its exit code, and its log in text.
    int Check(const std::wstring& updater, std::string& text) {
        ::DeleteFileW((LocalAppData() + L"\\updater.log").c_str());
        const std::wstring cwd = m_dir / L"cwd";
        CreateFolders(cwd);
        const int code = RunAndWait(updater, L"-runmode=checkupdate", 300000, cwd);
        text = FileText(LocalAppData() + L"\\updater.log");
        return code;
    }

    TempDir m_dir;
    UpdateServer m_server;
    std::wstring m_signing;
};

TEST_F(NsisExample, InstallsAVersionAndTheUpdaterTakesItToTheNext) {
    ASSERT_TRUE(m_server.Started());
    ASSERT_TRUE(FileExists(m_signing + L"\\pin1.txt")) << "make_signed.sh has not run";
    const std::wstring setup10 = m_dir / L"Setup-1.0.exe";
    ASSERT_TRUE(Build("1.0", setup10));
    if (!CanStart(setup10))
        GTEST_SKIP() << "32-bit installers can't start here";

    // Installed by hand: without /verysilent mapped to a silent install the
    // installer would wait for a click.
    ASSERT_EQ(0, RunAndWait(setup10, L"/verysilent", 120000))
        << FileText(LocalAppData() + L"\\updater.log");
    const std::wstring product = ProductDir();
    for (const wchar_t* file : {L"1.0\\version.txt", L"1.0\\product.xml", L"1.0\\Updater.exe",
                                L"Updater.exe", L"notifier.exe", L"whatsnew.xsl",
                                L"uninstall.exe"})
        EXPECT_TRUE(FileExists(product + L"\\" + file)) << Narrow(file);
    std::string products = FileText(UserProductsPath());
    EXPECT_NE(std::string::npos, products.find("intname='" + std::string(kIntname) + "'"))
        << products;
    EXPECT_NE(std::string::npos, products.find("version='1.0'")) << products;
    EXPECT_NE(std::string::npos, products.find("productdir='" + Narrow(product) + "'"))
        << products;
    // The task runs the Updater that has the Notifier and its stylesheet
    // beside it.
    std::wstring updater;
    {
        ScopedComInit com;
        updater = ReadTask(GetUserTaskName()).application;
    }
    ASSERT_EQ(Narrow(product + L"\\Updater.exe"), Narrow(updater));

    // The user changes a setting that the installer writes its default over.
    UniqueRegKey settings;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE,
                                             settings.Put()));
    const wchar_t chosen[] = L"chosen by the user";
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(settings.Get(), L"Settings", 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(chosen),
                                              sizeof chosen));
    settings.Reset();

    // 1.1, signed and published with the tool.
    const std::wstring setup11 = m_dir / L"Setup-1.1.exe";
    const std::wstring signed11 = m_dir / L"signed\\Setup-1.1.exe";
    ASSERT_TRUE(Build("1.1", setup11));
    ASSERT_TRUE(CreateFolders(m_dir / L"signed"));
    ASSERT_TRUE(Publish("sign " + UnixArg(setup11) + " " + UnixArg(signed11)));
    ASSERT_TRUE(Publish("manifest --intname " + std::string(kIntname) + " --version 1.1" +
                        " --installer " + UnixArg(signed11) + " --installer-url " +
                        Narrow(m_server.Url(L"pad/Setup-1.1.exe")) + " --out " +
                        UnixArg(m_dir / L"srv\\pad")));

    std::string log;
    EXPECT_EQ(0, Check(updater, log)) << log;
    EXPECT_TRUE(FileExists(product + L"\\1.1\\version.txt")) << log;
    products = FileText(UserProductsPath());
    EXPECT_NE(std::string::npos, products.find("version='1.1'")) << products;
    EXPECT_EQ("chosen by the user", UserRegistryText(kSettingsKey, L"Settings"));
    // No updater id on a per-user install: the placeholder is removed.
    EXPECT_NE(std::string::npos, m_server.Requests().find("GET /pad/update.xml?id=\n"))
        << m_server.Requests();
    // The check that installed 1.1 began with 1.0 registered: the folder of
    // 1.0 goes at the next check.
    EXPECT_TRUE(FileExists(product + L"\\1.0\\version.txt"));

    EXPECT_EQ(0, Check(updater, log)) << log;
    EXPECT_NE(std::string::npos, log.find("There was no updates")) << log;
    EXPECT_FALSE(FileExists(product + L"\\1.0")) << log;
    EXPECT_TRUE(FileExists(product + L"\\1.1\\version.txt"));
}

}  // namespace
