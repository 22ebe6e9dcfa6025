#pragma once

#include <string>

// Reads the whole file at path (a wide path, so that any name the file
// system can hold works) while letting others read, write, rename or delete
// it. False, with bytes untouched, when it can't be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);
