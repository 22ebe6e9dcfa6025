// notifier.exe started as a process on the virtual display: its window is
// found from here and driven with window messages.
#include "testsupport/TestSupport.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace testsupport;

namespace {

const DWORD kStartLimitMs = 60000;  // the first start in a fresh prefix is slow

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    wchar_t cls[64] = L"";
    ::GetClassNameW(window, cls, 64);
    if (pid == search->processId && std::wstring(cls) == L"#32770" && ::IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The visible dialog of the process, or null.
HWND FindNotifierWindow(HANDLE process) {
    WindowSearch search = {::GetProcessId(process), nullptr};
    ::EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool IsRunning(HANDLE process) {
    return ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

// Exit code once the process ended within timeoutMs, else -1000.
long ExitCodeWithin(HANDLE process, DWORD timeoutMs) {
    if (::WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0)
        return -1000;
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    return static_cast<long>(code);
}

std::wstring Quoted(const std::wstring& text) {
    return L"-notificationfile=\"" + text + L"\"";
}

class NotifierProcess : public ::testing::Test {
protected:
    NotifierProcess() : m_dir(L"notifier-process") {}

    void TearDown() override {
        if (m_process && IsRunning(m_process)) {
            ::TerminateProcess(m_process, 99);
            ::WaitForSingleObject(m_process, 10000);
        }
        if (m_process)
            ::CloseHandle(m_process);
    }

    // Starts the Notifier and waits for its window; fails the test without.
    HWND StartAndFindWindow(const std::wstring& args) {
        m_process = StartProcess(DistPath(L"notifier.exe"), args);
        EXPECT_NE(nullptr, m_process);
        if (!m_process)
            return nullptr;
        HWND window = nullptr;
        bool shown = WaitFor([&] { return (window = FindNotifierWindow(m_process)) != nullptr || !IsRunning(m_process); },
                             kStartLimitMs);
        EXPECT_TRUE(shown && window) << "no window for " << Narrow(args);
        return window;
    }

    // Runs the Notifier to its end, watching that it never shows a window.
    long RunWithoutWindow(const std::wstring& args, bool& sawWindow) {
        m_process = StartProcess(DistPath(L"notifier.exe"), args);
        EXPECT_NE(nullptr, m_process);
        if (!m_process)
            return -1000;
        sawWindow = false;
        WaitFor([&] {
            sawWindow = sawWindow || FindNotifierWindow(m_process) != nullptr;
            return !IsRunning(m_process);
        }, kStartLimitMs);
        long code = ExitCodeWithin(m_process, 0);
        if (IsRunning(m_process)) {
            ::TerminateProcess(m_process, 99);
            ::WaitForSingleObject(m_process, 10000);
        }
        ::CloseHandle(m_process);
        m_process = nullptr;
        return code;
    }

    std::wstring WriteNotificationFile() {
        std::wstring path = m_dir / L"whatsnew.xml";
        EXPECT_TRUE(WriteFileBytes(path, "<alert baseurl='C:\\'><whatsnew><title>Test</title></whatsnew></alert>"));
        return path;
    }

    TempDir m_dir;
    HANDLE m_process = nullptr;
};

TEST_F(NotifierProcess, WithoutAFileItEndsAtOnceWithoutWindow) {
    for (const wchar_t* args : {L"", L"-notificationfile=", L"-notificationfile=\"\"", L"/notificationfile:''",
                                L"-NotificationFile=\"C:\\whatsnew.xml\"", L"-other=\"C:\\whatsnew.xml\""}) {
        bool sawWindow = true;
        EXPECT_EQ(0, RunWithoutWindow(args, sawWindow)) << Narrow(args);
        EXPECT_FALSE(sawWindow) << Narrow(args);
    }
}

TEST_F(NotifierProcess, WindowIsBorderlessTopmostAtTheWorkAreaCorner) {
    HWND window = StartAndFindWindow(Quoted(WriteNotificationFile()));
    ASSERT_NE(nullptr, window);

    LONG style = ::GetWindowLongW(window, GWL_STYLE);
    LONG exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_POPUP) << Hex(style);
    EXPECT_EQ(0, style & (WS_CAPTION | WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)) << Hex(style);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST) << Hex(exStyle);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW) << Hex(exStyle);

    RECT work;
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    RECT rect;
    ASSERT_TRUE(::GetWindowRect(window, &rect));
    EXPECT_GT(rect.right - rect.left, 100);
    EXPECT_GT(rect.bottom - rect.top, 100);
    EXPECT_EQ(work.right, rect.right) << "window " << rect.left << "," << rect.top << " " << rect.right << ","
                                      << rect.bottom;
    EXPECT_EQ(work.bottom, rect.bottom);

    // The browser is hosted in control 1000, which fills the window but for
    // the last dialog unit, and holds the browser's own window.
    HWND host = ::GetDlgItem(window, 1000);
    ASSERT_NE(nullptr, host);
    RECT hostRect;
    ::GetWindowRect(host, &hostRect);
    EXPECT_EQ(rect.left, hostRect.left);
    EXPECT_EQ(rect.top, hostRect.top);
    EXPECT_EQ(rect.right, hostRect.right);
    EXPECT_LT(hostRect.bottom, rect.bottom);
    EXPECT_NE(nullptr, ::GetWindow(host, GW_CHILD)) << "no browser window inside the host";

    // Enter is ignored; Escape closes with IDCANCEL.
    ::PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
    ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(-1000, ExitCodeWithin(m_process, 1000));
    ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(2, ExitCodeWithin(m_process, kStartLimitMs));
}

TEST_F(NotifierProcess, AltF4EndsWithCancel) {
    HWND window = StartAndFindWindow(Quoted(WriteNotificationFile()));
    ASSERT_NE(nullptr, window);
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(2, ExitCodeWithin(m_process, kStartLimitMs));
}

TEST_F(NotifierProcess, CloseCommandEndsWithZero) {
    for (const wchar_t* address : {L"command:close", L"command:||close|a||b|"}) {
        bool sawWindow = true;
        EXPECT_EQ(0, RunWithoutWindow(Quoted(address), sawWindow)) << Narrow(address);
    }
}

TEST_F(NotifierProcess, ExternalCommandOpensOnlyWebAddressesAndStaysOpen) {
    // Whatever opens an address appends it to a marker: the batch file, and
    // for a while the system's web handler.
    std::wstring marker = m_dir / L"opened.txt";
    std::wstring script = m_dir / L"open.bat";
    ASSERT_TRUE(WriteFileBytes(script, "@echo batch>> \"" + Narrow(marker) + "\"\r\n"));
    std::wstring handler = L"cmd.exe /c echo %1>> \"" + marker + L"\"";
    const wchar_t* keys[] = {L"Software\\Classes\\http\\shell\\open\\command",
                             L"Software\\Classes\\https\\shell\\open\\command"};
    for (const wchar_t* key : keys)
        ::SHSetValueW(HKEY_LOCAL_MACHINE, key, nullptr, REG_SZ, handler.c_str(),
                      static_cast<DWORD>((handler.size() + 1) * sizeof(wchar_t)));

    std::wstring fileUrl = L"file:///" + script;
    std::replace(fileUrl.begin(), fileUrl.end(), L'\\', L'/');
    std::string opened;
    for (const std::wstring& address : {script, fileUrl, std::wstring(L"https://127.0.0.1/a"),
                                        std::wstring(L"HTTP://EXAMPLE.COM/B")}) {
        HWND window = StartAndFindWindow(Quoted(L"command:external|" + address + L"|ignored"));
        ASSERT_NE(nullptr, window) << Narrow(address);
        if (address[0] == L'h' || address[0] == L'H') {
            EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(marker, opened) && opened.find(Narrow(address)) != std::string::npos; },
                                kStartLimitMs)) << Narrow(address);
        }
        EXPECT_EQ(-1000, ExitCodeWithin(m_process, 1000)) << Narrow(address);  // still open
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(2, ExitCodeWithin(m_process, kStartLimitMs)) << Narrow(address);
        TearDown();
        m_process = nullptr;
    }
    // Wine's own web handler back.
    std::wstring browser = L"\"C:\\windows\\system32\\winebrowser.exe\" \"%1\"";
    for (const wchar_t* key : keys)
        ::SHSetValueW(HKEY_LOCAL_MACHINE, key, nullptr, REG_SZ, browser.c_str(),
                      static_cast<DWORD>((browser.size() + 1) * sizeof(wchar_t)));
    // By now the batch file would long have run.
    ReadFileBytes(marker, opened);
    EXPECT_EQ(std::string::npos, opened.find("batch")) << opened;
}

TEST_F(NotifierProcess, OtherCommandsAndPrefixesKeepTheWindowOpen) {
    for (const wchar_t* address : {L"command:external", L"command:Close", L"command:bogus|x", L"Command:close"}) {
        HWND window = StartAndFindWindow(Quoted(address));
        ASSERT_NE(nullptr, window) << Narrow(address);
        // The address is handled before the window shows; it must still be up.
        EXPECT_EQ(-1000, ExitCodeWithin(m_process, 1000)) << Narrow(address);
        ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_EQ(2, ExitCodeWithin(m_process, kStartLimitMs)) << Narrow(address);
        TearDown();
        m_process = nullptr;
    }
}

// Without the system's control hosting the window still opens, empty, at its
// place, and Escape still closes it. A copy of the program under its own name
// gets a Wine setting that refuses it atl.dll.
TEST_F(NotifierProcess, WithoutControlHostingTheEmptyWindowStillCloses) {
    const wchar_t kName[] = L"notifier-noatl.exe";
    const std::wstring appKey = std::wstring(L"Software\\Wine\\AppDefaults\\") + kName;
    const std::wstring keyPath = appKey + L"\\DllOverrides";
    std::wstring copy = m_dir / kName;
    ASSERT_TRUE(CopyFileTo(DistPath(L"notifier.exe"), copy));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                               nullptr, &key, nullptr));
    ::RegSetValueExW(key, L"atl", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
    ::RegCloseKey(key);

    m_process = StartProcess(copy, Quoted(L"command:close"));
    HWND window = nullptr;
    WaitFor([&] { return (window = FindNotifierWindow(m_process)) != nullptr || !IsRunning(m_process); },
            kStartLimitMs);
    ::SHDeleteKeyW(HKEY_CURRENT_USER, appKey.c_str());
    ASSERT_NE(nullptr, window);

    HWND host = ::GetDlgItem(window, 1000);
    ASSERT_NE(nullptr, host);
    EXPECT_EQ(nullptr, ::GetWindow(host, GW_CHILD)) << "a browser was hosted all the same";
    RECT work;
    RECT rect;
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    ASSERT_TRUE(::GetWindowRect(window, &rect));
    EXPECT_EQ(work.right, rect.right);
    EXPECT_EQ(work.bottom, rect.bottom);

    // No browser, so the close command never arrives.
    EXPECT_EQ(-1000, ExitCodeWithin(m_process, 1000));
    ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(2, ExitCodeWithin(m_process, kStartLimitMs));
}

}  // namespace
