#include "testsupport/TestSupport.h"

#include "common/Handles.h"

#include <mstask.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

namespace testsupport {

namespace {

std::wstring FromUnixPath(const char* unixPath) {
    std::wstring path = L"Z:" + Widen(unixPath);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

}  // namespace

std::wstring DistPath(const wchar_t* name) { return FromUnixPath(QM_DIST_DIR) + L"\\" + name; }
std::wstring TestBinPath(const wchar_t* name) { return FromUnixPath(QM_TESTBIN_DIR) + L"\\" + name; }
std::wstring SourcePath(const wchar_t* relative) {
    std::wstring rel(relative);
    for (wchar_t& c : rel)
        if (c == L'/')
            c = L'\\';
    return FromUnixPath(QM_SOURCE_DIR) + L"\\" + rel;
}

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {0};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}

std::wstring TempFolder() {
    wchar_t path[MAX_PATH] = {0};
    DWORD n = ::GetTempPathW(MAX_PATH, path);
    std::wstring folder(path, n < MAX_PATH ? n : 0);
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

std::vector<std::wstring> StagedInstallerFolders(const std::string& intname) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW folder, file;
    HANDLE folders = ::FindFirstFileW((TempFolder() + L"\\*").c_str(), &folder);
    for (BOOL more = folders != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(folders, &folder)) {
        std::wstring path = TempFolder() + L"\\" + folder.cFileName;
        HANDLE files = ::FindFirstFileW((path + L"\\Setup_" + Widen(intname) + L"-*").c_str(), &file);
        if (files != INVALID_HANDLE_VALUE && folder.cFileName[0] != L'.')
            found.push_back(path);
        if (files != INVALID_HANDLE_VALUE)
            ::FindClose(files);
    }
    if (folders != INVALID_HANDLE_VALUE)
        ::FindClose(folders);
    return found;
}

TempDir::TempDir(const wchar_t* tag) {
    m_path = TempFolder() + L"\\qmtest-" + tag;
    RemoveTree(m_path);
    CreateFolders(m_path);
}

TempDir::~TempDir() { RemoveTree(m_path); }

bool RemoveTree(const std::wstring& path) {
    DWORD attrs = ::GetFileAttributesW(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES)
        return true;
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return ::DeleteFileW(path.c_str()) != 0;
    }
    WIN32_FIND_DATAW fd;
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name != L"." && name != L"..")
                RemoveTree(path + L"\\" + name);
        } while (::FindNextFileW(find, &fd));
        ::FindClose(find);
    }
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::RemoveDirectoryW(path.c_str()) != 0;
}

bool CreateFolders(const std::wstring& path) {
    int r = ::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    return r == ERROR_SUCCESS || r == ERROR_ALREADY_EXISTS || r == ERROR_FILE_EXISTS;
}

HANDLE StartProcess(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir) {
    std::wstring cmd = L"\"" + exe + L"\"";
    if (!args.empty())
        cmd += L" " + args;
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(exe.c_str(), buf.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workDir.empty() ? nullptr : workDir.c_str(), &si, &pi))
        return nullptr;
    // Wine starts a program of the machine it runs on (python3, sh) by
    // itself and reports success without a process handle; the thread
    // handle is then whatever its stack held, often a live handle of this
    // process (the cached HKEY_CURRENT_USER key among them), and must not
    // be closed.
    if (pi.hProcess)
        ::CloseHandle(pi.hThread);
    return pi.hProcess;
}

bool AnyProcessNamed(const std::wstring& exeName) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found;
         more = ::Process32NextW(snapshot, &entry))
        found = ::lstrcmpiW(entry.szExeFile, exeName.c_str()) == 0;
    ::CloseHandle(snapshot);
    return found;
}

int RunAndWait(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs, const std::wstring& workDir) {
    HANDLE process = StartProcess(exe, args, workDir);
    if (!process)
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process, &code);
    else
        ::TerminateProcess(process, 1);
    ::CloseHandle(process);
    return static_cast<int>(code);
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    bytes.clear();
    char buf[65536];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ::ReadFile(f, buf, sizeof buf, &read, nullptr) != 0) && read > 0)
        bytes.append(buf, read);
    ::CloseHandle(f);
    return ok;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    ::CloseHandle(f);
    return ok;
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to) {
    return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty())
        return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty())
        return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::string Hex(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", static_cast<unsigned>(value));
    return buf;
}

std::wstring UserLogPath() { return ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\updater.log"; }

std::string ResourceBytes(const std::wstring& file, const wchar_t* type, const wchar_t* name) {
    HMODULE module = ::LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return std::string();
    std::string bytes;
    HRSRC res = ::FindResourceW(module, name, type);
    if (res) {
        const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, res)));
        if (data)
            bytes.assign(data, ::SizeofResource(module, res));
    }
    ::FreeLibrary(module);
    return bytes;
}

namespace {

std::string VersionText(DWORD ms, DWORD ls) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", HIWORD(ms), LOWORD(ms), HIWORD(ls), LOWORD(ls));
    return buf;
}

std::string StringFileInfo(const std::vector<char>& block, const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT len = 0;
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!::VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &len) || !value)
        return "<missing>";
    return Narrow(value);
}

}  // namespace

bool ReadVersionInfo(const std::wstring& file, VersionInfo& info) {
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (size == 0)
        return false;
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, block.data()) ||
        !::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) || !fixed)
        return false;
    info.fileVersion = VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    info.productVersion = VersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    info.description = StringFileInfo(block, L"FileDescription");
    info.versionText = StringFileInfo(block, L"FileVersion");
    return true;
}

TaskFacts ReadTask(const std::wstring& name) {
    static const CLSID kClsidTaskScheduler = {
        0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
    static const IID kIidTaskScheduler = {
        0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
    static const IID kIidTask = {
        0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
    TaskFacts facts;
    ComPtr<ITaskScheduler> scheduler;
    ComPtr<ITask> task;
    if (FAILED(::CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                  kIidTaskScheduler, scheduler.PutVoid())) ||
        FAILED(scheduler->Activate(name.c_str(), kIidTask,
                                   reinterpret_cast<IUnknown**>(task.PutVoid()))))
        return facts;
    facts.found = true;
    LPWSTR text = nullptr;
    if (SUCCEEDED(task->GetApplicationName(&text))) {
        facts.application = text;
        ::CoTaskMemFree(text);
    }
    task->GetFlags(&facts.flags);
    WORD count = 0;
    task->GetTriggerCount(&count);
    for (WORD i = 0; i < count; ++i) {
        ComPtr<ITaskTrigger> trigger;
        TASK_TRIGGER t;
        ::ZeroMemory(&t, sizeof t);
        t.cbTriggerSize = sizeof t;
        if (SUCCEEDED(task->GetTrigger(i, trigger.Put())) && SUCCEEDED(trigger->GetTrigger(&t)))
            facts.minutes.push_back(t.wStartMinute);
    }
    return facts;
}

std::vector<std::string> LogMessages(const std::string& logBytes) {
    // A time stamp field is "DD-MM-YYYY HH:MM:SS\t" (20 bytes) followed by a space.
    std::vector<std::string> messages;
    std::string text = logBytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? logBytes.substr(3) : logBytes;
    auto isStampAt = [&](size_t i) {
        if (i + 21 > text.size())
            return false;
        static const char shape[] = "99-99-9999 99:99:99\t ";
        for (size_t k = 0; k < 21; ++k) {
            char c = text[i + k];
            if (shape[k] == '9' ? (c < '0' || c > '9') : c != shape[k])
                return false;
        }
        return true;
    };
    size_t i = 0;
    while (i < text.size()) {
        if (!isStampAt(i)) {
            ++i;
            continue;
        }
        size_t start = i + 21, next = start;
        while (next < text.size() && !isStampAt(next))
            ++next;
        messages.push_back(text.substr(start, next - start));
        i = next;
    }
    return messages;
}

namespace {

// The slot of the test program's import table through which its code calls
// the system function; null when the program doesn't import it.
void** ImportSlot(const char* function) {
    BYTE* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const IMAGE_IMPORT_DESCRIPTOR* dll =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         dll->Name != 0; ++dll) {
        const IMAGE_THUNK_DATA* name =
            reinterpret_cast<const IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal))
                continue;
            const IMAGE_IMPORT_BY_NAME* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slot->u1.Function);
        }
    }
    return nullptr;
}

}  // namespace

ImportPatch::ImportPatch(const char* function, void* replacement)
    : m_slot(ImportSlot(function)), m_original(m_slot ? *m_slot : nullptr) {
    Set(replacement);
}

ImportPatch::~ImportPatch() { Set(m_original); }

void ImportPatch::Set(void* value) {
    DWORD protection = 0;
    if (m_slot && ::VirtualProtect(m_slot, sizeof *m_slot, PAGE_READWRITE, &protection)) {
        *m_slot = value;
        ::VirtualProtect(m_slot, sizeof *m_slot, protection, &protection);
    }
}

}  // namespace testsupport
