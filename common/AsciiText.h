#pragma once

#include <string>

// True when text begins with prefix, ASCII letters compared without regard to
// case. prefix is written in lower case ("http://"); other characters match
// only themselves, so no locale can make two addresses' schemes alike.
bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix);
