#pragma once

#include "common/Handles.h"

#include <string>

// A downloaded file kept where nobody else can swap it: in a new folder of
// its own with a name nobody can predict (system/Leftovers.h: "qmstage-",
// the process id, 32 random hexadecimal digits), the folder held open so that it
// can't be renamed or removed, and, once locked, the file held open so that
// nobody can write or delete it. Destroying the object closes both and
// removes the folder with everything in it, trying for up to 2 s; a folder
// that stays (a program still holds a file in it) is logged.
class CStagedFile {
public:
    CStagedFile() {}
    ~CStagedFile();
    CStagedFile(const CStagedFile&) = delete;
    CStagedFile& operator=(const CStagedFile&) = delete;

    // Creates the folder under parent (always a new one; a name that exists
    // is never reused) for a file named fileName. restricted: the folder's
    // access list grants only the local system account and the
    // Administrators group, nothing inherited. False when no folder could be
    // created; a second call on the same object fails.
    bool Create(const std::wstring& parent, const std::wstring& fileName, bool restricted);
    // The folder and the file's full path; empty before Create.
    const std::wstring& Folder() const { return m_folder; }
    const std::wstring& Path() const { return m_path; }
    // Opens the file for reading while denying everyone else writing and
    // deleting it; fails when another program holds it open for that.
    bool Lock();
    // The locked file's handle; null before a successful Lock.
    void* File() const { return m_file ? m_file.Get() : nullptr; }
    // Creates a new folder named name inside the staging folder, with the
    // staging folder's access list; its path, or empty when it could not be
    // created (also when it existed already). It goes with the staging
    // folder.
    std::wstring CreateSubfolder(const std::wstring& name) const;

private:
    std::wstring m_folder;
    std::wstring m_path;
    UniqueFile m_folderHandle;
    UniqueFile m_file;
};
