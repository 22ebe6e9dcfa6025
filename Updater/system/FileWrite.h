#pragma once

#include <string>

// The ways the Updater writes a file, each with one implementation:
//
// - Replaced durably (WriteFileDurably below): files that later runs read
//   again, such as the products files, the install failure counts and the
//   preserved-value journals. A crash or a power cut leaves the old file or
//   the new one, never a truncated or empty one.
// - Created fresh (CFreshFile, system/FreshFile.h): a file written for one
//   reader at a path that others may write to; it is never written through
//   what was there and is held unchanged while it is read. It holds the file
//   open, so it exists in the Windows build only.
// - Appended: nothing in the platform layer appends to a file; the log
//   appends to its own file itself.
//
// The Windows build implements these with the system's file functions; the
// host and fuzz builds have portable stand-ins (host/). None of them logs or
// throws.

// A name for a temporary file beside path, unique to this process:
// path + "." + process id in decimal + ".tmp".
std::wstring TemporarySiblingPath(const std::wstring& path);

// Replaces target with source in one step (source is renamed onto target,
// the rename itself written through to the disk), so that target is always
// either the old or the new file. While another program holds target open
// the replacement is retried for up to 2 s. A read-only target is never
// replaced. False, with both files as they were, on failure.
bool ReplaceFileWith(const std::wstring& source, const std::wstring& target);

// Writes the file whole or not at all: the bytes go to a temporary sibling
// (TemporarySiblingPath), are flushed to the disk and then replace path in
// one step (ReplaceFileWith). False, with path as it was and no temporary
// file left, on any failure.
bool WriteFileDurably(const std::wstring& path, const std::string& bytes);

// Removes the file at path, as a state file with nothing left in it is.
// True when nothing is at path afterwards (also when nothing was). A
// read-only file is not removed.
bool RemoveFileIfPresent(const std::wstring& path);
