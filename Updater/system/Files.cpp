#include "system/Files.h"

#include "common/Handles.h"
#include "system/Leftovers.h"

#include <shlwapi.h>

namespace {

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

bool IsProcessGone(uint32_t processId) {
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process)
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    return ::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0;
}

bool RemoveFile(const std::wstring& path) {
    return ::DeleteFileW(path.c_str()) != FALSE;
}

void RemoveStaleTemporarySiblings(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    const std::wstring base = path.substr(folder.size());
    for (const FolderEntry& entry : ListEntriesNamed(folder, base + L".", L".tmp")) {
        uint32_t maker = 0;
        if (entry.isFolder || !ReadSiblingName(entry.name, base, maker))
            continue;
        const LeftoverFacts facts = {true, !IsProcessGone(maker), maker == ::GetCurrentProcessId(),
                                     entry.ageSeconds};
        if (ShouldSweep(facts))
            ::DeleteFileW((folder + entry.name).c_str());
    }
}

std::vector<std::wstring> ListFilesNamed(const std::wstring& folder, const std::wstring& prefix,
                                         const std::wstring& suffix) {
    std::vector<std::wstring> files;
    for (const FolderEntry& entry : ListEntriesNamed(folder, prefix, suffix))
        if (!entry.isFolder)
            files.push_back(Prefix(folder) + entry.name);
    return files;
}

std::vector<FolderEntry> ListEntriesNamed(const std::wstring& folder, const std::wstring& prefix,
                                          const std::wstring& suffix) {
    std::vector<FolderEntry> entries;
    const std::wstring start = Prefix(folder);
    FILETIME nowTime;
    ::GetSystemTimeAsFileTime(&nowTime);
    const uint64_t now = (static_cast<uint64_t>(nowTime.dwHighDateTime) << 32) | nowTime.dwLowDateTime;
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((start + prefix + L"*" + suffix).c_str(), &entry));
    if (!find)
        return entries;
    do {
        // The pattern may also match through a file's short name; only the
        // long name counts.
        const size_t length = ::lstrlenW(entry.cFileName);
        if (IsDotEntry(entry.cFileName) || length < prefix.size() + suffix.size() ||
            ::StrCmpNIW(entry.cFileName, prefix.c_str(), static_cast<int>(prefix.size())) != 0 ||
            ::lstrcmpiW(entry.cFileName + length - suffix.size(), suffix.c_str()) != 0)
            continue;
        const uint64_t written = (static_cast<uint64_t>(entry.ftLastWriteTime.dwHighDateTime) << 32) |
                                 entry.ftLastWriteTime.dwLowDateTime;
        const uint64_t kTicksPerSecond = 10000000;
        entries.push_back(FolderEntry{entry.cFileName,
                                      (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                      written < now ? (now - written) / kTicksPerSecond : 0});
    } while (::FindNextFileW(find.Get(), &entry));
    return entries;
}
