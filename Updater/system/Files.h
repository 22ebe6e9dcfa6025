#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Files and folder trees. None of these logs or throws; failures end in
// false or an empty list.

// True when the path's attributes can be read (a folder counts as existing).
bool FileExists(const std::wstring& path);
// True when path is a folder (a linked one included).
bool IsFolder(const std::wstring& path);
// Full paths of the folder's immediate sub-folders, in enumeration order.
std::vector<std::wstring> ListSubfolders(const std::wstring& folder);
// Full paths of all files in the folder's tree, depth first, each folder's
// files and sub-trees in enumeration order. Linked folders (junctions and
// symbolic links) are not followed.
std::vector<std::wstring> ListFilesRecursive(const std::wstring& folder);
// True when the file can be opened for reading and writing while sharing
// everything: false for the image of a running program or a file another
// program holds open without write sharing.
bool IsFileFree(const std::wstring& path);
// True when every listed path that isn't a folder is free; paths that don't
// exist and folders are passed over. True for an empty list.
bool AreFilesFree(const std::vector<std::wstring>& paths);
// AreFilesFree of the folder's whole tree (true when the folder is missing).
bool IsFolderFree(const std::wstring& folder);
// True when path is a folder that is a link (a junction or a symbolic link:
// a reparse point).
bool IsFolderLink(const std::wstring& path);
// Removes the folder with everything in it; a folder that is itself a link
// is removed as a link, never entered. Stops at the first entry that
// can't be removed (a read-only file, a file in use) and returns false,
// leaving what was already removed removed. A linked folder inside the tree
// is removed as a link; what it points to is left alone.
bool DeleteFolderTree(const std::wstring& folder);
// Deletes the file; true when it was deleted.
bool RemoveFile(const std::wstring& path);
// Deletes the temporary siblings of path (TemporarySiblingPath of
// system/FileWrite.h: path + "." + process id + ".tmp") that a writer which
// ended before putting its file in place left: those whose process no
// longer exists, and any older than a day (ShouldSweep of
// system/Leftovers.h). Files of running or inaccessible processes stay.
// Call it only while holding the lock that guards path's writers.
void RemoveStaleTemporarySiblings(const std::wstring& path);
// Full paths of the files (not folders) in folder whose names begin with
// prefix and end with suffix (letter case ignored, as the file system does),
// in enumeration order.
std::vector<std::wstring> ListFilesNamed(const std::wstring& folder, const std::wstring& prefix,
                                         const std::wstring& suffix);

// One entry of a folder as a listing finds it.
struct FolderEntry {
    std::wstring name;
    bool isFolder;        // a linked folder included
    uint64_t ageSeconds;  // since it was last written; 0 for a time ahead
};
// The entries of folder whose names begin with prefix and end with suffix
// (letter case ignored, as the file system does; long names only), in
// enumeration order.
std::vector<FolderEntry> ListEntriesNamed(const std::wstring& folder, const std::wstring& prefix,
                                          const std::wstring& suffix);
// True when no process with that id exists. A process that may not be
// opened (another account's) counts as existing.
bool IsProcessGone(uint32_t processId);
