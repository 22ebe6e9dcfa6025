#pragma once

// Helpers for tests that run under Wine against real files, processes and
// programs of the build.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Windows path of a shipped program in the build's dist folder.
std::wstring DistPath(const wchar_t* name);
// Windows path of a program built only for the tests.
std::wstring TestBinPath(const wchar_t* name);
// Windows path of a file of the source tree, relative to the repository root.
std::wstring SourcePath(const wchar_t* relative);

// A fresh folder under the temporary folder, removed with its content at the
// end. Left-overs of an earlier run with the same tag are removed first.
class TempDir {
public:
    explicit TempDir(const wchar_t* tag);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

// Removes a folder tree (also read-only files); true when it is gone.
bool RemoveTree(const std::wstring& path);
bool CreateFolders(const std::wstring& path);

// Starts exe with the arguments text (the command line is "<exe>" args),
// waits up to timeoutMs and returns its exit code, or -1 when it could not be
// started or did not end in time (it is then terminated).
int RunAndWait(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs = 60000,
               const std::wstring& workDir = std::wstring());
// Starts exe and returns its process handle: null on failure, and for a
// program of the machine Wine runs on, which Wine starts without one.
HANDLE StartProcess(const std::wstring& exe, const std::wstring& args,
                    const std::wstring& workDir = std::wstring());

// Whether a process whose executable has this base name (letter case aside)
// is listed.
bool AnyProcessNamed(const std::wstring& exeName);

bool FileExists(const std::wstring& path);
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool CopyFileTo(const std::wstring& from, const std::wstring& to);

// Text conversions for assertions and messages.
std::string Narrow(const std::wstring& text);   // UTF-8
std::wstring Widen(const std::string& utf8);
std::string Hex(uint32_t value);                // "0x80004005"

// A shell folder (CSIDL_*), created when missing; empty on failure.
std::wstring ShellFolder(int csidl);
// The temporary folder, without a trailing backslash.
std::wstring TempFolder();
// Sub-folders of the temporary folder holding an installer of intname
// ("Setup_<intname>-*"), as the Updater stages them.
std::vector<std::wstring> StagedInstallerFolders(const std::string& intname);

// The folder where a per-user Updater writes its log.
std::wstring UserLogPath();

// The bytes of one resource of a program or DLL file (empty when missing).
std::string ResourceBytes(const std::wstring& file, const wchar_t* type, const wchar_t* name);

// What a file's version resource says: the fixed file and product versions
// as "a.b.c.d", and two texts of its US-English string table.
struct VersionInfo {
    std::string fileVersion;
    std::string productVersion;
    std::string description;  // FileDescription
    std::string versionText;  // FileVersion
};
bool ReadVersionInfo(const std::wstring& file, VersionInfo& info);

// What the Task Scheduler holds for a task.
struct TaskFacts {
    bool found = false;
    std::wstring application;
    DWORD flags = 0;
    std::vector<WORD> minutes;  // start minute of each trigger
};
// The task of that name as the Task Scheduler reads it (COM initialised on
// the calling thread); found is false when there is none.
TaskFacts ReadTask(const std::wstring& name);

// Polls condition every 50 ms until it holds or timeoutMs passed.
template <typename Pred>
bool WaitFor(Pred condition, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(50);
    }
}

// Splits a log's text (after its BOM) into the messages of its records: the
// text after each "<time stamp>\t " field, in file order.
std::vector<std::string> LogMessages(const std::string& logBytes);

// Sends the test program's own calls of a system function (those through its
// import table) to a replacement while it lives; a function the program
// doesn't import is left alone (Active() is false).
class ImportPatch {
public:
    ImportPatch(const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    bool Active() const { return m_slot != nullptr; }
    // The function the calls went to before.
    void* Original() const { return m_original; }

private:
    void Set(void* value);
    void** m_slot;
    void* m_original;
};

}  // namespace testsupport
