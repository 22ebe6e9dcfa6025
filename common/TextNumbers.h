#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Numbers written as text: hexadecimal and decimal digits, and the hash that
// short names of longer texts are made of. Portable; none of these fails
// other than by its result.

// The lower-case hexadecimal digit of value's low four bits.
char HexDigit(unsigned value);

// The value of a hexadecimal digit in either case; -1 for any other
// character.
int HexValue(wchar_t c);

// The low 4 * digits bits of value as that many lower-case hexadecimal
// digits, most significant first.
std::wstring HexText(uint64_t value, int digits);

// The bytes as lower-case hexadecimal, two digits each, first byte first.
std::wstring HexBytes(const unsigned char* bytes, size_t count);
// The same, appended to out as ASCII.
void AppendHexBytes(std::string& out, const unsigned char* bytes, size_t count);

// The bytes written as pairs of hexadecimal digits (either case), first
// byte first; an empty text is no bytes. False, bytes untouched, for an odd
// count or any other character.
bool ParseHexBytes(const std::string& text, std::vector<unsigned char>& bytes);

// value in decimal digits, without sign or leading zeros. (The standard
// conversions would bring the C runtime's whole printf machinery into the
// programs.)
std::wstring DecimalText(unsigned long long value);

// The number that text writes in decimal digits and nothing else (at least
// one digit; no sign, no blanks), when it is at most max. False, value
// untouched, otherwise.
bool ParseDecimal(const std::wstring& text, uint64_t max, uint64_t& value);
bool ParseDecimal(const std::string& text, uint64_t max, uint64_t& value);

// What FNV-1a takes one at a time from a text's UTF-16 code units.
enum class FnvUnit {
    CodeUnit,      // each 16-bit code unit whole
    LittleEndian,  // each code unit's low byte, then its high byte
};

// The 64-bit FNV-1a hash of the text. Names of files and mutexes that
// already exist are made of it, so its result for a text never changes.
uint64_t Fnv1a64(const std::wstring& text, FnvUnit unit);
