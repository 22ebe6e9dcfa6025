// Updater.exe -runmode=checkupdate end to end under Wine: a real update server
// on 127.0.0.1, recording stand-ins for installers, clean-up programs and the
// Notifier, the real registry and real folders.
#include "testsupport/TestSupport.h"
#include "updateserver/HostPrograms.h"
#include "updateserver/UpdateServer.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <sddl.h>

#include <tlhelp32.h>

#include <algorithm>
#include <memory>

using namespace testsupport;

namespace {

const char kManifestFormat[] =
    "<update intname='%s' version='%s' installerurl='%s' whatsnewurl='%s'/>";

std::vector<std::string> SplitOn(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(sep, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// The keys, pins and signed installers that tests/signing/make_signed.sh
// made for this run (the test's fixture); empty when they are missing.
std::wstring SigningFolder() {
    std::wstring folder = TestBinPath(L"signing");
    return FileExists(folder + L"\\nsis.exe") ? folder : std::wstring();
}

std::string Pin(int publisher) {
    std::string pin;
    ReadFileBytes(SigningFolder() + L"\\pin" + std::to_wstring(publisher) + L".txt", pin);
    return pin.substr(0, 64);
}

// The value of one attribute of a manifest's text.
std::string Attribute(const std::string& manifest, const std::string& name) {
    size_t at = manifest.find(" " + name + "='");
    if (at == std::string::npos)
        return std::string();
    at += name.size() + 3;
    return manifest.substr(at, manifest.find('\'', at) - at);
}

// One line of the stand-ins' record file.
struct Record {
    std::string program, commandLine, folder, account, notification, reg, desktop, temp;
    bool hasNotification = false;
    bool ended = false;  // a lingering child's record at its end
};

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line;
    return text;
}

class UpdateCheck : public ::testing::Test {
protected:
    UpdateCheck()
        : m_dir(L"engine-e2e"), m_server((CreateFolders(m_dir / L"srv"), m_dir / L"srv")) {}

    void SetUp() override {
        ASSERT_TRUE(m_server.Started());
        m_bin = m_dir / L"app\\bin";
        m_prod = m_dir / L"prod";
        m_record = m_dir / L"record.txt";
        m_regKey = L"Software\\QuillMarrowTest\\engine-e2e";
        ASSERT_TRUE(CreateFolders(m_bin));
        ASSERT_TRUE(CreateFolders(m_prod));
        ASSERT_TRUE(CopyFileTo(DistPath(L"Updater.exe"), m_bin + L"\\Updater.exe"));
        ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_bin + L"\\notifier.exe"));
        ::SetEnvironmentVariableW(L"QM_RECORD", m_record.c_str());
        // An installer that succeeds registers the version it installed.
        ::SetEnvironmentVariableW(L"QM_INSTALL_REGISTER", UserProductsPath().c_str());
        ::SHDeleteKeyW(HKEY_CURRENT_USER, m_regKey.c_str());
        CleanUserState();
    }

    void TearDown() override {
        for (const wchar_t* name : {L"QM_RECORD", L"QM_RECORD_REGVALUE", L"QM_INSTALL_DIR",
                                    L"QM_INSTALL_REGISTER",
                                    L"QM_INSTALL_REGSET", L"QM_HOLD", L"QM_INSTALL_KILL_PARENT",
                                    L"QM_INSTALL_EXIT_fails", L"QM_INSTALL_REGSET_fails",
                                    L"QM_INSTALL_EXIT_restart", L"QM_INSTALL_EXIT_flaky",
                                    L"QM_INSTALL_SLEEP_endless", L"QM_INSTALL_CHILD_endless"})
            ::SetEnvironmentVariableW(name, nullptr);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, m_regKey.c_str());
        CleanUserState();
    }

    static void CleanUserState() {
        ::DeleteFileW(UserProductsPath().c_str());
        ::DeleteFileW(UserLogPath().c_str());
        // Also what a notification test planted there: a read-only file, a folder.
        ::SetFileAttributesW(NotificationPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(NotificationPath().c_str());
        ::RemoveDirectoryW(NotificationPath().c_str());
        for (const std::wstring& notice : NoticeFiles())
            ::DeleteFileW(notice.c_str());
        for (const std::wstring& journal : Journals(L"*")) {
            ::DeleteFileW(journal.c_str());
            ::RemoveDirectoryW(journal.c_str());
        }
        for (const wchar_t* ending : {L"", L".damaged"}) {
            ::DeleteFileW((InstallFailuresPath() + ending).c_str());
            ::RemoveDirectoryW((InstallFailuresPath() + ending).c_str());
        }
        for (const wchar_t* state : {L"ManifestsIssued.txt", L"RunningInstallers.txt",
                                     L"MachineId.txt"}) {
            const std::wstring path = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\" + state;
            ::DeleteFileW(path.c_str());
            ::DeleteFileW((path + L".damaged").c_str());
        }
    }

    static std::wstring InstallFailuresPath() {
        return ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\InstallFailures.txt";
    }

    // Journals of preserved values beside the user products file.
    static std::vector<std::wstring> Journals(const std::wstring& ending = L".journal") {
        std::wstring folder = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\";
        std::vector<std::wstring> found;
        WIN32_FIND_DATAW fd;
        HANDLE find = ::FindFirstFileW((folder + L"PreservedValues-*" + ending).c_str(), &fd);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &fd))
            found.push_back(folder + fd.cFileName);
        if (find != INVALID_HANDLE_VALUE)
            ::FindClose(find);
        return found;
    }

    static std::wstring UserProductsPath() {
        return ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\UserProducts.xml";
    }
    // Where every notice's file was before each got a name of its own.
    static std::wstring NotificationPath() {
        return ShellFolder(CSIDL_COMMON_APPDATA) + L"\\whatsnew.xml";
    }
    // The notices' files (not folders) now in the common application data
    // folder.
    static std::vector<std::wstring> NoticeFiles() {
        std::wstring folder = ShellFolder(CSIDL_COMMON_APPDATA) + L"\\";
        std::vector<std::wstring> found;
        WIN32_FIND_DATAW fd;
        HANDLE find = ::FindFirstFileW((folder + L"whatsnew-*.xml").c_str(), &fd);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &fd))
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                found.push_back(folder + fd.cFileName);
        if (find != INVALID_HANDLE_VALUE)
            ::FindClose(find);
        return found;
    }
    // The notification file a Notifier's command line names; empty when it
    // is not one of a name nobody could predict ("whatsnew-<process id>-<32
    // hexadecimal digits>.xml") in the common application data folder.
    static std::string NoticePath(const Record& notifier) {
        const std::string key = "-notificationfile=\"";
        const size_t at = notifier.commandLine.find(key);
        if (at == std::string::npos)
            return std::string();
        const size_t start = at + key.size(), end = notifier.commandLine.find('"', start);
        const std::string path = notifier.commandLine.substr(start, end - start);
        const std::string prefix = Narrow(ShellFolder(CSIDL_COMMON_APPDATA)) + "\\whatsnew-";
        const size_t dash = path.size() - 37;
        if (path.size() < prefix.size() + 38 || path.compare(0, prefix.size(), prefix) != 0 ||
            path.compare(path.size() - 4, 4, ".xml") != 0 || path[dash] != '-' ||
            path.find_first_not_of("0123456789", prefix.size()) != dash ||
            path.find_first_not_of("0123456789abcdef", dash + 1) != path.size() - 4)
            return std::string();
        return path;
    }

    // Puts an installer (the recording stand-in) and a manifest for it on the
    // server under srv\<folder>; the checksum comes from the server.
    void Offer(const std::string& folder, const std::string& intname, const std::string& version,
               const std::string& whatsNew, const std::string& installerPrefix = "") {
        std::wstring dir = m_dir / (L"srv\\" + Widen(folder));
        ASSERT_TRUE(CreateFolders(dir));
        ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), dir + L"\\Setup.exe"));
        std::string installer = Narrow(m_server.Url(Widen(installerPrefix + folder + "/Setup.exe")));
        std::string whatsNewUrl;
        if (!whatsNew.empty()) {
            ASSERT_TRUE(WriteFileBytes(dir + L"\\whatsnew.html", whatsNew));
            whatsNewUrl = Narrow(m_server.Url(Widen(folder + "/whatsnew.html")));
        }
        char manifest[2048];
        std::snprintf(manifest, sizeof manifest, kManifestFormat, intname.c_str(), version.c_str(),
                      installer.c_str(), whatsNewUrl.c_str());
        ASSERT_TRUE(WriteFileBytes(dir + L"\\update.xml", manifest));
    }

    std::string ManifestUrl(const std::string& folder) const {
        return Narrow(m_server.Url(Widen(folder + "/update.xml")));
    }

    // Makes the manifest that Offer put into srv\<folder> a signed one: the
    // SHA-256 and size of the installer there, an expiry far ahead and the
    // attributes in extra (" name='value'..."), signed with publisher 1's key
    // (make_signed.sh).
    void SignOffer(const std::string& folder, const std::string& extra = "") {
        std::wstring dir = m_dir / (L"srv\\" + Widen(folder));
        std::wstring signing = SigningFolder();
        std::string manifest, installer, digest;
        ASSERT_TRUE(ReadFileBytes(dir + L"\\update.xml", manifest));
        ASSERT_TRUE(ReadFileBytes(dir + L"\\Setup.exe", installer));
        ASSERT_EQ(0, RunUnixProgram(L"openssl", "dgst -sha256 -r -out " +
                                                    UnixArg(dir + L"\\sha256.txt") + " " +
                                                    UnixArg(dir + L"\\Setup.exe")));
        ASSERT_TRUE(ReadFileBytes(dir + L"\\sha256.txt", digest));
        manifest.insert(manifest.rfind("/>"), " sha256='" + digest.substr(0, 64) + "' size='" +
                                                  std::to_string(installer.size()) +
                                                  "' issued='2020-01-01T00:00:00Z'"
                                                  " expires='2099-01-01T00:00:00Z'" + extra);
        ASSERT_TRUE(WriteFileBytes(dir + L"\\update.xml", manifest));
        ASSERT_EQ(0, RunUnixProgram(L"openssl",
                                    "cms -sign -binary -md sha256 -outform DER -in " +
                                        UnixArg(dir + L"\\update.xml") + " -signer " +
                                        UnixArg(signing + L"\\cert1.pem") + " -inkey " +
                                        UnixArg(signing + L"\\key1.pem") + " -out " +
                                        UnixArg(dir + L"\\update.xml.sig")));
    }

    // A product entry of a products file.
    static std::string Product(const std::string& intname, const std::string& version,
                               const std::string& updateUrl, const std::string& productDir,
                               const std::string& children = "") {
        return "<product intname='" + intname + "' version='" + version + "' updateurl='" +
               updateUrl + "' productdir='" + productDir + "'>" + children + "</product>";
    }

    static void WriteUserProducts(const std::string& products) {
        ASSERT_TRUE(WriteFileBytes(UserProductsPath(),
                                   "<?xml version='1.0' encoding='UTF-8'?><products>" + products +
                                       "</products>"));
    }

    // Runs the copied Updater with -runmode=checkupdate and returns the log
    // messages of the check (between the run-mode record and the finish).
    std::vector<std::string> RunCheck(const std::wstring& exe = std::wstring(),
                                      const std::wstring& logPath = std::wstring(),
                                      const std::wstring& workDir = std::wstring()) {
        std::wstring program = exe.empty() ? m_bin + L"\\Updater.exe" : exe;
        // Always a working folder of the test's own: an Updater that wrongly
        // cleans up the working folder must not reach the build tree.
        std::wstring cwd = workDir.empty() ? m_dir / L"cwd" : workDir;
        CreateFolders(cwd);
        m_exitCode = RunAndWait(program, L"-runmode=checkupdate", 180000, cwd);
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(logPath.empty() ? UserLogPath() : logPath, bytes));
        std::vector<std::string> all = LogMessages(bytes);
        // A check exits with 1 exactly when it says that a product failed or
        // that its products file could not be read.
        const bool failed = bytes.find("products; ") != std::string::npos ||
                            bytes.find("Failed to read products file ") != std::string::npos;
        EXPECT_EQ(failed ? 1 : 0, m_exitCode) << bytes;
        std::vector<std::string> check;
        bool inside = false;
        for (const std::string& m : all) {
            if (m == "Updater runmode: checkupdate\r\n") {
                inside = true;
                continue;
            }
            if (m.compare(0, 16, "Updater Finished") == 0)
                inside = false;
            else if (inside)
                check.push_back(m);
        }
        return check;
    }

    std::vector<Record> Records() const {
        std::string text;
        ReadFileBytes(m_record, text);
        std::vector<Record> records;
        for (const std::string& line : SplitOn(text, '\n')) {
            if (line.empty())
                continue;
            std::vector<std::string> f = SplitOn(line, '\t');
            Record r;
            r.program = f[0];
            if (f.size() > 1) r.commandLine = f[1];
            if (f.size() > 2) r.folder = f[2];
            if (f.size() > 3) r.account = f[3];
            for (size_t i = 4; i < f.size(); ++i) {
                if (f[i].compare(0, 13, "notification=") == 0) {
                    r.notification = f[i].substr(13);
                    r.hasNotification = true;
                } else if (f[i].compare(0, 4, "reg=") == 0) {
                    r.reg = f[i].substr(4);
                } else if (f[i] == "reg-absent") {
                    r.reg = "<absent>";
                } else if (f[i].compare(0, 8, "desktop=") == 0) {
                    r.desktop = f[i].substr(8);
                } else if (f[i].compare(0, 5, "temp=") == 0) {
                    r.temp = f[i].substr(5);
                } else if (f[i] == "ended") {
                    r.ended = true;
                }
            }
            records.push_back(r);
        }
        return records;
    }

    std::string Expected(const std::vector<std::string>& lines) const { return Join(lines); }

    std::string RegValue(const std::wstring& name) const {
        wchar_t data[512] = {0};
        DWORD size = sizeof data - sizeof(wchar_t);
        if (::SHGetValueW(HKEY_CURRENT_USER, m_regKey.c_str(), name.c_str(), nullptr, data,
                          &size) != ERROR_SUCCESS)
            return "<absent>";
        return Narrow(data);
    }

    // Type and bytes of a value under the test's key; type 0 when absent.
    std::pair<DWORD, std::string> RawValue(const std::wstring& name) const {
        BYTE data[512] = {0};
        DWORD size = sizeof data, type = 0;
        if (::SHGetValueW(HKEY_CURRENT_USER, m_regKey.c_str(), name.c_str(), &type, data, &size) !=
            ERROR_SUCCESS)
            return {0, std::string()};
        return {type, std::string(reinterpret_cast<char*>(data), size)};
    }

    std::string NotificationFor(const std::string& document) const {
        std::string folder = Narrow(m_bin);
        return "<?xml-stylesheet type='text/xsl' href='" + folder +
               "/whatsnew.xsl'?><alert baseurl='" + folder + "\\'>" + document + "</alert>";
    }

    TempDir m_dir;
    UpdateServer m_server;
    std::wstring m_bin, m_prod, m_record, m_regKey;
    int m_exitCode = -1;  // of the last RunCheck
};

std::vector<std::string> Lines(std::initializer_list<std::string> lines) {
    std::vector<std::string> out;
    for (const std::string& l : lines)
        out.push_back(l + "\r\n");
    return out;
}

TEST_F(UpdateCheck, NoProductsChecksThePrototypeOnly) {
    std::vector<std::string> log = RunCheck();
    EXPECT_EQ(Join(Lines({"Checking update mutex", "Checking For Updates", "Updating User Products",
                          "Updating ", "Update url ", "There was no updates"})),
              Join(log));
    EXPECT_TRUE(Records().empty());
}

TEST_F(UpdateCheck, FullUpdateOfOneProduct) {
    Offer("pad", "pad", "1.1", "<p>Faster</p>");
    ASSERT_TRUE(CreateFolders(m_prod + L"\\1.0\\tools"));
    ASSERT_TRUE(CreateFolders(m_prod + L"\\0.9"));
    ASSERT_TRUE(CreateFolders(m_prod + L"\\data"));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_prod + L"\\1.0\\tools\\clean.exe"));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"RecordingServer.dll"), m_prod + L"\\1.0\\pad.dll"));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_prod + L"\\1.0\\padrun.exe"));
    HANDLE running = StartProcess(m_prod + L"\\1.0\\padrun.exe", L"-sleep");
    ASSERT_NE(nullptr, running);
    ASSERT_TRUE(WaitFor([&] { return Records().size() == 1; }, 60000));
    ::DeleteFileW(m_record.c_str());

    std::string key = Narrow(m_regKey);
    ASSERT_EQ(ERROR_SUCCESS, ::SHSetValueW(HKEY_CURRENT_USER, m_regKey.c_str(), L"keep", REG_SZ,
                                           L"user setting", 26));
    ASSERT_EQ(ERROR_SUCCESS, ::SHSetValueW(HKEY_CURRENT_USER, m_regKey.c_str(), L"drop", REG_SZ,
                                           L"old", 8));
    std::string actions =
        "<unistallactions><action type='run' file='tools\\clean.exe' param='-all'/>"
        "<action type='kill' file='PADRUN.EXE'/><action type='unregsvr' file='pad.dll'/>"
        "</unistallactions><registryactions>"
        "<value action='preserve' root='HKCU' key='" + key + "' name='keep'/>"
        "<value action='delete' root='HKCU' key='" + key + "' name='drop'/></registryactions>";
    WriteUserProducts(Product("pad", "1.0", ManifestUrl("pad"), Narrow(m_prod), actions));
    ::SetEnvironmentVariableW(L"QM_RECORD_REGVALUE", (L"HKCU\\" + m_regKey + L"|keep").c_str());
    ::SetEnvironmentVariableW(L"QM_INSTALL_DIR", (m_prod + L"\\1.1").c_str());
    ::SetEnvironmentVariableW(L"QM_INSTALL_REGSET",
                              (L"HKCU\\" + m_regKey + L"|keep|installer default").c_str());

    std::vector<std::string> log = RunCheck();
    EXPECT_EQ(Join(Lines({"Checking update mutex", "Checking For Updates", "Updating User Products",
                          "Updating pad", "Update url " + ManifestUrl("pad"),
                          "Current ver 1.0 Server ver 1.1", "Got new one!", "PerformUninstallActions",
                          "PerformRegistryActions", "Start Installer",
                          "PerformRegistryActions_Restore", "Notifing about update"})),
              Join(log));

    // Order: the clean-up program, the library's unregistration, the
    // installer (after the registry actions, before the restore), the
    // Notifier.
    std::vector<Record> records = Records();
    std::string recordText;
    ReadFileBytes(m_record, recordText);
    ASSERT_EQ(4u, records.size()) << recordText;
    EXPECT_EQ("clean.exe", records[0].program);
    EXPECT_EQ("\"" + Narrow(m_prod) + "\\1.0\\tools\\clean.exe\" -all", records[0].commandLine);
    EXPECT_EQ(Narrow(m_prod) + "\\1.0\\tools", records[0].folder);
    EXPECT_EQ("RecordingServer.dll", records[1].program);
    EXPECT_EQ("unregister", records[1].commandLine);
    EXPECT_EQ(Narrow(m_prod) + "\\1.0\\pad.dll", records[1].folder);
    // The installer ran from a new folder of its own in the temporary
    // folder, which was also its working folder.
    std::string staging = records[2].folder;
    std::string installer = staging + "\\Setup_pad-1.1.exe";
    EXPECT_EQ("Setup_pad-1.1.exe", records[2].program);
    EXPECT_EQ("\"" + installer + "\" /verysilent", records[2].commandLine);
    EXPECT_EQ(Narrow(TempFolder()) + "\\", staging.substr(0, TempFolder().size() + 1));
    // Named for the Updater that made it: "qmstage-<process id>-<32 hex digits>".
    const std::string stagingName = staging.substr(TempFolder().size() + 1);
    EXPECT_EQ(0u, stagingName.find("qmstage-")) << staging;
    EXPECT_EQ(stagingName.size() - 33, stagingName.rfind('-')) << staging;
    EXPECT_EQ(records[0].account, records[2].account);
    EXPECT_EQ("<absent>", records[2].reg);
    // What it unpacks goes into a folder inside its own.
    EXPECT_EQ(staging + "\\temp|" + staging + "\\temp", records[2].temp);
    EXPECT_EQ("notifier.exe", records[3].program);
    ASSERT_NE("", NoticePath(records[3])) << records[3].commandLine;
    EXPECT_EQ("\"" + Narrow(m_bin) + "\\notifier.exe\" -notificationfile=\"" +
                  NoticePath(records[3]) + "\"",
              records[3].commandLine);
    ASSERT_TRUE(records[3].hasNotification);
    EXPECT_EQ(NotificationFor("<p>Faster</p>"), records[3].notification);
    EXPECT_EQ("", records[3].desktop);  // started as the Updater's own user

    // The killed program, the installer file and the notification file are
    // gone; the preserved value is back over what the installer wrote, the
    // deleted one stays deleted; the new version folder exists; 0.9 is
    // removed while the installed 1.0 and "data" stay.
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(running, 30000));
    ::CloseHandle(running);
    EXPECT_FALSE(FileExists(Widen(staging)));
    EXPECT_TRUE(NoticeFiles().empty());
    EXPECT_EQ("user setting", RegValue(L"keep"));
    EXPECT_EQ("<absent>", RegValue(L"drop"));
    EXPECT_TRUE(FileExists(m_prod + L"\\1.1\\installed.txt"));
    EXPECT_FALSE(FileExists(m_prod + L"\\0.9"));
    EXPECT_TRUE(FileExists(m_prod + L"\\1.0"));
    EXPECT_TRUE(FileExists(m_prod + L"\\data"));
}

TEST_F(UpdateCheck, UninstallActionTypesAreMatchedExactly) {
    Offer("pad", "pad", "2.0", "");
    ASSERT_TRUE(CreateFolders(m_prod + L"\\1.0"));
    for (const wchar_t* name : {L"server.exe", L"plain.exe", L"never.exe"})
        ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_prod + L"\\1.0\\" + name));
    std::string actions =
        "<unistallactions>"
        "<action type='unregexe' file='server.exe' param='ignored'/>"
        "<action type='Run' file='never.exe'/><action type=' run' file='never.exe'/>"
        "<action type='KILL' file='never.exe'/><action type='run' file=''/>"
        "<action type='run' file='plain.exe'/>"
        "</unistallactions>";
    WriteUserProducts(Product("pad", "1.0", ManifestUrl("pad"), Narrow(m_prod), actions));
    RunCheck();
    std::vector<Record> records = Records();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ("\"" + Narrow(m_prod) + "\\1.0\\server.exe\" /unregserver", records[0].commandLine);
    // An empty param leaves the space after the quoted path.
    EXPECT_EQ("\"" + Narrow(m_prod) + "\\1.0\\plain.exe\" ", records[1].commandLine);
    EXPECT_EQ("Setup_pad-2.0.exe", records[2].program);
}

struct WindowSearch {
    std::vector<DWORD> processIds;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (::IsWindowVisible(window) &&
        std::find(search->processIds.begin(), search->processIds.end(), pid) !=
            search->processIds.end()) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of a notifier.exe that parent started, or null.
HWND FindNotifierWindow(DWORD parent) {
    WindowSearch search = {{}, nullptr};
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return nullptr;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
        if (::lstrcmpiW(entry.szExeFile, L"notifier.exe") == 0 && entry.th32ParentProcessID == parent)
            search.processIds.push_back(entry.th32ProcessID);
    ::CloseHandle(snapshot);
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST_F(UpdateCheck, TheRealNotifierIsShownAndWaitedFor) {
    ASSERT_TRUE(CopyFileTo(DistPath(L"notifier.exe"), m_bin + L"\\notifier.exe"));
    ASSERT_TRUE(CopyFileTo(DistPath(L"whatsnew.xsl"), m_bin + L"\\whatsnew.xsl"));
    Offer("pad", "pad", "2.0", "<p>Shown for real</p>");
    WriteUserProducts(Product("pad", "1.0", ManifestUrl("pad"), ""));
    ASSERT_TRUE(CreateFolders(m_dir / L"cwd"));
    HANDLE updater = StartProcess(m_bin + L"\\Updater.exe", L"-runmode=checkupdate", m_dir / L"cwd");
    ASSERT_NE(nullptr, updater);
    HWND window = nullptr;
    const DWORD updaterId = ::GetProcessId(updater);
    bool shown = WaitFor([&] { return (window = FindNotifierWindow(updaterId)) != nullptr; }, 120000);
    if (shown) {
        // While the notice is up, the Updater waits and the file is there.
        std::string content;
        const std::vector<std::wstring> notices = NoticeFiles();
        EXPECT_EQ(1u, notices.size());
        EXPECT_TRUE(!notices.empty() && ReadFileBytes(notices[0], content));
        EXPECT_EQ(NotificationFor("<p>Shown for real</p>"), content);
        EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(updater, 500));
        ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);  // as Escape does
    }
    DWORD ended = ::WaitForSingleObject(updater, 120000);
    if (ended != WAIT_OBJECT_0)
        ::TerminateProcess(updater, 1);
    ::CloseHandle(updater);
    ASSERT_TRUE(shown);
    EXPECT_EQ(WAIT_OBJECT_0, ended);
    EXPECT_TRUE(NoticeFiles().empty());
}

TEST_F(UpdateCheck, NotificationCarriesTheFolderInUtf8) {
    m_bin = m_dir / L"Pr\u00FCfung \u00C5";
    ASSERT_TRUE(CreateFolders(m_bin));
    ASSERT_TRUE(CopyFileTo(DistPath(L"Updater.exe"), m_bin + L"\\Updater.exe"));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_bin + L"\\notifier.exe"));
    Offer("pad", "pad", "2.0", "caf\xC3\xA9");
    WriteUserProducts(Product("pad", "1.0", ManifestUrl("pad"), ""));
    RunCheck();
    std::vector<Record> records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_NE(std::string::npos, NotificationFor("").find("Pr\xC3\xBC" "fung \xC3\x85"));
    EXPECT_EQ(NotificationFor("caf\xC3\xA9"), records[1].notification);
}

// What another program left or holds at the notification file's old path,
// or at a name of the new kind, blocks no notice and is never written
// through or removed. Planted: a hard link to another file, a read-only
// file, a folder, a file held open without and with delete sharing.
TEST_F(UpdateCheck, PlantedNotificationPathsBlockNothing) {
    const std::wstring victim = m_dir / L"victim.txt";
    const std::wstring guessed =
        ShellFolder(CSIDL_COMMON_APPDATA) + L"\\whatsnew-00000000000000000000000000000000.xml";
    ASSERT_TRUE(WriteFileBytes(victim, "precious"));
    Offer("pad", "pad", "2.0", "news");
    const DWORD holders[] = {0, 0, 0, FILE_SHARE_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
    for (int i = 0; i < 5; ++i) {
        for (const std::wstring& path : {NotificationPath(), guessed}) {
            CleanUserState();
            ::SetFileAttributesW(guessed.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(guessed.c_str());
            ::RemoveDirectoryW(guessed.c_str());
            ::DeleteFileW(m_record.c_str());
            WriteUserProducts(Product("pad", "1.0", ManifestUrl("pad"), ""));
            ASSERT_TRUE(i == 0   ? ::CreateHardLinkW(path.c_str(), victim.c_str(), nullptr) != 0
                        : i == 2 ? ::CreateDirectoryW(path.c_str(), nullptr) != 0
                                 : WriteFileBytes(path, "planted"));
            if (i == 1)
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
            HANDLE held = holders[i] ? ::CreateFileW(path.c_str(), GENERIC_READ, holders[i], nullptr,
                                                     OPEN_EXISTING, 0, nullptr)
                                     : INVALID_HANDLE_VALUE;
            RunCheck();
            if (held != INVALID_HANDLE_VALUE)
                ::CloseHandle(held);
            const std::string planted = "case " + std::to_string(i) + " at " + Narrow(path);
            std::vector<Record> records = Records();
            ASSERT_EQ(2u, records.size()) << planted;
            EXPECT_NE("", NoticePath(records[1])) << planted << ": " << records[1].commandLine;
            EXPECT_EQ(NotificationFor("news"), records[1].notification) << planted;
            EXPECT_TRUE(NoticeFiles().size() == (path == guessed && i != 2 ? 1u : 0u)) << planted;
            const DWORD attributes = ::GetFileAttributesW(path.c_str());
            EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES &&
                        (i == 2) == ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0))
                << planted;
            std::string left;
            EXPECT_TRUE(i == 2 || (ReadFileBytes(path, left) && left == (i ? "planted" : "precious")))
                << planted << ": " << left;
        }
    }
    ::SetFileAttributesW(guessed.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(guessed.c_str());
    ::RemoveDirectoryW(guessed.c_str());
}

TEST_F(UpdateCheck, EqualVersionIsNoUpdate) {
    Offer("pad", "pad", "1.1.0", "news");
    WriteUserProducts(Product("pad", "1.1", ManifestUrl("pad"), ""));
    std::vector<std::string> log = RunCheck();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ("Current ver 1.1 Server ver 1.1.0\r\n", log[log.size() - 2]);
    EXPECT_EQ("There was no updates\r\n", log.back());
    EXPECT_TRUE(Records().empty());
}

TEST_F(UpdateCheck, UpdaterIdGoesIntoEveryPlaceholder) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\QuillMarrow\\Updater",
                                               0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE,
                                               nullptr, &key, nullptr));
    wchar_t old[128] = {0};
    DWORD oldSize = sizeof old - sizeof(wchar_t);
    bool hadOld = ::RegQueryValueExW(key, L"UserID", nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(old), &oldSize) == ERROR_SUCCESS;
    const wchar_t id[] = L"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key, L"UserID", 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(id), sizeof id));
    Offer("pad", "pad", "1.0", "");
    std::string url = ManifestUrl("pad") + "?id={updaterguid}&again={updaterguid}";
    WriteUserProducts(Product("pad", "1.0", url, "") +
                      Product("plain", "1.0", ManifestUrl("pad") + "?{UPDATERGUID}", ""));
    std::vector<std::string> log = RunCheck();
    if (hadOld)
        ::RegSetValueExW(key, L"UserID", 0, REG_SZ, reinterpret_cast<const BYTE*>(old),
                         static_cast<DWORD>((wcslen(old) + 1) * sizeof(wchar_t)));
    else
        ::RegDeleteValueW(key, L"UserID");
    ::RegCloseKey(key);
    std::string expected = ManifestUrl("pad") + "?id=" + Narrow(id) + "&again=" + Narrow(id);
    std::string text = Join(log);
    EXPECT_NE(std::string::npos, text.find("Update url " + expected + "\r\nCurrent ver 1.0")) << text;
    // Letter case matters: a differently written placeholder stays.
    EXPECT_NE(std::string::npos,
              text.find("Update url " + ManifestUrl("pad") + "?{UPDATERGUID}\r\n")) << text;
    // The server saw the address as sent (braces may arrive percent-encoded).
    std::string bare = Narrow(id).substr(1, 36);
    std::string requests = m_server.Requests();
    size_t again = requests.find("&again=");
    ASSERT_NE(std::string::npos, again) << requests;
    EXPECT_NE(std::string::npos, requests.find(bare, again)) << requests;
}

TEST_F(UpdateCheck, VersionsCompareNumerically) {
    Offer("same", "same", "1.1", "same");
    Offer("older", "older", "1.9", "older");
    Offer("newer", "newer", "1.10", "newer");
    WriteUserProducts(Product("same", "1.1", ManifestUrl("same"), "") +
                      Product("older", "1.10", ManifestUrl("older"), "") +
                      Product("newer", "1.2", ManifestUrl("newer"), ""));
    std::vector<std::string> log = RunCheck();
    std::string text = Join(log);
    EXPECT_NE(std::string::npos, text.find("Current ver 1.1 Server ver 1.1\r\nUpdating older\r\n"))
        << text;
    EXPECT_NE(std::string::npos, text.find("Current ver 1.10 Server ver 1.9\r\nUpdating newer\r\n"))
        << text;
    EXPECT_NE(std::string::npos, text.find("Current ver 1.2 Server ver 1.10\r\nGot new one!\r\n"))
        << text;
    std::vector<Record> records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("Setup_newer-1.10.exe", records[0].program);
    EXPECT_EQ(NotificationFor("newer"), records[1].notification);
    EXPECT_EQ(std::string::npos, text.find("There was no updates"));
}

TEST_F(UpdateCheck, TwoUpdatedProductsNotifyInProductOrderAfterBothInstallers) {
    Offer("one", "one", "2.0", "first news");
    Offer("two", "two", "3.0", "second news");
    Offer("three", "three", "4.0", "");  // no whatsnewurl: installed, not announced
    WriteUserProducts(Product("one", "1.0", ManifestUrl("one"), "") +
                      Product("two", "1.0", ManifestUrl("two"), "") +
                      Product("three", "1.0", ManifestUrl("three"), ""));
    std::vector<std::string> log = RunCheck();
    std::vector<Record> records = Records();
    ASSERT_EQ(5u, records.size());
    EXPECT_EQ("Setup_one-2.0.exe", records[0].program);
    EXPECT_EQ("Setup_two-3.0.exe", records[1].program);
    EXPECT_EQ("Setup_three-4.0.exe", records[2].program);
    EXPECT_EQ("notifier.exe", records[3].program);
    EXPECT_EQ(NotificationFor("first news"), records[3].notification);
    EXPECT_EQ("notifier.exe", records[4].program);
    EXPECT_EQ(NotificationFor("second news"), records[4].notification);
    // Each notice has a file of its own.
    EXPECT_NE("", NoticePath(records[3]));
    EXPECT_NE("", NoticePath(records[4]));
    EXPECT_NE(records[3].commandLine, records[4].commandLine);
    EXPECT_TRUE(NoticeFiles().empty());
    EXPECT_EQ("Notifing about update\r\n", log.back());
}

// Removes what an interrupted earlier run left of these products' installers;
// an installer killed with its Updater may hold its file for a moment more.
void RemoveStaged(std::initializer_list<std::string> intnames) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        bool left = false;
        for (const std::string& name : intnames)
            for (const std::wstring& folder : StagedInstallerFolders(name))
                left = !RemoveTree(folder) || left;
        if (!left)
            return;
        ::Sleep(100);
    }
}

TEST_F(UpdateCheck, FailedDownloadsCountAsNewerButInstallNothing) {
    // Installer missing or unreachable, wrong checksum, checksum missing or
    // empty, short checksum.
    RemoveStaged({"gone", "dropped", "wrong", "nosum", "empty", "short"});
    Offer("gone", "gone", "2.0", "x", "_404/");
    Offer("dropped", "dropped", "2.0", "x");
    std::string manifest;  // an installer address where nobody listens
    ASSERT_TRUE(ReadFileBytes(m_dir / L"srv\\dropped\\update.xml", manifest));
    std::string closed = "http://127.0.0.1:1/dropped/Setup.exe";
    manifest.replace(manifest.find("http"), manifest.find("' whatsnewurl") - manifest.find("http"),
                     closed);
    ASSERT_TRUE(WriteFileBytes(m_dir / L"srv\\dropped\\update.xml", manifest));
    Offer("wrong", "wrong", "2.0", "x");
    const std::string kWrongSum = "0123456789abcdef0123456789ABCDEF";
    ASSERT_TRUE(WriteFileBytes(m_dir / L"srv\\wrong\\Setup.exe.md5", kWrongSum + "  Setup.exe\n"));
    Offer("nosum", "nosum", "2.0", "x", "_md5missing/");
    Offer("empty", "empty", "2.0", "x", "_md5empty/");
    Offer("short", "short", "2.0", "x", "_md5short/");
    std::string products;
    for (const char* name : {"gone", "dropped", "wrong", "nosum", "empty", "short"})
        products += Product(name, "1.0", ManifestUrl(name), "");
    WriteUserProducts(products);
    std::vector<std::string> log = RunCheck();
    std::string text = Join(log);
    EXPECT_EQ(6, std::count(log.begin(), log.end(), std::string("Got new one!\r\n"))) << text;

    std::string noSum = Narrow(m_server.Url(L"_md5empty/empty/Setup.exe.md5"));
    // Error answers are failed fetches, not documents to compare.
    std::string goneUrl = Narrow(m_server.Url(L"_404/gone/Setup.exe"));
    std::string missingSum = Narrow(m_server.Url(L"_md5missing/nosum/Setup.exe.md5"));
    // The short checksum's line end is shown, not written into the log; the
    // digest got is the file's, whose first 31 digits the server sent.
    const std::string kMismatch = "Installer checksum mismatch: expected ";
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ("Checked 6 of 6 products; 6 failed\r\n", log.back());
    const std::string lastRefusal = log[log.size() - 2];
    ASSERT_EQ(0u, lastRefusal.find(kMismatch)) << text;
    std::string got = lastRefusal.substr(kMismatch.size() + 32 + 6, 32);
    EXPECT_EQ(kMismatch + got.substr(0, 31) + "?, got " + got + "\r\n", lastRefusal);
    EXPECT_NE(std::string::npos, text.find("Got new one!\r\nFailed to download installer from " +
                                           closed + "\r\nUpdating wrong\r\n")) << text;
    EXPECT_NE(std::string::npos,
              text.find("Got new one!\r\n" + kMismatch + kWrongSum + ", got " + got + "\r\n"))
        << text;
    EXPECT_NE(std::string::npos, text.find("Got new one!\r\nFailed to get installer checksum from " +
                                           noSum + "\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Got new one!\r\nFailed to download installer from " +
                                           goneUrl + "\r\nUpdating dropped\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Got new one!\r\nFailed to get installer checksum from " +
                                           missingSum + "\r\nUpdating empty\r\n")) << text;
    EXPECT_EQ(std::string::npos, text.find("There was no updates"));
    EXPECT_EQ(std::string::npos, text.find("Start Installer"));
    EXPECT_TRUE(Records().empty());
    for (const char* name : {"gone", "dropped", "wrong", "nosum", "empty", "short"})
        EXPECT_TRUE(StagedInstallerFolders(name).empty()) << name;
}

TEST_F(UpdateCheck, ChecksumVariantsThatVerify) {
    Offer("upper", "upper", "2.0", "", "_md5upper/");
    Offer("named", "named", "2.0", "", "_md5name/");
    WriteUserProducts(Product("upper", "1.0", ManifestUrl("upper"), "") +
                      Product("named", "1.0", ManifestUrl("named"), ""));
    RunCheck();
    std::vector<Record> records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("Setup_upper-2.0.exe", records[0].program);
    EXPECT_EQ("Setup_named-2.0.exe", records[1].program);
}

// A product entry with publisher pins.
std::string Pinned(const std::string& signer, const std::string& product) {
    return "<product signer='" + signer + "'" + product.substr(8);
}

TEST_F(UpdateCheck, PinnedProductsTakeOnlyInstallersSignedWithAPinnedKey) {
    std::wstring signing = SigningFolder();
    ASSERT_FALSE(signing.empty());
    std::string pin1 = Pin(1), upper1 = pin1;
    std::transform(upper1.begin(), upper1.end(), upper1.begin(), ::toupper);
    struct Case {
        std::string name, installer, signer, refusal;  // refusal: empty when installed
    } cases[] = {
        {"signed", "signed1.exe", pin1, ""},
        {"second", "signed1.exe", " " + Pin(2) + " ; " + upper1 + " ", ""},
        {"nsis", "nsis.exe", pin1, ""},
        {"unsigned", "unsigned.exe", pin1, "Installer signature check failed 800b0100"},
        {"other", "signed2.exe", pin1, "Installer signer is not trusted"},
        {"altered", "altered.exe", pin1, "Installer signature check failed 80096010"},
        {"cut", "signed1.exe", pin1.substr(0, 63),
         "Manifest of cut is signed by a key that is not pinned"},
        {"blank", "signed1.exe", " ; ", "Manifest of blank is signed by a key that is not pinned"},
        // Publisher 1's signature on another program, which Wine's provider accepts.
        {"forged", "forged-signer.exe", pin1, "Installer signature check failed a0ac000a"},
        {"script", "forged-script.exe", pin1, "Installer signature check failed a0ac0008"},
        {"plain", "unsigned.exe", "", ""}};
    RemoveStaged({"signed", "second", "nsis", "unsigned", "other", "altered", "cut", "blank",
                  "forged", "script", "plain"});
    // Every product has a clean-up program, which runs only for an installer
    // that was accepted.
    ASSERT_TRUE(CreateFolders(m_prod + L"\\1.0"));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_prod + L"\\1.0\\clean.exe"));
    std::string products;
    std::vector<std::string> expected, notices;
    const bool nsisRuns = CanStart(signing + L"\\nsis.exe");
    if (!nsisRuns)
        std::printf("The NSIS installer (32-bit) can't start here; its product is left out\n");
    for (const Case& c : cases) {
        if (c.installer == "nsis.exe" && !nsisRuns)
            continue;
        Offer(c.name, c.name, "2.0", "news of " + c.name);
        ASSERT_TRUE(CopyFileTo(signing + L"\\" + Widen(c.installer),
                               m_dir / (L"srv\\" + Widen(c.name) + L"\\Setup.exe")));
        if (!c.signer.empty())
            SignOffer(c.name);
        std::string product = Product(c.name, "1.0", ManifestUrl(c.name), Narrow(m_prod),
                                      "<unistallactions><action type='run' file='clean.exe' "
                                      "param='" + c.name + "'/></unistallactions>");
        products += c.signer.empty() ? product : Pinned(c.signer, product);
        if (!c.refusal.empty())
            continue;
        expected.push_back("clean.exe " + c.name);
        if (c.installer != "nsis.exe")  // the real installer records nothing
            expected.push_back("Setup_" + c.name + "-2.0.exe /verysilent");
        notices.push_back("notifier.exe " + NotificationFor("news of " + c.name));
    }
    WriteUserProducts(products);
    ::SetEnvironmentVariableW(L"QM_INSTALL_DIR", (m_dir / L"installed").c_str());
    std::vector<std::string> log = RunCheck();
    std::string text = Join(log);

    // Each refusal is the last line of its product; a manifest refused
    // comes before its version is even compared.
    for (size_t i = 0; i + 1 < sizeof cases / sizeof cases[0]; ++i) {
        const std::string& refusal = cases[i].refusal;
        if (!refusal.empty()) {
            const std::string before =
                refusal.compare(0, 9, "Manifest ") == 0 ? "\r\n" : "Got new one!\r\n";
            EXPECT_NE(std::string::npos, text.find(before + refusal + "\r\nUpdating " +
                                                   cases[i + 1].name + "\r\n"))
                << cases[i].name << "\n" << text;
        }
        EXPECT_TRUE(StagedInstallerFolders(cases[i].name).empty()) << cases[i].name;
    }
    expected.insert(expected.end(), notices.begin(), notices.end());
    std::vector<std::string> seen;
    for (const Record& r : Records())
        seen.push_back(r.program + " " + (r.hasNotification ? r.notification
                                                            : r.commandLine.substr(
                                                                  r.commandLine.rfind('"') + 2)));
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(nsisRuns, FileExists(m_dir / L"installed\\nsis.txt"));
}

TEST_F(UpdateCheck, ManifestsAreCheckedBeforeAnythingOfTheUpdateRuns) {
    std::wstring signing = SigningFolder();
    ASSERT_FALSE(signing.empty());
    const std::string key1 = UnixArg(signing + L"\\key1.pem"), cert1 = UnixArg(signing + L"\\cert1.pem");
    const std::string key2 = UnixArg(signing + L"\\key2.pem"), cert2 = UnixArg(signing + L"\\cert2.pem");
    // The publishing tool's output, accepted as it is; its digest and size
    // serve the manifests made by hand below.
    std::wstring srv = m_dir / L"srv";
    ASSERT_EQ(0, RunUnixProgram(L"python3",
                                UnixArg(SourcePath(L"tools\\qmpublish")) +
                                    " manifest --intname accepted --version 2.0 --installer " +
                                    UnixArg(signing + L"\\signed1.exe") + " --installer-url " +
                                    Narrow(m_server.Url(L"accepted/Setup.exe")) +
                                    " --whatsnew-url " + Narrow(m_server.Url(L"accepted/news.html")) +
                                    " --key " + key1 + " --cert " + cert1 + " --out " +
                                    UnixArg(srv + L"\\accepted")));
    ASSERT_TRUE(WriteFileBytes(srv + L"\\accepted\\news.html", "signed news"));
    std::string published;
    ASSERT_TRUE(ReadFileBytes(srv + L"\\accepted\\update.xml", published));
    const std::string sha256 = Attribute(published, "sha256"), size = Attribute(published, "size");
    ASSERT_EQ(64u, sha256.size()) << published;
    const std::string bigger = std::to_string(std::stoull(size) + 1);
    const std::string smaller = std::to_string(std::stoull(size) - 1);
    const std::string wrongSha = std::string(64, 'a');
    const std::string expires = "2099-01-01T00:00:00Z";
    const std::string issued = "2020-01-01T00:00:00Z";
    const std::string forged = "2.0\n01-01-2030 00:00:00\t Installed everything";

    struct Case {
        std::string name, version, installer, whatsNew, sha256, size, expires, intname;
        std::string key, cert;  // signed with these; none: unsigned
        std::string refusal;  // the product's last record; empty when installed
        bool pinned;
        std::string alter;  // replaced by "9.9" in the manifest after signing
    } cases[] = {
        {"altered", "2.0", "altered/Setup.exe", "", sha256, size, expires, "altered", key1, cert1,
         "Manifest signature check failed for altered a0de0006", true, "2.0"},
        {"unpinned", "2.0", "unpinned/Setup.exe", "", sha256, size, expires, "unpinned", key2,
         cert2, "Manifest of unpinned is signed by a key that is not pinned", true, ""},
        {"foreign", "2.0", "foreign/Setup.exe", "", sha256, size, expires, "accepted", key1, cert1,
         "Manifest of foreign names product accepted", true, ""},
        {"expired", "2.0", "expired/Setup.exe", "", sha256, size, "2001-02-03T04:05:06Z",
         "expired", key1, cert1, "Manifest of expired expired on 2001-02-03T04:05:06Z", true, ""},
        {"nosig", "2.0", "nosig/Setup.exe", "", sha256, size, expires, "nosig", "", "",
         "Manifest signature check failed for nosig 80070002", true, ""},
        {"digest", "2.0", "digest/Setup.exe", "", wrongSha, size, expires, "digest", key1, cert1,
         "Installer digest mismatch: expected " + wrongSha + ", got " + sha256, true, ""},
        // Seen here, 3.0 is the floor for the next check.
        {"small", "3.0", "small/Setup.exe", "", sha256, smaller, expires, "small", key1, cert1,
         "Installer size mismatch: expected " + smaller + ", got " + size, true, ""},
        {"endless", "2.0", "_endless/endless/Setup.exe", "", sha256, size, expires, "endless",
         key1, cert1, "Installer size mismatch: expected " + size + ", got " + bigger, true, ""},
        {"fileurl", "2.0", "file:///C:/windows/notepad.exe", "", "", "", "", "fileurl", "", "",
         "Refused address file:///C:/windows/notepad.exe", false, ""},
        {"linefeed", forged, "linefeed/Setup.exe", "", "", "", "", "linefeed", "", "",
         "Failed to download installer from " + Narrow(m_server.Url(L"linefeed/Setup.exe")), false,
         ""},
        {"newsfile", "2.0", "newsfile/Setup.exe", "\\\\server\\share\\news.html", "", "", "",
         "newsfile", "", "", "", false, ""},
        {"accepted", "", "", "", "", "", "", "", "", "", "", true, ""},
    };
    std::vector<std::string> names;
    for (const Case& c : cases)
        names.push_back(c.name);
    for (const std::string& name : names)
        RemoveStaged({name});
    // Every product has a clean-up program, which runs only for an update
    // that goes ahead.
    ASSERT_TRUE(CreateFolders(m_prod + L"\\1.0"));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_prod + L"\\1.0\\clean.exe"));
    std::string products;
    for (const Case& c : cases) {
        std::wstring dir = srv + L"\\" + Widen(c.name);
        if (c.name != "accepted") {
            ASSERT_TRUE(CreateFolders(dir));
            ASSERT_TRUE(CopyFileTo(signing + L"\\signed1.exe", dir + L"\\Setup.exe"));
            std::string installer = c.installer.compare(0, 5, "file:") == 0
                                        ? c.installer
                                        : Narrow(m_server.Url(Widen(c.installer)));
            std::string manifest = "<update intname='" + c.intname + "' version='" + c.version +
                                   "' installerurl='" + installer + "'";
            if (!c.whatsNew.empty())
                manifest += " whatsnewurl='" + c.whatsNew + "'";
            if (!c.sha256.empty()) {
                // Issued before it expires, however long ago that was.
                const std::string signedAt = c.expires < issued ? "2000-01-01T00:00:00Z" : issued;
                manifest += " sha256='" + c.sha256 + "' size='" + c.size + "' issued='" +
                            signedAt + "' expires='" + c.expires + "'";
            }
            manifest += "/>\n";
            ASSERT_TRUE(WriteFileBytes(dir + L"\\update.xml", manifest));
            if (!c.key.empty()) {
                ASSERT_EQ(0, RunUnixProgram(L"openssl",
                                            "cms -sign -binary -md sha256 -outform DER -in " +
                                                UnixArg(dir + L"\\update.xml") + " -signer " +
                                                c.cert + " -inkey " + c.key + " -out " +
                                                UnixArg(dir + L"\\update.xml.sig")));
            }
            if (!c.alter.empty()) {
                manifest.replace(manifest.find(c.alter), c.alter.size(), "9.9");
                ASSERT_TRUE(WriteFileBytes(dir + L"\\update.xml", manifest));
            }
        }
        std::string product = Product(c.name, "1.0", ManifestUrl(c.name), Narrow(m_prod),
                                      "<unistallactions><action type='run' file='clean.exe' "
                                      "param='" + c.name + "'/></unistallactions>");
        products += c.pinned ? Pinned(Pin(1), product) : product;
    }
    WriteUserProducts(products);
    std::string text = Join(RunCheck());

    for (size_t i = 0; i + 1 < sizeof cases / sizeof cases[0]; ++i) {
        if (!cases[i].refusal.empty()) {
            EXPECT_NE(std::string::npos, text.find(cases[i].refusal + "\r\nUpdating " +
                                                   cases[i + 1].name + "\r\n"))
                << cases[i].name << "\n" << text;
        }
        EXPECT_TRUE(StagedInstallerFolders(cases[i].name).empty()) << cases[i].name;
    }
    // Network text can't begin a line: the forged record is part of the
    // version's own, its line end shown.
    EXPECT_NE(std::string::npos,
              text.find("Current ver 1.0 Server ver 2.0?01-01-2030 00:00:00? Installed everything\r\n"))
        << text;
    EXPECT_EQ(std::string::npos, text.find("\n01-01-2030")) << text;
    // The refused what's-new address is not fetched; the notice comes
    // without it.
    EXPECT_NE(std::string::npos, text.find("Got new one!\r\nRefused address \\\\server\\share\\news.html\r\n"))
        << text;
    std::vector<std::string> seen;
    for (const Record& r : Records())
        seen.push_back(r.program + " " + (r.hasNotification ? r.notification
                                                            : r.commandLine.substr(
                                                                  r.commandLine.rfind('"') + 2)));
    std::vector<std::string> expected = {
        "clean.exe newsfile", "Setup_newsfile-2.0.exe /verysilent", "clean.exe accepted",
        "Setup_accepted-2.0.exe /verysilent", "notifier.exe " + NotificationFor(""),
        "notifier.exe " + NotificationFor("signed news")};
    EXPECT_EQ(expected, seen) << text;
    // A signed manifest's installer is not checked with a checksum, and no
    // refusal counts as a failed install.
    EXPECT_EQ(std::string::npos, m_server.Requests().find("accepted/Setup.exe.md5"));
    EXPECT_FALSE(FileExists(InstallFailuresPath()));

    // The next check: the server goes back to a manifest its publisher
    // signed before the one seen (a replay), and then a later one withdraws
    // 3.0 by offering 2.0: only the later one is taken.
    std::wstring small = srv + L"\\small";
    const struct {
        const char* issued;
        const char* record;
    } replays[] = {
        {"2019-12-31T23:59:59Z", "Manifest of small was issued at 2019-12-31T23:59:59Z, earlier "
                                 "than one seen before (2020-01-01T00:00:00Z)\r\n"},
        {"2020-01-02T00:00:00Z", "Current ver 1.0 Server ver 2.0\r\nGot new one!\r\n"},
    };
    for (const auto& replay : replays) {
        std::string older = "<update intname='small' version='2.0' installerurl='" +
                            Narrow(m_server.Url(L"small/Setup.exe")) + "' sha256='" + sha256 +
                            "' size='" + size + "' issued='" + replay.issued + "' expires='" +
                            expires + "'/>";
        ASSERT_TRUE(WriteFileBytes(small + L"\\update.xml", older));
        ASSERT_EQ(0, RunUnixProgram(L"openssl", "cms -sign -binary -md sha256 -outform DER -in " +
                                                    UnixArg(small + L"\\update.xml") + " -signer " +
                                                    cert1 + " -inkey " + key1 + " -out " +
                                                    UnixArg(small + L"\\update.xml.sig")));
        WriteUserProducts(Pinned(Pin(1), Product("small", "1.0", ManifestUrl("small"),
                                                 Narrow(m_prod),
                                                 "<unistallactions><action type='run' "
                                                 "file='clean.exe'/></unistallactions>")));
        ::DeleteFileW(m_record.c_str());
        ::DeleteFileW(UserLogPath().c_str());
        text = Join(RunCheck());
        EXPECT_NE(std::string::npos, text.find(replay.record)) << text;
    }
    // Only the withdrawal ran its clean-up program and installer.
    EXPECT_EQ(2u, Records().size());
}

TEST_F(UpdateCheck, BrokenManifestsEndTheProductQuietly) {
    std::wstring srv = m_dir / L"srv";
    ASSERT_TRUE(WriteFileBytes(srv + L"\\notxml.xml", "this is not xml"));
    ASSERT_TRUE(WriteFileBytes(srv + L"\\other.xml", "<products/>"));
    // A nested update element is found all the same.
    Offer("nested", "nested", "2.0", "");
    std::string manifest;
    ASSERT_TRUE(ReadFileBytes(srv + L"\\nested\\update.xml", manifest));
    ASSERT_TRUE(WriteFileBytes(srv + L"\\nested\\update.xml", "<outer><inner>" + manifest +
                                                                   "</inner></outer>"));
    std::string base = Narrow(m_server.Url(L""));
    WriteUserProducts(Product("notxml", "1.0", base + "notxml.xml", "") +
                      Product("other", "1.0", base + "other.xml", "") +
                      Product("dropped", "1.0", base + "_drop/x.xml", "") +
                      Product("failing", "1.0", base + "_500/x.xml", "") +
                      Product("nested", "1.0", ManifestUrl("nested"), ""));
    std::vector<std::string> log = RunCheck();
    std::string text = Join(log);
    for (const char* name : {"notxml", "other", "dropped", "failing"}) {
        std::string at = std::string("Updating ") + name + "\r\nUpdate url ";
        size_t pos = text.find(at);
        ASSERT_NE(std::string::npos, pos) << text;
        size_t next = text.find("\r\n", pos + at.size());
        EXPECT_EQ(0u, text.compare(next + 2, 9, "Updating ")) << text;
    }
    EXPECT_NE(std::string::npos, text.find("Current ver 1.0 Server ver 2.0\r\nGot new one!")) << text;
    ASSERT_EQ(1u, Records().size());
}

TEST_F(UpdateCheck, OldVersionFoldersGoOnlyWhenFreeAndOnlyVersions) {
    for (const wchar_t* v : {L"0.5", L"1.0", L"1.5", L"2.0", L"data", L"plugins", L"1.2\\sub"})
        ASSERT_TRUE(CreateFolders(m_prod + L"\\" + v));
    ASSERT_TRUE(WriteFileBytes(m_prod + L"\\1.2\\sub\\lib.dll", "x"));
    ASSERT_TRUE(WriteFileBytes(m_prod + L"\\0.5\\busy.dll", "x"));
    ASSERT_TRUE(WriteFileBytes(m_prod + L"\\data\\user.db", "precious"));
    HANDLE busy = ::CreateFileW((m_prod + L"\\0.5\\busy.dll").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, busy);
    WriteUserProducts(Product("pad", "1.5", "", Narrow(m_prod)));
    RunCheck();
    EXPECT_FALSE(FileExists(m_prod + L"\\1.0"));
    EXPECT_FALSE(FileExists(m_prod + L"\\1.2"));
    EXPECT_TRUE(FileExists(m_prod + L"\\0.5\\busy.dll"));  // in use
    EXPECT_TRUE(FileExists(m_prod + L"\\1.5"));
    EXPECT_TRUE(FileExists(m_prod + L"\\2.0"));
    EXPECT_TRUE(FileExists(m_prod + L"\\data\\user.db"));
    EXPECT_TRUE(FileExists(m_prod + L"\\plugins"));
    ::CloseHandle(busy);
    RunCheck();
    EXPECT_FALSE(FileExists(m_prod + L"\\0.5"));
}

TEST_F(UpdateCheck, OnlyDottedVersionNamesAreVersionFolders) {
    for (const wchar_t* v : {L"1.0", L"3rdparty", L"64bit", L"2D", L"1.2a", L".1", L"1-2", L"0.5"})
        ASSERT_TRUE(CreateFolders(m_prod + L"\\" + v + L"\\sub"));
    // Open for reading and writing by others, but not for deleting: the
    // folder passes for free, and its removal fails.
    ASSERT_TRUE(WriteFileBytes(m_prod + L"\\0.5\\held.dll", "x"));
    HANDLE held = ::CreateFileW((m_prod + L"\\0.5\\held.dll").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    WriteUserProducts(Product("pad", "100.0", "", Narrow(m_prod)));
    std::vector<std::string> log = RunCheck();
    ::CloseHandle(held);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ("Failed to remove old version folder " + Narrow(m_prod) + "\\0.5\r\n",
              log[log.size() - 2]);
    EXPECT_FALSE(FileExists(m_prod + L"\\1.0"));
    for (const wchar_t* v : {L"3rdparty", L"64bit", L"2D", L"1.2a", L".1", L"1-2"})
        EXPECT_TRUE(FileExists(m_prod + L"\\" + v + L"\\sub")) << Narrow(v);
}

TEST_F(UpdateCheck, LinkedVersionFolderIsNotEntered) {
    std::wstring outside = m_dir / L"shared";
    ASSERT_TRUE(CreateFolders(outside));
    ASSERT_TRUE(WriteFileBytes(outside + L"\\keep.dll", "shared"));
    std::wstring link = m_prod + L"\\0.9";
    typedef BOOLEAN(WINAPI * CreateLink)(LPCWSTR, LPCWSTR, DWORD);
    CreateLink createLink = reinterpret_cast<CreateLink>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW")));
    const DWORD kDirectoryLink = 1;
    if (!createLink || !createLink(link.c_str(), outside.c_str(), kDirectoryLink) ||
        !(::GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "no folder links here: " << ::GetLastError();
    WriteUserProducts(Product("pad", "1.0", "", Narrow(m_prod)));
    RunCheck();
    EXPECT_TRUE(FileExists(outside + L"\\keep.dll"));
    EXPECT_FALSE(FileExists(link));
}

TEST_F(UpdateCheck, UnreadableProductsFileIsLoggedAsSuch) {
    ASSERT_TRUE(WriteFileBytes(UserProductsPath(), "<products><product intname='cut"));
    std::vector<std::string> log = RunCheck();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ("Checking For Updates\r\n", log[1]);
    EXPECT_EQ("Failed to read products file " + Narrow(UserProductsPath()) + "\r\n", log[2]);
    EXPECT_EQ("Updating User Products\r\n", log[3]);
    // A check that saw no product can't say there was no update.
    EXPECT_EQ(4u, log.size()) << Join(log);
}

TEST_F(UpdateCheck, ReadingTheUpdaterIdCreatesNothing) {
    const wchar_t key[] = L"Software\\QuillMarrow\\Updater";
    ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, key);
    WriteUserProducts(Product("pad", "1.0", "", ""));
    RunCheck();
    HKEY open = nullptr;
    LONG rc = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &open);
    if (rc == ERROR_SUCCESS)
        ::RegCloseKey(open);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, rc);
}

// The installer ends the Updater between taking the preserved values out of
// its way and writing them back; the next check writes them back with their
// own types, passes a damaged journal over, and goes on.
TEST_F(UpdateCheck, PreservedValuesOutliveAKilledUpdater) {
    typedef std::pair<DWORD, std::string> Typed;
    const Typed binary(REG_BINARY, std::string("\0\x7F\xFF\x10\0", 5));
    const Typed number(REG_DWORD, "\x78\x56\x34\x12");
    for (const auto& v : {std::make_pair(L"bin", binary), std::make_pair(L"num", number)})
        ASSERT_EQ(ERROR_SUCCESS, ::SHSetValueW(HKEY_CURRENT_USER, m_regKey.c_str(), v.first,
                                               v.second.first, v.second.second.data(),
                                               static_cast<DWORD>(v.second.second.size())));
    std::string actions = "<registryactions>";
    for (const char* name : {"bin", "num", "none"})
        actions += "<value action='preserve' root='HKCU' key='" + Narrow(m_regKey) + "' name='" +
                   name + "'/>";
    actions += "</registryactions>";
    Offer("pad", "pad", "1.1", "");
    WriteUserProducts(Product("pad", "1.0", ManifestUrl("pad"), "", actions));
    ::SetEnvironmentVariableW(L"QM_INSTALL_REGSET",
                              (L"HKCU\\" + m_regKey + L"|bin|installer default").c_str());
    ::SetEnvironmentVariableW(L"QM_INSTALL_KILL_PARENT", L"1");
    ASSERT_TRUE(CreateFolders(m_dir / L"cwd"));
    EXPECT_EQ(9, RunAndWait(m_bin + L"\\Updater.exe", L"-runmode=checkupdate", 180000, m_dir / L"cwd"));
    ::SetEnvironmentVariableW(L"QM_INSTALL_KILL_PARENT", nullptr);
    RemoveStaged({"pad"});
    EXPECT_EQ(0u, RawValue(L"num").first);
    ASSERT_EQ(1u, Journals().size());

    const std::wstring damaged =
        ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\PreservedValues-0000000000000000.journal";
    ASSERT_TRUE(WriteFileBytes(damaged, "QuillMarrow preserved registry values 1\nproduct 00"));
    ::DeleteFileW(UserLogPath().c_str());
    // The installer registered the new version.
    WriteUserProducts(Product("pad", "1.1", ManifestUrl("pad"), "", actions));
    std::string text = Join(RunCheck());
    EXPECT_LT(text.find("Restored preserved registry values of pad\r\n"), text.find("Updating pad"))
        << text;
    EXPECT_NE(std::string::npos, text.find("Damaged journal of preserved registry values set aside as " +
                                           Narrow(damaged) + ".damaged\r\n")) << text;
    EXPECT_EQ(binary, RawValue(L"bin"));
    EXPECT_EQ(number, RawValue(L"num"));
    EXPECT_EQ(0u, RawValue(L"none").first);
    EXPECT_TRUE(Journals().empty());
    EXPECT_EQ(1u, Journals(L".journal.damaged").size());
}

// A value that can't be written back (its key can't be made again: a
// volatile parent takes no lasting child) stays in its journal until a later
// check can write it; it stays there alone: a value written back beside it
// is not written again over what the user changed since.
TEST_F(UpdateCheck, AValueThatCannotBeRestoredStaysInItsJournal) {
    const std::wstring inner = m_regKey + L"\\vol\\in";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, m_regKey.c_str(), 0, nullptr, 0,
                                               KEY_SET_VALUE, nullptr, &key, nullptr));
    ::RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, inner.c_str(), 0, nullptr,
                                               REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                                               nullptr));
    ::RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, ::SHSetValueW(HKEY_CURRENT_USER, inner.c_str(), L"keep", REG_SZ,
                                           L"user setting", 26));
    ASSERT_EQ(ERROR_SUCCESS, ::SHSetValueW(HKEY_CURRENT_USER, m_regKey.c_str(), L"other", REG_SZ,
                                           L"old", 8));
    const std::string actions = "<registryactions><value action='preserve' root='HKCU' key='" +
                                Narrow(m_regKey) + "' name='other'/><value action='preserve' "
                                "root='HKCU' key='" + Narrow(inner) + "' name='keep'/><key "
                                "action='delete' root='HKCU' key='" + Narrow(inner) +
                                "'/></registryactions>";
    Offer("keeper", "keeper", "2.0", "");
    WriteUserProducts(Product("keeper", "1.0", ManifestUrl("keeper"), "", actions));
    std::string text = Join(RunCheck());
    EXPECT_NE(std::string::npos, text.find("Failed to restore preserved registry values of keeper\r\n"))
        << text;
    ASSERT_EQ(1u, Journals().size());
    EXPECT_EQ("old", RegValue(L"other"));
    ASSERT_EQ(ERROR_SUCCESS, ::SHSetValueW(HKEY_CURRENT_USER, m_regKey.c_str(), L"other", REG_SZ,
                                           L"new", 8));

    // The key can be made again: the next check writes the value back.
    ::SHDeleteKeyW(HKEY_CURRENT_USER, (m_regKey + L"\\vol").c_str());
    WriteUserProducts(Product("keeper", "2.0", ManifestUrl("keeper"), "", actions));
    ::DeleteFileW(UserLogPath().c_str());
    text = Join(RunCheck());
    EXPECT_NE(std::string::npos, text.find("Restored preserved registry values of keeper\r\n")) << text;
    wchar_t value[32] = {0};
    DWORD size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS,
              ::SHGetValueW(HKEY_CURRENT_USER, inner.c_str(), L"keep", nullptr, value, &size));
    EXPECT_STREQ(L"user setting", value);
    EXPECT_EQ("new", RegValue(L"other"));
    EXPECT_TRUE(Journals().empty());
}

// The name of a product's journal of preserved values: FNV-1a over the
// intname's UTF-16LE bytes.
std::wstring JournalName(const std::wstring& intname) {
    uint64_t h = 14695981039346656037ull;
    for (wchar_t c : intname)
        for (unsigned char b : {static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>(c >> 8)}) {
            h ^= b;
            h *= 1099511628211ull;
        }
    wchar_t hex[17];
    for (int i = 15; i >= 0; --i, h >>= 4)
        hex[i] = L"0123456789abcdef"[h & 0xF];
    hex[16] = 0;
    return std::wstring(L"PreservedValues-") + hex + L".journal";
}

// Without its journal a preserved value would live only in memory through
// the uninstall and the installer: the update stops before anything runs or
// is removed, and it is no failed install. Once the journal can be written,
// the update goes ahead.
TEST_F(UpdateCheck, AJournalThatCannotBeWrittenStopsTheUpdate) {
    const std::wstring journal = ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\" + JournalName(L"pad");
    RemoveStaged({"pad"});
    ASSERT_TRUE(CreateFolders(m_prod + L"\\1.0"));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_prod + L"\\1.0\\clean.exe"));
    ASSERT_EQ(ERROR_SUCCESS, ::SHSetValueW(HKEY_CURRENT_USER, m_regKey.c_str(), L"keep", REG_SZ,
                                           L"user setting", 26));
    const std::string actions = "<unistallactions><action type='run' file='clean.exe'/>"
                                "</unistallactions><registryactions><value action='preserve' "
                                "root='HKCU' key='" + Narrow(m_regKey) + "' name='keep'/>"
                                "</registryactions>";
    Offer("pad", "pad", "2.0", "");
    WriteUserProducts(Product("pad", "1.0", ManifestUrl("pad"), Narrow(m_prod), actions));
    // A folder where the journal goes: it can't be written.
    ASSERT_TRUE(CreateFolders(journal));
    std::string text = Join(RunCheck());
    ::RemoveDirectoryW(journal.c_str());
    EXPECT_NE(std::string::npos, text.find("Got new one!\r\n")) << text;
    EXPECT_NE(std::string::npos,
              text.find("Failed to save preserved registry values of pad\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Checked 1 of 1 products; 1 failed\r\n")) << text;
    for (const char* step : {"PerformUninstallActions", "PerformRegistryActions", "Start Installer"})
        EXPECT_EQ(std::string::npos, text.find(step)) << step << "\n" << text;
    EXPECT_TRUE(Records().empty());
    EXPECT_EQ("user setting", RegValue(L"keep"));
    EXPECT_FALSE(FileExists(InstallFailuresPath()));
    EXPECT_TRUE(StagedInstallerFolders("pad").empty());

    ::DeleteFileW(UserLogPath().c_str());
    text = Join(RunCheck());
    EXPECT_NE(std::string::npos, text.find("Start Installer")) << text;
    EXPECT_EQ(2u, Records().size());  // the clean-up program and the installer
    EXPECT_EQ("user setting", RegValue(L"keep"));
    EXPECT_TRUE(Journals().empty());
}

TEST_F(UpdateCheck, EmptyProductFolderRemovesNothing) {
    // Without a productdir the folder listing would be the working folder's.
    std::wstring work = m_dir / L"work";
    ASSERT_TRUE(CreateFolders(work + L"\\0.1"));
    ASSERT_TRUE(CreateFolders(work + L"\\stuff"));
    WriteUserProducts(Product("pad", "5.0", "", ""));
    RunCheck(std::wstring(), std::wstring(), work);
    EXPECT_TRUE(FileExists(work + L"\\0.1"));
    EXPECT_TRUE(FileExists(work + L"\\stuff"));
}

TEST_F(UpdateCheck, ManifestNamesThatLeaveTheTempFolderFail) {
    // Unchecked, the first two would put the file two folders above the
    // temporary folder.
    const char* names[][2] = {{"x\\..\\..\\..\\evil", "2.0"}, {"evil", "2.0\\..\\..\\..\\evil"},
                              {"C:evil", "2.0"},       {"a/../../../evil", "2.0"},
                              {"evil", "2.0|x"}};
    std::string products;
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
        std::string folder = "bad" + std::to_string(i);
        Offer(folder, names[i][0], names[i][1], "news");
        products += Product(folder, "1.0", ManifestUrl(folder), "");
    }
    WriteUserProducts(products);
    std::vector<std::string> log = RunCheck();
    std::string text = Join(log);
    EXPECT_EQ(5, std::count(log.begin(), log.end(), std::string("Got new one!\r\n"))) << text;
    EXPECT_EQ(std::string::npos, text.find("Start Installer"));
    EXPECT_EQ(std::string::npos, text.find("Notifing"));
    EXPECT_TRUE(Records().empty());
    // Nothing was requested from the installer address either.
    EXPECT_EQ(std::string::npos, m_server.Requests().find("Setup.exe")) << m_server.Requests();
    std::wstring temp = TempFolder();
    std::wstring parent = temp.substr(0, temp.rfind(L'\\'));
    std::wstring grand = parent.substr(0, parent.rfind(L'\\'));
    std::vector<std::wstring> outside = {parent + L"\\evil-2.0.exe", grand + L"\\evil-2.0.exe",
                                         grand + L"\\evil.exe", L"C:\\evil-2.0.exe"};
    for (const std::wstring& f : outside)
        EXPECT_FALSE(FileExists(f)) << Narrow(f);
}

TEST_F(UpdateCheck, SecondCheckInTheSameSessionOnlyLooksAtTheMutex) {
    Offer("pad", "pad", "2.0", "");
    WriteUserProducts(Product("pad", "1.0", ManifestUrl("pad"), ""));
    std::wstring release = m_dir / L"release";
    ::SetEnvironmentVariableW(L"QM_HOLD", release.c_str());
    ASSERT_TRUE(CreateFolders(m_dir / L"cwd"));
    HANDLE first = StartProcess(m_bin + L"\\Updater.exe", L"-runmode=checkupdate", m_dir / L"cwd");
    ASSERT_NE(nullptr, first);
    // The first run is inside its installer, holding the check-update mutex.
    ASSERT_TRUE(WaitFor([&] { return Records().size() == 1; }, 120000));
    std::string before;
    ReadFileBytes(UserLogPath(), before);
    ASSERT_EQ(0, RunAndWait(m_bin + L"\\Updater.exe", L"-runmode=checkupdate", 60000, m_dir / L"cwd"));
    std::string after;
    ReadFileBytes(UserLogPath(), after);
    std::vector<std::string> added = LogMessages(after.substr(before.size()));
    ASSERT_TRUE(WriteFileBytes(release, "go"));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(first, 120000));
    ::CloseHandle(first);
    ASSERT_EQ(4u, added.size()) << after;
    EXPECT_EQ("Updater runmode: checkupdate\r\n", added[1]);
    EXPECT_EQ("Checking update mutex\r\n", added[2]);
    EXPECT_EQ(0u, added[3].find("Updater Finished"));
    EXPECT_EQ(1u, Records().size());
}

// True when each line follows the one before it somewhere later in text.
::testing::AssertionResult InOrder(const std::string& text, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
        size_t found = text.find(line + "\r\n", at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "missing in order: " << line << "\n" << text;
        at = found + line.size();
    }
    return ::testing::AssertionSuccess();
}

bool ProgramRunning(const wchar_t* exeName) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found;
         more = ::Process32NextW(snapshot, &entry))
        found = ::lstrcmpiW(entry.szExeFile, exeName) == 0;
    ::CloseHandle(snapshot);
    return found;
}

std::string ServerName(const UpdateServer& server) {
    return "127.0.0.1:" + std::to_string(server.Port());
}

// The tests below run the Updater built with limits of a few seconds.
TEST_F(UpdateCheck, UnansweringServersAreGivenUpOnceWhileTheNextProductIsUpdated) {
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"UpdaterShortWaits.exe"), m_bin + L"\\Updater.exe"));
    ASSERT_TRUE(CreateFolders(m_dir / L"mute"));
    ASSERT_TRUE(CreateFolders(m_dir / L"half"));
    ASSERT_TRUE(CreateFolders(m_dir / L"quiet"));
    UpdateServer mute(m_dir / L"mute"), half(m_dir / L"half"), quiet(m_dir / L"quiet");
    ASSERT_TRUE(mute.Started() && half.Started() && quiet.Started());
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_dir / L"half\\Setup.exe"));
    Offer("good", "good", "2.0", "good news");
    Offer("halfway", "halfway", "2.0", "");
    char manifest[1024];
    std::snprintf(manifest, sizeof manifest, kManifestFormat, "halfway", "2.0",
                  Narrow(half.Url(L"_hang/Setup.exe")).c_str(), "");
    ASSERT_TRUE(WriteFileBytes(m_dir / L"srv\\halfway\\update.xml", manifest));
    // What's-new pages on a server that never answers: the first is given up
    // (the notice comes without text), the second is not asked for.
    for (const char* name : {"late", "later"}) {
        Offer(name, name, "2.0", "");
        std::string page = Narrow(quiet.Url(name == std::string("late") ? L"_silent/news.html"
                                                                        : L"news.html"));
        std::snprintf(manifest, sizeof manifest, kManifestFormat, name, "2.0",
                      Narrow(m_server.Url(Widen(name + std::string("/Setup.exe")))).c_str(),
                      page.c_str());
        ASSERT_TRUE(WriteFileBytes(m_dir / (L"srv\\" + Widen(name) + L"\\update.xml"), manifest));
    }
    WriteUserProducts(Product("mute", "1.0", Narrow(mute.Url(L"_silent/update.xml")), "") +
                      Product("sibling", "1.0", Narrow(mute.Url(L"update.xml")), "") +
                      Product("halfway", "1.0", ManifestUrl("halfway"), "") +
                      Product("good", "1.0", ManifestUrl("good"), "") +
                      Product("late", "1.0", ManifestUrl("late"), "") +
                      Product("later", "1.0", ManifestUrl("later"), ""));
    DWORD start = ::GetTickCount();
    std::string text = Join(RunCheck());  // also: it exited with 0, workers still blocked
    EXPECT_LT(::GetTickCount() - start, 50000u);
    const std::string gaveUp = " sent nothing for 60 seconds and is not asked again in this check";
    EXPECT_TRUE(InOrder(text, {"Updating mute", "Server " + ServerName(mute) + gaveUp,
                               "Updating sibling",
                               "Skipped sibling: server " + ServerName(mute) +
                                   " did not answer earlier in this check",
                               "Updating halfway", "Got new one!",
                               "Server " + ServerName(half) + gaveUp, "Updating good",
                               "Start Installer", "Notifing about update",
                               "Server " + ServerName(quiet) + gaveUp}));
    EXPECT_EQ(std::string::npos, mute.Requests().find("GET /update.xml")) << mute.Requests();
    EXPECT_EQ(std::string::npos, quiet.Requests().find("GET /news.html")) << quiet.Requests();
    EXPECT_FALSE(FileExists(TempFolder() + L"\\Setup_halfway-2.0.exe"));
    std::vector<Record> records = Records();
    ASSERT_EQ(6u, records.size());
    EXPECT_EQ("Setup_good-2.0.exe", records[0].program);
    EXPECT_EQ(NotificationFor("good news"), records[3].notification);
    EXPECT_EQ(NotificationFor(""), records[4].notification);
    EXPECT_EQ(NotificationFor(""), records[5].notification);
}

struct SlowServerCase {
    const char* what;
    // Where the product's manifest and its installer are: on the slow
    // server (with this path) or, when empty, on the test's own.
    const wchar_t* manifestPath;
    const wchar_t* installerPath;
    bool givenUp;  // else the server stays in use
    std::vector<std::string> log;  // after "Updating slow"
};

// Short limits: documents whole within 6 s, installers at least 64 KiB in
// any 6 s and at most 4 MiB; "_trickle" sends 4 KiB every half second.
TEST_F(UpdateCheck, SlowAndEndlessTransfersAreGivenUpWhileTheNextProductIsUpdated) {
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"UpdaterShortWaits.exe"), m_bin + L"\\Updater.exe"));
    ASSERT_TRUE(CreateFolders(m_dir / L"slow\\sibling"));
    UpdateServer slow(m_dir / L"slow");
    ASSERT_TRUE(slow.Started());
    const std::string tooSlow =
        "Server " + ServerName(slow) + " was too slow and is not asked again in this check";
    const std::string skipped =
        "Skipped sibling: server " + ServerName(slow) + " did not answer earlier in this check";
    const SlowServerCase cases[] = {
        {"trickling manifest", L"_trickle/update.xml", nullptr, true, {tooSlow}},
        {"trickling installer", nullptr, L"_trickle/Setup.exe", true,
         {"Got new one!", "Failed to download installer from " +
                              Narrow(slow.Url(L"_trickle/Setup.exe")),
          tooSlow}},
        {"endless installer", nullptr, L"_endless/Setup.exe", false,
         {"Got new one!", "Failed to download installer from " +
                              Narrow(slow.Url(L"_endless/Setup.exe")),
          "The installer is longer than 4194304 bytes"}},
    };
    // Never finished at a trickle within the limits.
    ASSERT_TRUE(WriteFileBytes(m_dir / L"slow\\Setup.exe", std::string(1024 * 1024, 'x')));
    char manifest[1024];
    std::snprintf(manifest, sizeof manifest, kManifestFormat, "sibling", "1.0", "", "");
    ASSERT_TRUE(WriteFileBytes(m_dir / L"slow\\sibling\\update.xml", manifest));
    Offer("good", "good", "2.0", "good news");
    for (const SlowServerCase& c : cases) {
        ::DeleteFileW(m_record.c_str());
        ::DeleteFileW(UserLogPath().c_str());
        Offer("slow", "slow", "2.0", "");
        std::string installer = c.installerPath ? Narrow(slow.Url(c.installerPath)) : "";
        std::snprintf(manifest, sizeof manifest, kManifestFormat, "slow", "2.0", installer.c_str(),
                      "");
        // Longer than a trickle brings within the time a document has.
        std::string padded = manifest + std::string(64 * 1024, ' ');
        ASSERT_TRUE(WriteFileBytes(m_dir / L"srv\\slow\\update.xml", padded));
        ASSERT_TRUE(WriteFileBytes(m_dir / L"slow\\update.xml", padded));
        std::string manifestUrl =
            c.manifestPath ? Narrow(slow.Url(c.manifestPath)) : ManifestUrl("slow");
        WriteUserProducts(Product("slow", "1.0", manifestUrl, "") +
                          Product("sibling", "1.0", Narrow(slow.Url(L"sibling/update.xml")), "") +
                          Product("good", "1.0", ManifestUrl("good"), ""));
        DWORD start = ::GetTickCount();
        std::string text = Join(RunCheck());
        EXPECT_LT(::GetTickCount() - start, 30000u) << c.what;
        std::vector<std::string> expected = {"Updating slow"};
        expected.insert(expected.end(), c.log.begin(), c.log.end());
        expected.push_back("Updating sibling");
        expected.push_back(c.givenUp ? skipped : "Current ver 1.0 Server ver 1.0");
        for (const char* line : {"Updating good", "Got new one!", "Start Installer",
                                 "Notifing about update"})
            expected.push_back(line);
        EXPECT_TRUE(InOrder(text, expected)) << c.what;
        std::vector<Record> records = Records();
        ASSERT_EQ(2u, records.size()) << c.what;
        EXPECT_EQ("Setup_good-2.0.exe", records[0].program) << c.what;
        EXPECT_EQ(NotificationFor("good news"), records[1].notification) << c.what;
    }
}

TEST_F(UpdateCheck, InstallerResultsDecideTheNoticeAndHangingProgramsAreStopped) {
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"UpdaterShortWaits.exe"), m_bin + L"\\Updater.exe"));
    for (const char* name : {"fails", "restart", "endless", "broken"})
        Offer(name, name, "2.0", std::string(name) + " news");
    ASSERT_TRUE(WriteFileBytes(m_dir / L"srv\\broken\\Setup.exe", "not a program"));
    std::wstring child = m_dir / L"installchild.exe";
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), child));
    ASSERT_TRUE(CreateFolders(m_prod + L"\\1.0"));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_prod + L"\\1.0\\hang.exe"));
    ::SetEnvironmentVariableW(L"QM_INSTALL_EXIT_fails", L"1");
    ::SetEnvironmentVariableW(L"QM_INSTALL_EXIT_restart", L"3010");
    ::SetEnvironmentVariableW(L"QM_INSTALL_SLEEP_endless", L"60000");
    ::SetEnvironmentVariableW(L"QM_INSTALL_CHILD_endless", child.c_str());
    ::SetEnvironmentVariableW(L"QM_INSTALL_REGSET_fails",
                              (L"HKCU\\" + m_regKey + L"|keep|installer default").c_str());
    ASSERT_EQ(ERROR_SUCCESS, ::SHSetValueW(HKEY_CURRENT_USER, m_regKey.c_str(), L"keep", REG_SZ,
                                           L"user setting", 26));
    std::string preserve = "<registryactions><value action='preserve' root='HKCU' key='" +
                           Narrow(m_regKey) + "' name='keep'/></registryactions>";
    std::string hang = "<unistallactions><action type='run' file='hang.exe' param='-sleep'/>"
                       "</unistallactions>";
    WriteUserProducts(Product("fails", "1.0", ManifestUrl("fails"), "", preserve) +
                      Product("restart", "1.0", ManifestUrl("restart"), "") +
                      Product("endless", "1.0", ManifestUrl("endless"), Narrow(m_prod), hang) +
                      Product("broken", "1.0", ManifestUrl("broken"), ""));
    std::string text = Join(RunCheck());
    EXPECT_TRUE(InOrder(text, {"Updating fails", "Start Installer", "Installer failed with exit code 1",
                               "PerformRegistryActions_Restore", "Updating restart",
                               "Start Installer", "PerformRegistryActions_Restore",
                               "Updating endless", "PerformUninstallActions",
                               "Uninstall program " + Narrow(m_prod) +
                                   "\\1.0\\hang.exe did not finish in 10 minutes and was stopped",
                               "Start Installer",
                               "Installer did not finish in 30 minutes and was stopped",
                               "PerformRegistryActions_Restore", "Updating broken",
                               "Start Installer", "Failed to start installer 193",
                               "PerformRegistryActions_Restore", "Notifing about update"}));
    size_t restart = text.find("Updating restart\r\n");
    EXPECT_EQ(std::string::npos,
              text.substr(restart, text.find("Updating endless") - restart).find("Installer "))
        << text;
    // Only the installed update is announced; the failed one got its value back.
    std::vector<Record> records = Records();
    std::vector<std::string> notices;
    for (const Record& r : records)
        if (r.program == "notifier.exe")
            notices.push_back(r.notification);
    EXPECT_EQ(std::vector<std::string>{NotificationFor("restart news")}, notices);
    EXPECT_EQ("user setting", RegValue(L"keep"));
    // The stopped installer's child and the stopped clean-up program are gone.
    EXPECT_TRUE(std::any_of(records.begin(), records.end(),
                            [](const Record& r) { return r.program == "installchild.exe"; }));
    EXPECT_FALSE(ProgramRunning(L"installchild.exe"));
    EXPECT_FALSE(ProgramRunning(L"hang.exe"));
    for (const char* name : {"fails", "restart", "endless", "broken"})
        EXPECT_FALSE(FileExists(TempFolder() + L"\\Setup_" + Widen(name) + L"-2.0.exe")) << name;
}

TEST_F(UpdateCheck, ANoticeNobodyClosesIsClosedAfterTheLimit) {
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"UpdaterShortWaits.exe"), m_bin + L"\\Updater.exe"));
    ASSERT_TRUE(CopyFileTo(DistPath(L"notifier.exe"), m_bin + L"\\notifier.exe"));
    ASSERT_TRUE(CopyFileTo(DistPath(L"whatsnew.xsl"), m_bin + L"\\whatsnew.xsl"));
    Offer("pad", "pad", "2.0", "<p>Nobody reads this</p>");
    WriteUserProducts(Product("pad", "1.0", ManifestUrl("pad"), ""));
    DWORD start = ::GetTickCount();
    EXPECT_EQ("Notifing about update\r\n", RunCheck().back());
    DWORD took = ::GetTickCount() - start;
    EXPECT_GE(took, 4000u);
    EXPECT_LT(took, 60000u);
    EXPECT_TRUE(NoticeFiles().empty());
}

// Environment variables for the stand-ins, removed again however the test ends.
class ScopedVariables {
public:
    ~ScopedVariables() {
        for (const std::wstring& name : m_names)
            ::SetEnvironmentVariableW(name.c_str(), nullptr);
    }
    void Set(const std::wstring& name, const std::wstring& value) {
        m_names.push_back(name);
        ::SetEnvironmentVariableW(name.c_str(), value.c_str());
    }

private:
    std::vector<std::wstring> m_names;
};

TEST_F(UpdateCheck, InstallersAreOverWhenTheirProcessesAreAndWhatBrokeAwayRunsOn) {
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"UpdaterShortWaits.exe"), m_bin + L"\\Updater.exe"));
    Offer("stub", "stub", "2.0", "stub news");
    Offer("away", "away", "2.0", "away news");
    // What each starts and how long that runs on: the stub's real setup
    // (within the installer limit of 4 s), a program that breaks away from
    // the installer's job, a browser opened from a notice that is closed at
    // its limit.
    struct Child {
        const wchar_t* parent;
        const wchar_t* name;
        const wchar_t* linger;
    };
    const Child children[] = {{L"Setup_stub-2.0.exe", L"realsetup.exe", L"|2000"},
                              {L"Setup_away-2.0.exe", L"awaychild.exe", L"|30000|away"},
                              {L"notifier.exe", L"browser.exe", L"|30000"}};
    ScopedVariables variables;
    for (const Child& c : children) {
        ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_dir / c.name));
        variables.Set(std::wstring(L"QM_CHILD_") + c.parent, m_dir / c.name + c.linger);
    }
    variables.Set(L"QM_STAY_notifier.exe", L"60000");
    variables.Set(L"QM_RECORD_REGVALUE", L"HKCU\\" + m_regKey + L"|keep");
    variables.Set(L"QM_INSTALL_REGSET_stub", L"HKCU\\" + m_regKey + L"|keep|installer default");
    ASSERT_EQ(ERROR_SUCCESS, ::SHSetValueW(HKEY_CURRENT_USER, m_regKey.c_str(), L"keep", REG_SZ,
                                           L"user setting", 26));
    std::string preserve = "<registryactions><value action='preserve' root='HKCU' key='" +
                           Narrow(m_regKey) + "' name='keep'/></registryactions>";
    WriteUserProducts(Product("stub", "1.0", ManifestUrl("stub"), "", preserve) +
                      Product("away", "1.0", ManifestUrl("away"), ""));

    std::string text = Join(RunCheck());
    bool awayRunning = AnyProcessNamed(L"awaychild.exe");
    bool browserRunning = AnyProcessNamed(L"browser.exe");
    std::vector<Record> records = Records();
    for (const Child& c : children)
        RunAndWait(L"C:\\windows\\system32\\taskkill.exe", std::wstring(L"/f /im ") + c.name);

    EXPECT_TRUE(InOrder(text, {"Updating stub", "Start Installer", "PerformRegistryActions_Restore",
                               "Updating away", "Start Installer",
                               "PerformRegistryActions_Restore", "Notifing about update"}));
    EXPECT_EQ(std::string::npos, text.find("Installer ")) << text;
    EXPECT_EQ(std::string::npos, text.find("Failed to put")) << text;
    // The real setup ended before the value was put back and before any
    // notice; both updates were announced.
    std::vector<std::string> order;
    for (const Record& r : records) {
        if (r.program == "realsetup.exe" && r.ended)
            order.push_back("realsetup ended, keep=" + r.reg);
        else if (r.program == "notifier.exe")
            order.push_back(r.notification);
        else if (r.program == "awaychild.exe" && r.ended)
            order.push_back("awaychild ended");
    }
    std::vector<std::string> expected = {"realsetup ended, keep=installer default",
                                         NotificationFor("stub news"),
                                         NotificationFor("away news")};
    EXPECT_EQ(expected, order);
    EXPECT_EQ("user setting", RegValue(L"keep"));
    // What broke away, and what a notice opened, run on.
    EXPECT_TRUE(awayRunning);
    EXPECT_TRUE(browserRunning);
}

TEST_F(UpdateCheck, AVersionThatFailedInThreeChecksWaitsForANewerOne) {
    Offer("flaky", "flaky", "2.0", "news");
    ASSERT_TRUE(CreateFolders(m_prod + L"\\1.0"));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_prod + L"\\1.0\\clean.exe"));
    ::SetEnvironmentVariableW(L"QM_INSTALL_EXIT_flaky", L"1");
    WriteUserProducts(Product("flaky", "1.0", ManifestUrl("flaky"), Narrow(m_prod),
                              "<unistallactions><action type='run' file='clean.exe'/>"
                              "</unistallactions>"));
    std::string productsBefore, productsAfter;
    ASSERT_TRUE(ReadFileBytes(UserProductsPath(), productsBefore));
    auto check = [this] {
        ::DeleteFileW(UserLogPath().c_str());
        return Join(RunCheck());
    };
    const std::string failed = "Installer failed with exit code 1\r\n";
    EXPECT_NE(std::string::npos, check().find(failed));
    // A refused download touches nothing and doesn't count.
    Offer("flaky", "flaky", "2.0", "news", "_md5wrong/");
    EXPECT_EQ(std::string::npos, check().find("PerformUninstallActions"));
    Offer("flaky", "flaky", "2.0", "news");
    EXPECT_NE(std::string::npos, check().find(failed));
    EXPECT_NE(std::string::npos, check().find(failed));
    size_t ran = Records().size();
    EXPECT_EQ(6u, ran);  // three times the clean-up program and the installer
    std::string text = check();
    EXPECT_NE(std::string::npos,
              text.find("Got new one!\r\nVersion 2.0 failed to install 3 times; waiting for a newer one\r\n"))
        << text;
    EXPECT_EQ(std::string::npos, text.find("PerformUninstallActions"));
    EXPECT_EQ(ran, Records().size());
    EXPECT_TRUE(FileExists(InstallFailuresPath()));
    ASSERT_TRUE(ReadFileBytes(UserProductsPath(), productsAfter));
    EXPECT_EQ(productsBefore, productsAfter);

    Offer("flaky", "flaky", "2.1", "news");
    EXPECT_NE(std::string::npos, check().find(failed));
    EXPECT_EQ("Setup_flaky-2.1.exe", Records().back().program);

    // Nothing runs that can't be counted.
    ::DeleteFileW(InstallFailuresPath().c_str());
    ASSERT_TRUE(CreateFolders(InstallFailuresPath()));
    ran = Records().size();
    text = check();
    EXPECT_NE(std::string::npos,
              text.find(" can't be read and are left as they are\r\n"
                        "Failed to record the attempt to install flaky 2.1\r\n"))
        << text;
    EXPECT_NE(std::string::npos, text.find("Checked 1 of 1 products; 1 failed\r\n")) << text;
    EXPECT_EQ(ran, Records().size());
}

// An installer that ends the Updater (as a crash or a restart of Windows
// would) never comes back to be counted; its attempts count all the same.
TEST_F(UpdateCheck, InstallsThatNeverCameBackCountAsFailures) {
    Offer("pad", "pad", "2.0", "");
    WriteUserProducts(Product("pad", "1.0", ManifestUrl("pad"), ""));
    ASSERT_TRUE(CreateFolders(m_dir / L"cwd"));
    ::SetEnvironmentVariableW(L"QM_INSTALL_KILL_PARENT", L"1");
    ::SetEnvironmentVariableW(L"QM_INSTALL_REGISTER", nullptr);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        EXPECT_EQ(9, RunAndWait(m_bin + L"\\Updater.exe", L"-runmode=checkupdate", 180000,
                                m_dir / L"cwd"));
        RemoveStaged({"pad"});
        std::string counts;
        EXPECT_TRUE(ReadFileBytes(InstallFailuresPath(), counts));
        EXPECT_EQ(std::to_string(attempt) + "\t2.0\tpad\r\n", counts);
    }
    ::SetEnvironmentVariableW(L"QM_INSTALL_KILL_PARENT", nullptr);
    ::DeleteFileW(UserLogPath().c_str());
    std::string text = Join(RunCheck());
    EXPECT_NE(std::string::npos, text.find("Version 2.0 failed to install 3 times")) << text;
    EXPECT_EQ(3u, Records().size());
}

// A manifest that offers two versions by turns, both failing: each reaches
// the limit. Counts of older files (one line per product) read as before.
TEST_F(UpdateCheck, EachVersionKeepsItsOwnFailureCount) {
    ASSERT_TRUE(WriteFileBytes(InstallFailuresPath(),
                               "2\t2.0\tflaky\r\n2\t2.1\tflaky\r\n1\t1.0\tother\r\n"));
    ::SetEnvironmentVariableW(L"QM_INSTALL_EXIT_flaky", L"1");
    WriteUserProducts(Product("flaky", "1.0", ManifestUrl("flaky"), ""));
    const struct {
        const char* version;
        bool runs;
    } checks[] = {{"2.0", true}, {"2.1", true}, {"2.0", false}, {"2.1", false}};
    size_t ran = 0;
    for (const auto& c : checks) {
        Offer("flaky", "flaky", c.version, "");
        ::DeleteFileW(UserLogPath().c_str());
        const std::string text = Join(RunCheck());
        ran += c.runs ? 1 : 0;
        EXPECT_EQ(ran, Records().size()) << c.version << "\n" << text;
        EXPECT_EQ(!c.runs, text.find("Version " + std::string(c.version) +
                                     " failed to install 3 times") != std::string::npos)
            << c.version << "\n" << text;
    }
    std::string counts;
    ASSERT_TRUE(ReadFileBytes(InstallFailuresPath(), counts));
    EXPECT_EQ("3\t2.0\tflaky\r\n3\t2.1\tflaky\r\n1\t1.0\tother\r\n", counts);
}

// Counts that can't be read are never written over: a damaged file is set
// aside, one held by another program stays as it is, and both are logged.
TEST_F(UpdateCheck, FailureCountsThatCannotBeReadAreKept) {
    const std::wstring path = InstallFailuresPath(), aside = path + L".damaged";
    Offer("flaky", "flaky", "2.0", "");
    ::SetEnvironmentVariableW(L"QM_INSTALL_EXIT_flaky", L"1");
    const struct {
        const char* content;
        bool held;
        const char* kept;  // the lines that could be read
    } cases[] = {{"2\t2.0\tother\r\ncut sh", false, "2\t2.0\tother\r\n"},
                 {"2\t2.0\tother\r\n2\t2.0\t\r\n", false, "2\t2.0\tother\r\n"},
                 {"x\t2.0\tother\r\n", false, ""},
                 {"2\t2.0\tother\r\n", true, ""}};
    for (const auto& c : cases) {
        CleanUserState();
        WriteUserProducts(Product("flaky", "1.0", ManifestUrl("flaky"), ""));
        ASSERT_TRUE(WriteFileBytes(path, c.content));
        HANDLE held = c.held ? ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                             0, nullptr)
                             : INVALID_HANDLE_VALUE;
        const std::string text = Join(RunCheck());
        if (held != INVALID_HANDLE_VALUE)
            ::CloseHandle(held);
        std::string now, setAside;
        ReadFileBytes(path, now);
        ReadFileBytes(aside, setAside);
        if (c.held) {
            EXPECT_NE(std::string::npos,
                      text.find("Install failure counts " + Narrow(path) +
                                " can't be read and are left as they are\r\n")) << text;
            // Nothing runs that can't be counted.
            EXPECT_NE(std::string::npos,
                      text.find("Failed to record the attempt to install flaky 2.0\r\n")) << text;
            EXPECT_EQ(std::string::npos, text.find("Start Installer")) << text;
            EXPECT_EQ(c.content, now);
            EXPECT_FALSE(FileExists(aside));
        } else {
            EXPECT_NE(std::string::npos,
                      text.find("Damaged install failure counts set aside as " + Narrow(aside) +
                                "\r\n")) << c.content << "\n" << text;
            EXPECT_EQ(c.content, setAside);
            EXPECT_EQ(c.kept + std::string("1\t2.0\tflaky\r\n"), now) << c.content;
        }
    }
}

// What a check tells its starter (the Task Scheduler shows it as the last
// result) and the log: how many products could not be checked or updated.
// A product without an update address (what an empty products file reads
// as) counts in none of the numbers.
TEST_F(UpdateCheck, ACheckSaysHowManyProductsFailedAndExitsWithIt) {
    Offer("current", "current", "1.0", "");
    Offer("flaky", "flaky", "2.0", "");
    Offer("pad", "pad", "2.0", "");
    ::SetEnvironmentVariableW(L"QM_INSTALL_EXIT_flaky", L"1");
    const std::string current = Product("current", "1.0", ManifestUrl("current"), "");
    const struct {
        std::string products;
        int exitCode;
        const char* last;
    } rows[] = {
        {current + Product("none", "1.0", "", ""), 0, "There was no updates"},
        {current + Product("pad", "1.0", ManifestUrl("pad"), ""), 0, "PerformRegistryActions_Restore"},
        {current + Product("missing", "1.0", ManifestUrl("missing"), "") +
             Product("refused", "1.0", "http://127.0.0.1:9/update.xml", ""),
         1, "Checked 1 of 3 products; 2 failed"},
        {current + Product("flaky", "1.0", ManifestUrl("flaky"), "") + Product("none", "1.0", "", ""),
         1, "Checked 2 of 2 products; 1 failed"},
    };
    for (const auto& row : rows) {
        CleanUserState();
        WriteUserProducts(row.products);
        std::vector<std::string> log = RunCheck();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(row.exitCode, m_exitCode) << row.last;
        EXPECT_EQ(std::string(row.last) + "\r\n", log.back()) << Join(log);
        EXPECT_EQ(1, std::count(log.begin(), log.end(), std::string(row.last) + "\r\n"));
        if (row.exitCode != 0) {
            EXPECT_EQ(std::string::npos, Join(log).find("There was no updates"));
        }
    }
    // Registering a product that can't be registered says so to the
    // installer.
    EXPECT_EQ(1, RunAndWait(m_bin + L"\\Updater.exe",
                            L"-runmode=addproduct -info=\"" + m_dir / L"missing.xml" + L"\"", 60000,
                            m_dir / L"cwd"));
}

// The name of the lock a check takes on the products file at path, shared
// by all sessions.
std::wstring ProductsCheckLockName(const std::wstring& path) {
    std::wstring lower(path);
    ::CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    uint64_t h = 14695981039346656037ull;
    for (wchar_t c : lower) {
        h ^= static_cast<uint16_t>(c);
        h *= 1099511628211ull;
    }
    wchar_t hex[17];
    for (int i = 15; i >= 0; --i, h >>= 4)
        hex[i] = L"0123456789abcdef"[h & 0xF];
    hex[16] = 0;
    return std::wstring(L"Global\\quillmarrow_check_") + hex;
}

DWORD WINAPI TakeAndAbandon(void* name) {
    // Taken and never given back: the thread's end abandons it.
    ::CreateMutexW(nullptr, TRUE, static_cast<const wchar_t*>(name));
    return 0;
}

// A check of the same products file in another session (here: this test
// holding its lock) leaves the file alone; a lock whose holder ended
// without letting go blocks nothing, nor does one that another account made
// and holds to block checks.
TEST_F(UpdateCheck, ACheckOfTheSameProductsFileElsewhereIsLeftAlone) {
    enum Lock { kHeld, kAbandoned, kSquatted };
    Offer("pad", "pad", "1.0", "");
    const std::wstring name = ProductsCheckLockName(UserProductsPath());
    for (Lock kind : {kHeld, kSquatted, kAbandoned}) {  // the abandoned one lives on
        SCOPED_TRACE(kind);
        CleanUserState();
        WriteUserProducts(Product("pad", "1.0", ManifestUrl("pad"), ""));
        HANDLE lock = nullptr;
        if (kind == kAbandoned) {
            lock = ::CreateMutexW(nullptr, FALSE, name.c_str());
            HANDLE thread = ::CreateThread(nullptr, 0, TakeAndAbandon,
                                           const_cast<wchar_t*>(name.c_str()), 0, nullptr);
            ASSERT_NE(nullptr, thread);
            ::WaitForSingleObject(thread, 10000);
            ::CloseHandle(thread);
        } else if (kind == kSquatted) {
            // Owned by the local system account, open to everyone.
            PSECURITY_DESCRIPTOR sd = nullptr;
            ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"O:SYD:(A;;GA;;;WD)", SDDL_REVISION_1, &sd, nullptr));
            SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
            lock = ::CreateMutexW(&attributes, TRUE, name.c_str());
            ::LocalFree(sd);
        } else {
            lock = ::CreateMutexW(nullptr, TRUE, name.c_str());
        }
        ASSERT_NE(nullptr, lock) << ::GetLastError();
        const std::string requests = m_server.Requests();
        std::vector<std::string> log = RunCheck();
        if (kind != kAbandoned)
            ::ReleaseMutex(lock);
        ::CloseHandle(lock);
        if (kind == kHeld) {
            EXPECT_EQ(Join(Lines({"Checking update mutex", "Another check of " +
                                      Narrow(UserProductsPath()) + " is running"})),
                      Join(log));
            EXPECT_EQ(requests, m_server.Requests());
        } else {
            EXPECT_EQ("There was no updates\r\n", log.back()) << Join(log);
        }
    }
}

// The Updater as the local system account, through a build of it whose token
// identity says S-1-5-18: machine products file and log beside the parent of
// its folder.
// One value under the Updater's key in HKEY_LOCAL_MACHINE (the updater id,
// an administrator's setting) as a test needs it, put back as it was after.
class ScopedUpdaterValue {
public:
    ScopedUpdaterValue(const wchar_t* name, DWORD type, const void* data, DWORD size)
        : m_name(name) {
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\QuillMarrow\\Updater", 0, nullptr, 0,
                          KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &m_key, nullptr);
        m_oldSize = sizeof m_old;
        m_hadOld = ::RegQueryValueExW(m_key, name, nullptr, &m_oldType, m_old, &m_oldSize) ==
                   ERROR_SUCCESS;
        m_set = ::RegSetValueExW(m_key, name, 0, type, static_cast<const BYTE*>(data), size) ==
                ERROR_SUCCESS;
    }
    ~ScopedUpdaterValue() {
        if (m_hadOld)
            ::RegSetValueExW(m_key, m_name, 0, m_oldType, m_old, m_oldSize);
        else
            ::RegDeleteValueW(m_key, m_name);
        ::RegCloseKey(m_key);
    }
    bool IsSet() const { return m_set; }

private:
    const wchar_t* m_name;
    HKEY m_key = nullptr;
    BYTE m_old[512];
    DWORD m_oldSize = 0, m_oldType = 0;
    bool m_hadOld = false, m_set = false;
};

const wchar_t kRolloutId[] = L"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

// With this updater id the machine's bucket is 63 for pad 2.0 and 25 for
// pad 2.1 (rollout_draw_tests): it takes 2.0 from 64% on, and no version
// rolled out to 0% (halted), signed or not.
TEST_F(UpdateCheck, ARolloutReachesOnlyItsShareOfMachines) {
    ScopedUpdaterValue id(L"UserID", REG_SZ, kRolloutId, sizeof kRolloutId);
    ASSERT_TRUE(id.IsSet());
    const std::wstring signing = SigningFolder();
    ASSERT_FALSE(signing.empty());
    const struct {
        const char* version;
        const char* rollout;
        bool pinned;
        const char* last;  // the product's last record, or empty when installed
        const char* installed;  // the version registered after the check
    } rows[] = {
        {"2.0", "63", true, "Version 2.0 of pad is rolled out to 63% of machines, not yet to this one",
         "1.0"},
        {"2.0", "64", true, "", "2.0"},
        {"2.1", "0", true, "Version 2.1 of pad is halted by its publisher", "2.0"},
        {"2.1", "25", false, "Version 2.1 of pad is rolled out to 25% of machines, not yet to this one",
         "2.0"},
        {"2.1", "26", false, "", "2.1"},
    };
    WriteUserProducts(Pinned(Pin(1), Product("pad", "1.0", ManifestUrl("pad"), "")));
    size_t runs = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.version) + " at " + row.rollout);
        Offer("pad", "pad", row.version, "");
        const std::string rollout = " rollout='" + std::string(row.rollout) + "'";
        if (row.pinned) {
            ASSERT_TRUE(CopyFileTo(signing + L"\\signed1.exe", m_dir / L"srv\\pad\\Setup.exe"));
            SignOffer("pad", rollout);
        } else {
            // The product without its pins, the manifest unsigned.
            std::string products, manifest;
            ASSERT_TRUE(ReadFileBytes(UserProductsPath(), products));
            const size_t pin = products.find(" signer='");
            if (pin != std::string::npos)
                products.erase(pin, products.find('\'', pin + 9) + 1 - pin);
            ASSERT_TRUE(WriteFileBytes(UserProductsPath(), products));
            ASSERT_TRUE(ReadFileBytes(m_dir / L"srv\\pad\\update.xml", manifest));
            manifest.insert(manifest.rfind("/>"), rollout);
            ASSERT_TRUE(WriteFileBytes(m_dir / L"srv\\pad\\update.xml", manifest));
        }
        ::DeleteFileW(UserLogPath().c_str());
        const std::vector<std::string> log = RunCheck();
        const std::string text = Join(log);
        // Held back is neither updated nor failed, and no "no updates" either.
        EXPECT_EQ(0, m_exitCode) << text;
        ASSERT_FALSE(log.empty());
        if (*row.last) {
            EXPECT_EQ(std::string(row.last) + "\r\n", log.back()) << text;
        } else {
            EXPECT_EQ("PerformRegistryActions_Restore\r\n", log.back()) << text;
            ++runs;
        }
        EXPECT_EQ(runs, Records().size()) << text;
        std::string products;
        ASSERT_TRUE(ReadFileBytes(UserProductsPath(), products));
        EXPECT_NE(std::string::npos, products.find("version='" + std::string(row.installed) + "'"))
            << products;
    }
}

// After each attempt the publisher's report address is asked once, with how
// it went; never for an unsigned manifest, nor when an administrator turned
// reports off, and a report that fails changes nothing.
TEST_F(UpdateCheck, InstallAttemptsAreReportedToThePublisher) {
    ScopedUpdaterValue id(L"UserID", REG_SZ, kRolloutId, sizeof kRolloutId);
    ASSERT_TRUE(id.IsSet());
    const std::wstring signing = SigningFolder();
    ASSERT_FALSE(signing.empty());
    ASSERT_TRUE(CreateFolders(m_dir / L"srv\\reports"));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"srv\\reports\\r", ""));
    enum Kind { kInstalls, kFails, kTooLong, kUnsigned, kTurnedOff, kNoAnswer };
    const std::string query = "/reports/r?team=ink&intname=pad&from=1.0&to=";
    const struct {
        Kind kind;
        const char* version;
        const char* request;  // what the server sees, or empty for none
        const char* record;   // the report's log record, or empty for none
    } rows[] = {
        {kInstalls, "2.0", "2.0&result=installed&code=00000000&machine=4655b910fbd3a512",
         "Reported installed of pad 2.0"},
        {kFails, "2.1", "2.1&result=failed&code=00000005&machine=4655b910fbd3a512",
         "Reported failed of pad 2.1"},
        {kTooLong, "2.2", "2.2&result=refused&code=a0a10001&machine=4655b910fbd3a512",
         "Reported refused of pad 2.2"},
        {kUnsigned, "2.3", "", ""},
        {kTurnedOff, "2.4", "", ""},
        {kNoAnswer, "2.5", "", "Failed to report installed of pad 2.5"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.version);
        CleanUserState();
        ::DeleteFileW((m_dir / L"srv\\requests.log").c_str());
        ::SetEnvironmentVariableW(L"QM_INSTALL_EXIT_pad", row.kind == kFails ? L"5" : nullptr);
        const DWORD off = 1;
        std::unique_ptr<ScopedUpdaterValue> turnedOff(
            row.kind == kTurnedOff ? new ScopedUpdaterValue(L"NoReports", REG_DWORD, &off, 4)
                                   : nullptr);
        Offer("pad", "pad", row.version, "");
        const std::string reportUrl =
            Narrow(m_server.Url(row.kind == kNoAnswer ? L"missing/r?team=ink" : L"reports/r?team=ink"));
        const std::string product = Product("pad", "1.0", ManifestUrl("pad"), "");
        if (row.kind == kUnsigned) {
            std::string manifest;
            ASSERT_TRUE(ReadFileBytes(m_dir / L"srv\\pad\\update.xml", manifest));
            manifest.insert(manifest.rfind("/>"), " reporturl='" + reportUrl + "'");
            ASSERT_TRUE(WriteFileBytes(m_dir / L"srv\\pad\\update.xml", manifest));
            WriteUserProducts(product);
        } else {
            ASSERT_TRUE(CopyFileTo(signing + L"\\signed1.exe", m_dir / L"srv\\pad\\Setup.exe"));
            SignOffer("pad", " reporturl='" + reportUrl + "'");
            WriteUserProducts(Pinned(Pin(1), product));
        }
        if (row.kind == kTooLong) {
            std::string installer;
            ASSERT_TRUE(ReadFileBytes(m_dir / L"srv\\pad\\Setup.exe", installer));
            ASSERT_TRUE(WriteFileBytes(m_dir / L"srv\\pad\\Setup.exe", installer + "x"));
        }
        const std::string text = Join(RunCheck());
        std::vector<std::string> reports;
        for (const std::string& line : SplitOn(m_server.Requests(), '\n'))
            if (line.find("/r?") != std::string::npos)
                reports.push_back(line);
        if (*row.request) {
            ASSERT_EQ(1u, reports.size()) << m_server.Requests();
            EXPECT_EQ("GET " + query + row.request, reports[0]);
        } else if (row.kind != kNoAnswer) {
            EXPECT_TRUE(reports.empty()) << m_server.Requests();
        }
        if (*row.record) {
            EXPECT_NE(std::string::npos, text.find(std::string(row.record) + "\r\n")) << text;
        } else {
            EXPECT_EQ(std::string::npos, text.find("Reported ")) << text;
            EXPECT_EQ(std::string::npos, text.find("Failed to report ")) << text;
        }
        // A report never changes how the check ends.
        EXPECT_EQ(row.kind == kFails || row.kind == kTooLong ? 1 : 0, m_exitCode) << text;
    }
}

// A product team moves from key A to key B as the README says, publishing
// with the tool: machines pinned to A take a release signed by A whose
// installer registers A and B, then releases signed by B, then one that
// registers only B; after that a manifest signed by A is refused.
TEST_F(UpdateCheck, AKeyChangeTakesMachinesFromOneKeyToTheNext) {
    const std::wstring signing = SigningFolder();
    ASSERT_FALSE(signing.empty());
    const std::string pinA = Pin(1), pinB = Pin(2);
    // A name beyond ASCII: its products file, its description and its signed
    // manifest are all UTF-8, whatever the machine's code page.
    const std::string name = "notes-\xC3\xA9";
    const std::wstring folder = m_dir / L"srv\\pad";
    ASSERT_TRUE(CreateFolders(folder));
    const struct {
        const char* version;
        int key;               // signs the installer and the manifest
        std::string pins;      // what the installer registers
        const char* newSigner;  // the tool's option when the key changes
        const char* last;       // the product's last record
    } steps[] = {
        {"2.0", 1, pinA + ";" + pinB, "", "PerformRegistryActions_Restore"},
        {"3.0", 2, pinA + ";" + pinB, " --new-signer", "PerformRegistryActions_Restore"},
        {"4.0", 2, pinB, "", "PerformRegistryActions_Restore"},
        {"5.0", 1, pinA + ";" + pinB, " --new-signer",
         "Manifest of notes-\xC3\xA9 is signed by a key that is not pinned"},
    };
    WriteUserProducts(Pinned(pinA, Product(name, "1.0", ManifestUrl("pad"), "")));
    for (const auto& step : steps) {
        SCOPED_TRACE(step.version);
        const std::string key = UnixArg(signing + L"\\key" + std::to_wstring(step.key) + L".pem");
        const std::string cert = UnixArg(signing + L"\\cert" + std::to_wstring(step.key) + L".pem");
        const std::wstring info = m_dir / (L"pad-" + Widen(step.version) + L".xml");
        ASSERT_TRUE(WriteFileBytes(info, "<product intname='" + name + "' version='" +
                                             std::string(step.version) + "' updateurl='" +
                                             ManifestUrl("pad") + "' signer='" + step.pins + "'/>"));
        ::SetEnvironmentVariableW((L"QM_INSTALL_ADDPRODUCT_" + Widen(name)).c_str(),
                                  (m_bin + L"\\Updater.exe|" + info).c_str());
        ::SetEnvironmentVariableW(L"QM_INSTALL_REGISTER", nullptr);
        ASSERT_EQ(0, RunUnixProgram(
                         L"python3",
                         UnixArg(SourcePath(L"tools\\qmpublish")) + " manifest --intname " + name + " --version " +
                             step.version + " --installer " +
                             UnixArg(signing + L"\\signed" + std::to_wstring(step.key) + L".exe") +
                             " --installer-url " +
                             Narrow(m_server.Url(L"pad/Setup-" + Widen(step.version) + L".exe")) +
                             " --key " + key + " --cert " + cert + step.newSigner + " --out " +
                             UnixArg(folder)));
        ::DeleteFileW(UserLogPath().c_str());
        RunCheck();
        // The whole log: the installer's own addproduct run writes into it.
        std::string text;
        ASSERT_TRUE(ReadFileBytes(UserLogPath(), text));
        EXPECT_NE(std::string::npos, text.find(std::string(step.last) + "\r\n")) << text;
        EXPECT_EQ(step.key == 1 && step.newSigner[0], text.find("Got new one!") == std::string::npos)
            << text;
    }
    std::string products;
    ASSERT_TRUE(ReadFileBytes(UserProductsPath(), products));
    EXPECT_NE(std::string::npos, products.find("version='4.0'")) << products;
    EXPECT_NE(std::string::npos, products.find("signer='" + pinB + "'")) << products;
    ::SetEnvironmentVariableW((L"QM_INSTALL_ADDPRODUCT_" + Widen(name)).c_str(), nullptr);
}

class MachineUpdateCheck : public UpdateCheck {
protected:
    void SetUp() override {
        UpdateCheck::SetUp();
        m_sysRoot = m_dir / L"sys";
        ASSERT_TRUE(CreateFolders(m_sysRoot + L"\\bin"));
        ASSERT_TRUE(CopyFileTo(TestBinPath(L"UpdaterAsSystem.exe"), m_sysRoot + L"\\bin\\Updater.exe"));
        ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_sysRoot + L"\\bin\\notifier.exe"));
        ::SetEnvironmentVariableW(L"QM_INSTALL_REGISTER",
                                  (m_sysRoot + L"\\MachineProducts.xml").c_str());
        RemoveOurTasks();
    }
    void TearDown() override {
        RemoveOurTasks();
        UpdateCheck::TearDown();
    }
    // The tasks live in the scheduler's folder as <name>.job.
    static void RemoveOurTasks() {
        wchar_t windows[MAX_PATH] = {0};
        ::GetWindowsDirectoryW(windows, MAX_PATH);
        std::wstring tasks = std::wstring(windows) + L"\\Tasks\\";
        WIN32_FIND_DATAW fd;
        HANDLE find = ::FindFirstFileW((tasks + L"update-*.job").c_str(), &fd);
        if (find == INVALID_HANDLE_VALUE)
            return;
        do
            ::DeleteFileW((tasks + fd.cFileName).c_str());
        while (::FindNextFileW(find, &fd));
        ::FindClose(find);
    }
    static bool TaskFileExists(const std::wstring& name) {
        wchar_t windows[MAX_PATH] = {0};
        ::GetWindowsDirectoryW(windows, MAX_PATH);
        return FileExists(std::wstring(windows) + L"\\Tasks\\" + name + L".job");
    }
    void WriteMachineProducts(const std::string& products) {
        ASSERT_TRUE(WriteFileBytes(m_sysRoot + L"\\MachineProducts.xml",
                                   "<?xml version='1.0' encoding='UTF-8'?><products>" + products +
                                       "</products>"));
    }
    std::vector<std::string> RunMachineCheck() {
        return RunCheck(m_sysRoot + L"\\bin\\Updater.exe", m_sysRoot + L"\\updater.log");
    }
    std::wstring m_sysRoot;
};

TEST_F(MachineUpdateCheck, LastProductIsTheUpdaterItselfSchedulesItsRemoval) {
    WriteMachineProducts("<product intname='updater' version='1.3' updateurl='' "
                         "uninstall='C:\\Program Files\\Upd\\unins000.exe'/>");
    std::vector<std::string> log = RunMachineCheck();
    std::string text = Join(log);
    EXPECT_EQ(0u, text.find("Checking update mutex\r\nChecking For Updates\r\n"
                            "Updating Machine Products\r\nUpdating updater\r\nUpdate url \r\n"
                            "There was no updates\r\nLooking for tasks\r\n")) << text;
    std::vector<std::string> tail(log.end() - 4, log.end());
    EXPECT_EQ(Join(Lines({"There is no user products installed",
                          "Selfdestruct sequences initiated. God I hate that sequences!!",
                          "Uninstaller for updater found at 'C:\\Program Files\\Upd\\unins000.exe'",
                          "Uninstaller task created with bRet '1'"})),
              Join(tail)) << text;
    EXPECT_TRUE(TaskFileExists(L"update-Updater removing"));
    // It logged beside the parent of its folder, not in the user's profile.
    EXPECT_FALSE(FileExists(UserLogPath()));
}

TEST_F(MachineUpdateCheck, AnotherLastProductStartsTheRemovalButFindsNoUninstaller) {
    WriteMachineProducts("<product intname='pad' version='1.3' updateurl=''/>");
    std::vector<std::string> log = RunMachineCheck();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ("Selfdestruct sequences initiated. God I hate that sequences!!\r\n", log.back());
    EXPECT_FALSE(TaskFileExists(L"update-Updater removing"));
}

TEST_F(MachineUpdateCheck, MachineProductsAreUpdatedAndNoRemovalFollows) {
    Offer("pad", "pad", "2.0", "machine news");
    WriteMachineProducts(Product("pad", "1.0", ManifestUrl("pad"), ""));
    std::vector<std::string> log = RunMachineCheck();
    EXPECT_EQ("Notifing about update\r\n", log.back());
    std::vector<Record> records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("Setup_pad-2.0.exe", records[0].program);
    EXPECT_EQ("notifier.exe", records[1].program);
    // Started as the console user, found by the account's identity: under
    // Wine the account's name is the Unix user's, not SYSTEM.
    EXPECT_EQ("winsta0\\default", records[1].desktop);
    std::string folder = Narrow(m_sysRoot + L"\\bin");
    EXPECT_EQ("<?xml-stylesheet type='text/xsl' href='" + folder + "/whatsnew.xsl'?><alert baseurl='" +
                  folder + "\\'>machine news</alert>",
              records[1].notification);
}

// A journal lies beside the products file of the run that wrote it: a user's
// check leaves a machine-wide run's journal to the next machine-wide check.
TEST_F(MachineUpdateCheck, JournalsStayBesideTheirOwnProductsFile) {
    ASSERT_EQ(ERROR_SUCCESS, ::SHSetValueW(HKEY_CURRENT_USER, m_regKey.c_str(), L"keep", REG_DWORD,
                                           "\x05\0\0\0", 4));
    std::string actions = "<registryactions><value action='preserve' root='HKCU' key='" +
                          Narrow(m_regKey) + "' name='keep'/></registryactions>";
    Offer("pad", "pad", "1.1", "");
    WriteMachineProducts(Product("pad", "1.0", ManifestUrl("pad"), "", actions));
    ::SetEnvironmentVariableW(L"QM_INSTALL_KILL_PARENT", L"1");
    ASSERT_TRUE(CreateFolders(m_dir / L"cwd"));
    EXPECT_EQ(9, RunAndWait(m_sysRoot + L"\\bin\\Updater.exe", L"-runmode=checkupdate", 180000,
                            m_dir / L"cwd"));
    ::SetEnvironmentVariableW(L"QM_INSTALL_KILL_PARENT", nullptr);
    RemoveStaged({"pad"});
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((m_sysRoot + L"\\PreservedValues-*.journal").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    ::FindClose(find);
    EXPECT_TRUE(Journals().empty());

    EXPECT_EQ(std::string::npos, Join(RunCheck()).find("Restored"));
    EXPECT_EQ(0u, RawValue(L"keep").first);
    WriteMachineProducts(Product("pad", "1.1", ManifestUrl("pad"), "", actions));
    ::DeleteFileW((m_sysRoot + L"\\updater.log").c_str());
    std::string text = Join(RunMachineCheck());
    EXPECT_NE(std::string::npos, text.find("Restored preserved registry values of pad\r\n")) << text;
    EXPECT_EQ(std::make_pair(static_cast<DWORD>(REG_DWORD), std::string("\x05\0\0\0", 4)),
              RawValue(L"keep"));
}

TEST_F(MachineUpdateCheck, StagedInstallerCannotBeSwappedAndAnOldFolderBlocksNothing) {
    std::wstring signing = SigningFolder();
    ASSERT_FALSE(signing.empty());
    Offer("tamper", "tamper", "2.0", "");
    ASSERT_TRUE(CopyFileTo(signing + L"\\signed1.exe", m_dir / L"srv\\tamper\\Setup.exe"));
    SignOffer("tamper");
    // A folder at the path where the installer used to be downloaded.
    std::wstring oldPath = TempFolder() + L"\\Setup_tamper-2.0.exe";
    RemoveTree(oldPath);
    RemoveStaged({"tamper"});
    ASSERT_TRUE(CreateFolders(oldPath));
    // The product's clean-up program goes for the staged installer.
    ASSERT_TRUE(CreateFolders(m_prod + L"\\1.0"));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"Tamperer.exe"), m_prod + L"\\1.0\\tamper.exe"));
    std::wstring tamperLog = m_dir / L"tamper.txt";
    ::SetEnvironmentVariableW(L"QM_TAMPER_LOG", tamperLog.c_str());
    WriteMachineProducts(Pinned(Pin(1), Product("tamper", "1.0", ManifestUrl("tamper"),
                                                Narrow(m_prod),
                                                "<unistallactions><action type='run' "
                                                "file='tamper.exe' param='Setup_tamper-2.0.exe'/>"
                                                "</unistallactions>")));
    std::string text = Join(RunMachineCheck());
    ::SetEnvironmentVariableW(L"QM_TAMPER_LOG", nullptr);

    // It found the one staged copy and every attempt failed. Wine shows a
    // folder's access list as made from its Unix mode bits: the local system
    // account, the owner, and Everyone (S-1-1-0) for an ordinary folder; the
    // folder of a machine-wide check grants Everyone nothing.
    std::string tamper;
    ASSERT_TRUE(ReadFileBytes(tamperLog, tamper)) << text;
    std::vector<std::string> fields = SplitOn(tamper, '\t');
    ASSERT_EQ(8u, fields.size()) << tamper;
    for (size_t i = 1; i < 7; ++i)
        EXPECT_EQ(std::string::npos, fields[i].find("=done")) << tamper;
    EXPECT_EQ(0u, fields[7].find("acl=S-1-5-18,")) << tamper;
    EXPECT_EQ(std::string::npos, fields[7].find("S-1-1-0")) << tamper;
    // The genuine installer ran from that folder, which is gone now.
    std::vector<Record> records = Records();
    ASSERT_EQ(1u, records.size()) << text;
    EXPECT_EQ("Setup_tamper-2.0.exe", records[0].program);
    EXPECT_EQ(fields[0], records[0].folder);
    EXPECT_FALSE(FileExists(Widen(fields[0])));
    EXPECT_TRUE(FileExists(oldPath));
    RemoveTree(oldPath);
}

}  // namespace
