#pragma once

#include <string>

// Creates the file at path for writing (an existing file is truncated; no
// other opener may share it while it is written) and writes all bytes with
// one write call. False when the file can't be created or the write fails;
// a partly written file is left as it is.
bool CreateAndWriteFile(const std::wstring& path, const std::string& bytes);
