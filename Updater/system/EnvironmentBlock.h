#pragma once

#include <string>
#include <vector>

// An environment block (variables "NAME=value", each ended by a zero, the
// whole ended by one more zero) as process creation takes it: a copy of
// block with TEMP and TMP (names compared without regard to letter case)
// set to folder and every other variable, hidden ones ("=C:=C:\\") included,
// kept in its place. block may be null or empty.
std::vector<wchar_t> EnvironmentWithTempFolder(const wchar_t* block, const std::wstring& folder);
