#include "system/FreshFile.h"

#include <climits>

namespace {

// Removes the entry at path itself: a file, a link (never its target) or an
// empty folder, clearing a read-only attribute first. True when nothing is
// left at path.
bool RemoveEntry(const std::wstring& path) {
    // DeleteFileW removes a link, not what it points to.
    if (::DeleteFileW(path.c_str()))
        return true;
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    // A junction or a link to a folder goes as an empty folder would.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return ::RemoveDirectoryW(path.c_str()) != 0;
    if (!(attributes & FILE_ATTRIBUTE_READONLY))
        return false;  // in use by a program that doesn't share deleting
    DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (!::SetFileAttributesW(path.c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL))
        return false;
    return ::DeleteFileW(path.c_str()) != 0;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    if (bytes.size() > static_cast<size_t>(UINT_MAX))
        return false;
    DWORD written = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// True when the file, read from its start, holds exactly bytes.
bool ReadsBackAs(HANDLE file, const std::string& bytes) {
    std::string content(bytes.size() + 1, '\0');
    size_t total = 0;
    for (;;) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(content.size() - total);
        if (want == 0 || !::ReadFile(file, &content[total], want, &got, nullptr))
            return false;
        if (got == 0)
            break;
        total += got;
    }
    content.resize(total);
    return content == bytes;
}

}  // namespace

FreshFileResult CFreshFile::Write(const std::wstring& path, const std::string& bytes) {
    Delete();
    if (!RemoveEntry(path))
        return FreshFileResult::NotRemoved;
    {
        // CREATE_NEW never opens what is there, and with the reparse flag a
        // link planted since the removal is not followed either: the create
        // fails instead. No one may open the file while it is written.
        UniqueFile created(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
        if (!created)
            return FreshFileResult::NotCreated;
        if (!WriteAll(created.Get(), bytes)) {
            created.Reset();
            ::DeleteFileW(path.c_str());
            return FreshFileResult::NotCreated;
        }
    }
    // Held with read access only, so that the reader can open it beside us,
    // and sharing only reading, so that nobody changes, renames or deletes it
    // meanwhile. Whatever slipped in between the two opens is caught by
    // reading the file back.
    UniqueFile held(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!held || !ReadsBackAs(held.Get(), bytes)) {
        held.Reset();
        ::DeleteFileW(path.c_str());
        return FreshFileResult::NotCreated;
    }
    m_file = std::move(held);
    m_path = path;
    return FreshFileResult::Written;
}

void CFreshFile::Delete() {
    if (!m_file)
        return;
    m_file.Reset();
    ::DeleteFileW(m_path.c_str());
    m_path.clear();
}
