#pragma once

#include <string>

// The text in UTF-8, up to its first terminator; empty when it can't be
// converted.
std::string WideToUtf8(const std::wstring& text);
