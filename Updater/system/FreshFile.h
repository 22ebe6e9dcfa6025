#pragma once

#include "common/Handles.h"

#include <string>

// How writing a fresh file ended.
enum class FreshFileResult {
    Written,     // the file holds exactly the bytes given and is held open
    NotRemoved,  // what was at the path could not be removed
    NotCreated,  // the new file could not be created, written or read back
};

// A file written new for one reader at a path that others may write to (a
// folder shared by all users), and held unchanged while it is read. Nothing
// that was at the path is ever written through: a file, a link (of either
// kind) or an empty folder is removed itself, never what a link points to,
// and the new file is created only where nothing exists. The file gets the
// permissions its folder hands down. Never logs or throws.
class CFreshFile {
public:
    CFreshFile() {}
    CFreshFile(const CFreshFile&) = delete;
    CFreshFile& operator=(const CFreshFile&) = delete;

    // Removes what is at path, creates the file anew with bytes and keeps it
    // open so that others may read it but not change, rename or delete it
    // until Delete or the end of the object. A file that does not read back
    // exactly as written is deleted and counts as NotCreated. A file held
    // from an earlier Write is deleted first.
    FreshFileResult Write(const std::wstring& path, const std::string& bytes);

    // Lets go of the written file and deletes it; nothing when none is held.
    void Delete();

private:
    UniqueFile m_file;
    std::wstring m_path;
};
