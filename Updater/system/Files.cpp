#include "system/Files.h"

#include "common/Handles.h"

#include <shlwapi.h>

namespace {

// True when no process with that id exists. A process that we may not open
// (another account's) counts as existing.
bool IsProcessGone(DWORD processId) {
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process)
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    return ::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0;
}

// The process id of a temporary sibling's name: prefix + digits + ".tmp";
// 0 when the name has another shape.
DWORD SiblingProcessId(const std::wstring& name, const std::wstring& prefix) {
    const std::wstring suffix = L".tmp";
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    const std::wstring digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > 10)
        return 0;
    unsigned long long id = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9')
            return 0;
        id = id * 10 + static_cast<unsigned>(c - L'0');
    }
    return id <= 0xFFFFFFFFull ? static_cast<DWORD>(id) : 0;
}

bool IsDotEntry(const wchar_t* name) {
    return ::lstrcmpW(name, L".") == 0 || ::lstrcmpW(name, L"..") == 0;
}

// The folder with a backslash added when missing (PathAddBackslashW rule).
std::wstring Prefix(const std::wstring& folder) {
    if (folder.empty() || folder.back() == L'\\')
        return folder;
    return folder + L"\\";
}

bool IsLinkedFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void CollectFiles(const std::wstring& folder, std::vector<std::wstring>& files) {
    const std::wstring prefix = Prefix(folder);
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((prefix + L"*").c_str(), &entry));
    if (!find)
        return;
    do {
        if (IsDotEntry(entry.cFileName))
            continue;
        std::wstring path = prefix + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!IsLinkedFolder(entry.dwFileAttributes))
                CollectFiles(path, files);
        } else {
            files.push_back(path);
        }
    } while (::FindNextFileW(find.Get(), &entry));
}

}  // namespace

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> ListSubfolders(const std::wstring& folder) {
    std::vector<std::wstring> folders;
    const std::wstring prefix = Prefix(folder);
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((prefix + L"*").c_str(), &entry));
    if (!find)
        return folders;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDotEntry(entry.cFileName))
            folders.push_back(prefix + entry.cFileName);
    } while (::FindNextFileW(find.Get(), &entry));
    return folders;
}

std::vector<std::wstring> ListFilesRecursive(const std::wstring& folder) {
    std::vector<std::wstring> files;
    CollectFiles(folder, files);
    return files;
}

bool IsFileFree(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid();
}

bool AreFilesFree(const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
        // The failure value has the directory bit set, so vanished paths are
        // passed over like folders.
        DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsFileFree(path))
            return false;
    }
    return true;
}

bool IsFolderFree(const std::wstring& folder) {
    return AreFilesFree(ListFilesRecursive(folder));
}

bool IsFolderLink(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && IsLinkedFolder(attributes);
}

bool DeleteFolderTree(const std::wstring& folder) {
    if (IsFolderLink(folder))
        return ::RemoveDirectoryW(folder.c_str()) != FALSE;
    const std::wstring prefix = folder + L"\\";
    const std::wstring pattern = prefix + L"*";
    if (pattern.size() >= MAX_PATH)
        return false;  // beyond the supported path length
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW(pattern.c_str(), &entry));
    if (!find)
        return false;
    // Every entry is examined, the first one too: it is "." on most file
    // systems, but not on all.
    for (bool more = true; more; more = ::FindNextFileW(find.Get(), &entry) != FALSE) {
        if (IsDotEntry(entry.cFileName))
            continue;
        const std::wstring path = prefix + entry.cFileName;
        if (IsLinkedFolder(entry.dwFileAttributes)) {
            if (!::RemoveDirectoryW(path.c_str()))
                return false;
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!DeleteFolderTree(path))
                return false;
            ::RemoveDirectoryW(path.c_str());
        } else if (!::DeleteFileW(path.c_str())) {
            return false;
        }
    }
    if (::GetLastError() != ERROR_NO_MORE_FILES)
        return false;
    find.Reset();
    return ::RemoveDirectoryW(folder.c_str()) != FALSE;
}

bool RemoveFile(const std::wstring& path) {
    return ::DeleteFileW(path.c_str()) != FALSE;
}

void RemoveStaleTemporarySiblings(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    const std::wstring prefix = path.substr(folder.size()) + L".";
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((path + L".*.tmp").c_str(), &entry));
    if (!find)
        return;
    std::vector<std::wstring> stale;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const DWORD id = SiblingProcessId(entry.cFileName, prefix);
        if (id != 0 && id != ::GetCurrentProcessId() && IsProcessGone(id))
            stale.push_back(folder + entry.cFileName);
    } while (::FindNextFileW(find.Get(), &entry));
    for (const std::wstring& file : stale)
        ::DeleteFileW(file.c_str());
}

std::vector<std::wstring> ListFilesNamed(const std::wstring& folder, const std::wstring& prefix,
                                         const std::wstring& suffix) {
    std::vector<std::wstring> files;
    const std::wstring start = Prefix(folder);
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((start + prefix + L"*" + suffix).c_str(), &entry));
    if (!find)
        return files;
    do {
        // The pattern may also match through a file's short name; only the
        // long name counts.
        const size_t length = ::lstrlenW(entry.cFileName);
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            length < prefix.size() + suffix.size() ||
            ::StrCmpNIW(entry.cFileName, prefix.c_str(), static_cast<int>(prefix.size())) != 0 ||
            ::lstrcmpiW(entry.cFileName + length - suffix.size(), suffix.c_str()) != 0)
            continue;
        files.push_back(start + entry.cFileName);
    } while (::FindNextFileW(find.Get(), &entry));
    return files;
}
