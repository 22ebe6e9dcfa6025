// A stand-in for the programs the Updater starts (installers, clean-up
// programs, the Notifier). Each run appends one line to the file named by the
// environment variable QM_RECORD, which the Updater passes on to everything it
// starts:
//   <own file name> TAB <command line> TAB <working folder> TAB <account> [TAB extra]...
// Extras:
//   notification=<content>   the file named by -notificationfile="..." as it
//                            is while the program runs (or notification-missing)
//   reg=<text>               the REG_SZ value named by QM_RECORD_REGVALUE
//                            ("HKCU\key|name") at that moment, or reg-absent
//   desktop=<name>           the desktop its starter asked for, when one
//   temp=<TEMP>|<TMP>        its temporary folders, when it acts as an installer
// When the command line holds /verysilent, it also acts as an installer:
//   QM_INSTALL_DIR           folder created with a file installed.txt in it
//   QM_INSTALL_REGSET        "HKCU\key|name|text": a REG_SZ value written
//   QM_INSTALL_ADDPRODUCT    "<Updater.exe>|<product description file>": registers
//                            the installed version as a real installer does,
//                            with <Updater.exe> -runmode=addproduct -info=<file>
//   QM_INSTALL_REGISTER      a products file: when it exits with success, the
//                            version attribute of its product's entry there
//                            becomes the version of its own file name, as a
//                            registration of the installed version leaves it
//   QM_HOLD                  waits (at most two minutes) until this file exists
//   QM_INSTALL_KILL_PARENT   non-empty: last of all, terminates the program
//                            that started it (exit code 9), as a crash or a
//                            restart of Windows would end the Updater
//   QM_INSTALL_CHILD         starts this program with -sleep and leaves it running
//   QM_INSTALL_SLEEP         then stays alive for this many milliseconds
//   QM_INSTALL_EXIT          and exits with this code
// These three, QM_INSTALL_REGSET, QM_INSTALL_ADDPRODUCT and QM_INSTALL_REGISTER are looked up first with "_<intname>" appended, the intname
// taken from the installer's name Setup_<intname>-<version>.exe.
// In any mode, before the installer's work:
//   QM_CHILD_<own file name> "<program>|<ms>[|away]": starts program with
//                            -linger=<ms> and leaves it running, created
//                            breaking away from its job when "away" is given
//   QM_STAY_<own file name>  <ms>: stays alive that long before it ends
// With -sleep it just stays alive for two minutes, a process to be killed.
// With -linger=<ms> it stays alive that long, then records itself once more
// with the extra "ended" (and the reg= extra of that moment).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t buffer[2048];
    DWORD n = ::GetEnvironmentVariableW(name, buffer, 2048);
    return n > 0 && n < 2048 ? std::wstring(buffer, n) : std::wstring();
}

std::string Utf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                          nullptr, nullptr);
    return out;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t sep) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(sep, start);
        parts.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
        if (end == std::wstring::npos)
            return parts;
        start = end + 1;
    }
}

// "HKCU\Software\X" -> root and sub-path.
bool ParseKey(const std::wstring& full, HKEY& root, std::wstring& path) {
    size_t slash = full.find(L'\\');
    std::wstring head = full.substr(0, slash);
    if (head == L"HKCU")
        root = HKEY_CURRENT_USER;
    else if (head == L"HKLM")
        root = HKEY_LOCAL_MACHINE;
    else
        return false;
    path = slash == std::wstring::npos ? std::wstring() : full.substr(slash + 1);
    return true;
}

std::string ReadWholeFile(const std::wstring& path, bool& found) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    found = f != INVALID_HANDLE_VALUE;
    std::string bytes;
    if (!found)
        return bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(f, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    ::CloseHandle(f);
    return bytes;
}

void AppendRecord(const std::string& line) {
    std::wstring path = Env(L"QM_RECORD");
    if (path.empty())
        return;
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE f = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                 OPEN_ALWAYS, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            ::CloseHandle(f);
            return;
        }
        ::Sleep(25);
    }
}

std::string RegistryExtra() {
    std::vector<std::wstring> target = Split(Env(L"QM_RECORD_REGVALUE"), L'|');
    HKEY root;
    std::wstring path;
    if (target.size() != 2 || !ParseKey(target[0], root, path))
        return std::string();
    wchar_t data[1024] = {0};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    HKEY key;
    std::string extra = "\treg-absent";
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        if (::RegQueryValueExW(key, target[1].c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data),
                               &size) == ERROR_SUCCESS)
            extra = "\treg=" + Utf8(data);
        ::RegCloseKey(key);
    }
    return extra;
}

std::string NotificationExtra(const std::wstring& commandLine) {
    const std::wstring option = L"-notificationfile=\"";
    size_t at = commandLine.find(option);
    if (at == std::wstring::npos)
        return std::string();
    size_t start = at + option.size();
    size_t end = commandLine.find(L'"', start);
    bool found = false;
    std::string content = ReadWholeFile(commandLine.substr(start, end - start), found);
    return found ? "\tnotification=" + content : "\tnotification-missing";
}

void KillParent() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    DWORD parent = 0;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == ::GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    ::CloseHandle(snapshot);
    HANDLE process = parent ? ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, parent) : nullptr;
    if (!process)
        return;
    ::TerminateProcess(process, 9);
    ::WaitForSingleObject(process, 10000);
    ::CloseHandle(process);
}

// Runs program with commandLine and waits (at most a minute) until it ends.
void RunAndWait(const std::wstring& program, std::wstring commandLine) {
    STARTUPINFOW si;
    ::ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi))
        return;
    ::WaitForSingleObject(pi.hProcess, 60000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
}

// The installer's variable for this product, else the plain one.
std::wstring InstallerEnv(const std::wstring& name, const std::wstring& exeName) {
    size_t dash = exeName.rfind(L'-');
    if (exeName.compare(0, 6, L"Setup_") == 0 && dash != std::wstring::npos && dash > 6) {
        std::wstring own = Env((name + L"_" + exeName.substr(6, dash - 6)).c_str());
        if (!own.empty())
            return own;
    }
    return Env(name.c_str());
}

// Starts program with the arguments, leaving it running; false when it can't.
bool StartChild(const std::wstring& program, const std::wstring& arguments, DWORD flags) {
    std::wstring line = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW si;
    ::ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, flags, nullptr,
                          nullptr, &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

// The child that QM_CHILD_<exeName> asks for.
void StartLingeringChild(const std::wstring& exeName) {
    std::vector<std::wstring> child = Split(Env((L"QM_CHILD_" + exeName).c_str()), L'|');
    if (child.size() < 2 || child[0].empty())
        return;
    DWORD flags = child.size() > 2 && child[2] == L"away" ? CREATE_BREAKAWAY_FROM_JOB : 0;
    // Under Wine a new process now and then dies before its first
    // instruction, and its start fails with ERROR_INTERNAL_ERROR (seen once in
    // a busy run). What the tests watch is where the child runs, not that.
    DWORD error = ERROR_INTERNAL_ERROR;
    for (int attempt = 0; attempt < 3 && error == ERROR_INTERNAL_ERROR; ++attempt)
        error = StartChild(child[0], L"-linger=" + child[1], flags) ? 0 : ::GetLastError();
    if (error != 0)
        AppendRecord(Utf8(exeName) + "\tchild-not-started " + std::to_string(error) + "\n");
}

// Sets the version of the product named in "Setup_<intname>-<version>.exe"
// in the products file, in the element's own text.
void RegisterVersion(const std::wstring& productsFile, const std::wstring& exeName) {
    const size_t dash = exeName.rfind(L'-'), dot = exeName.rfind(L'.');
    if (exeName.compare(0, 6, L"Setup_") != 0 || dash == std::wstring::npos || dot < dash)
        return;
    const std::string intname = Utf8(exeName.substr(6, dash - 6));
    const std::string version = Utf8(exeName.substr(dash + 1, dot - dash - 1));
    bool found = false;
    std::string products = ReadWholeFile(productsFile, found);
    for (size_t at = products.find("<product "); at != std::string::npos;
         at = products.find("<product ", at + 1)) {
        const size_t end = products.find('>', at);
        const size_t name = products.find(" intname='" + intname + "'", at);
        const size_t value = products.find(" version='", at);
        if (name > end || value > end)
            continue;
        const size_t start = value + 10, stop = products.find('\'', start);
        products.replace(start, stop - start, version);
        HANDLE f = ::CreateFileW(productsFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 0, nullptr);
        DWORD written = 0;
        if (f != INVALID_HANDLE_VALUE) {
            ::WriteFile(f, products.data(), static_cast<DWORD>(products.size()), &written, nullptr);
            ::CloseHandle(f);
        }
        return;
    }
}

void ActAsInstaller(const std::wstring& exeName) {
    std::wstring dir = Env(L"QM_INSTALL_DIR");
    if (!dir.empty()) {
        ::CreateDirectoryW(dir.c_str(), nullptr);
        HANDLE f = ::CreateFileW((dir + L"\\installed.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE)
            ::CloseHandle(f);
    }
    std::vector<std::wstring> set = Split(InstallerEnv(L"QM_INSTALL_REGSET", exeName), L'|');
    HKEY root;
    std::wstring path;
    if (set.size() == 3 && ParseKey(set[0], root, path)) {
        HKEY key;
        if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr) == ERROR_SUCCESS) {
            ::RegSetValueExW(key, set[1].c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(set[2].c_str()),
                             static_cast<DWORD>((set[2].size() + 1) * sizeof(wchar_t)));
            ::RegCloseKey(key);
        }
    }
    std::vector<std::wstring> add = Split(InstallerEnv(L"QM_INSTALL_ADDPRODUCT", exeName), L'|');
    if (add.size() == 2)
        RunAndWait(add[0], L"\"" + add[0] + L"\" -runmode=addproduct -info=\"" + add[1] + L"\"");
    std::wstring child = InstallerEnv(L"QM_INSTALL_CHILD", exeName);
    if (!child.empty())
        StartChild(child, L"-sleep", 0);
    ::Sleep(static_cast<DWORD>(_wtoi(InstallerEnv(L"QM_INSTALL_SLEEP", exeName).c_str())));
    std::wstring hold = Env(L"QM_HOLD");
    for (int i = 0; !hold.empty() && i < 2400; ++i) {
        if (::GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES)
            break;
        ::Sleep(50);
    }
    const int exitCode = _wtoi(InstallerEnv(L"QM_INSTALL_EXIT", exeName).c_str());
    const std::wstring products = InstallerEnv(L"QM_INSTALL_REGISTER", exeName);
    if (!products.empty() && (exitCode == 0 || exitCode == 3010 || exitCode == 1641))
        RegisterVersion(products, exeName);
    if (!Env(L"QM_INSTALL_KILL_PARENT").empty())
        KillParent();
}

}  // namespace

int wmain() {
    std::wstring commandLine = ::GetCommandLineW();
    wchar_t exe[MAX_PATH] = {0};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring exeName = exe;
    exeName = exeName.substr(exeName.find_last_of(L'\\') + 1);
    wchar_t cwd[MAX_PATH] = {0};
    ::GetCurrentDirectoryW(MAX_PATH, cwd);
    wchar_t user[257] = {0};
    DWORD userSize = 257;
    ::GetUserNameW(user, &userSize);

    STARTUPINFOW startup;
    ::GetStartupInfoW(&startup);
    std::string desktop = startup.lpDesktop && *startup.lpDesktop ? "\tdesktop=" + Utf8(startup.lpDesktop) : "";

    std::string temp = commandLine.find(L"/verysilent") != std::wstring::npos
                           ? "\ttemp=" + Utf8(Env(L"TEMP")) + "|" + Utf8(Env(L"TMP"))
                           : "";

    std::string line = Utf8(exeName) + "\t" + Utf8(commandLine) + "\t" + Utf8(cwd) + "\t" +
                       Utf8(user) + NotificationExtra(commandLine) + RegistryExtra() + desktop +
                       temp + "\n";
    AppendRecord(line);
    StartLingeringChild(exeName);

    bool installer = commandLine.find(L"/verysilent") != std::wstring::npos;
    if (installer)
        ActAsInstaller(exeName);
    if (commandLine.find(L"-sleep") != std::wstring::npos)
        ::Sleep(120000);
    ::Sleep(static_cast<DWORD>(_wtoi(Env((L"QM_STAY_" + exeName).c_str()).c_str())));
    size_t linger = commandLine.find(L"-linger=");
    if (linger != std::wstring::npos) {
        ::Sleep(static_cast<DWORD>(_wtoi(commandLine.c_str() + linger + 8)));
        AppendRecord(Utf8(exeName) + "\t" + Utf8(commandLine) + "\t" + Utf8(cwd) + "\t" +
                     Utf8(user) + RegistryExtra() + "\tended\n");
    }
    return installer ? _wtoi(InstallerEnv(L"QM_INSTALL_EXIT", exeName).c_str()) : 0;
}
