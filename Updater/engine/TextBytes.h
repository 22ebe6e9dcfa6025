#pragma once

#include <string>

// The text in UTF-8, up to its first terminator; empty when it can't be
// converted.
std::string WideToUtf8(const std::wstring& text);

// Writes bytes as the whole content of the file at path (created or
// truncated). A file that can't be created is left alone; nothing is
// reported.
void WriteBytesToFile(const std::wstring& path, const std::string& bytes);
