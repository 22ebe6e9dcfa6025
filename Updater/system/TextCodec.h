#pragma once

#include <cstddef>
#include <cwchar>
#include <string>

// Conversion between 8-bit text and wide (UTF-16 on Windows) text. The
// Windows build uses the system's code page tables; the host build has a
// portable stand-in in which the ANSI code page is UTF-8.

enum class CodePage {
    Utf8,        // UTF-8
    ThreadAnsi,  // the calling thread's ANSI code page
};

// Converts count bytes (stopping early at none) to wide text: exactly the
// converted characters, no terminator; empty when nothing converts.
std::wstring BytesToWide(const char* bytes, size_t count, CodePage codePage);

// Converts count wide characters to bytes in the code page; characters the
// code page lacks become its default character. Empty on failure.
std::string WideToBytes(const wchar_t* text, size_t count, CodePage codePage);

// The text up to its first terminator in UTF-8; empty when it can't be
// converted.
inline std::string WideToUtf8(const std::wstring& text) {
    return WideToBytes(text.c_str(), std::wcslen(text.c_str()), CodePage::Utf8);
}
