#pragma once

#include <string>

// Reads the whole file at path (a wide path, so that any name the file
// system can hold works) while letting others read, write, rename or delete
// it. False, with bytes untouched, when it can't be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);

// How reading a file that may be missing went.
enum class FileReadResult {
    kRead,     // bytes hold the whole file
    kAbsent,   // nothing is at the path (nor is its folder there)
    kFailed,   // something is there but could not be read: held open
               // without sharing, no access, a folder
};
// ReadWholeFile, telling a path with nothing at it from a file that is there
// but can't be read. bytes is set only for kRead.
FileReadResult ReadFileIfPresent(const std::wstring& path, std::string& bytes);
