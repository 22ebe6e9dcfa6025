#include "common/TextNumbers.h"

namespace {

const uint64_t kFnvOffset = 14695981039346656037ull;
const uint64_t kFnvPrime = 1099511628211ull;

uint64_t FnvStep(uint64_t hash, unsigned unit) {
    return (hash ^ unit) * kFnvPrime;
}

template <typename Text>
bool ParseDecimalDigits(const Text& text, uint64_t max, uint64_t& value) {
    if (text.empty())
        return false;
    uint64_t result = 0;
    for (auto c : text) {
        if (c < '0' || c > '9')
            return false;
        const unsigned digit = static_cast<unsigned>(c - '0');
        // Checked before it is taken, so that no count of digits can wrap.
        if (digit > max || result > (max - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

}  // namespace

char HexDigit(unsigned value) {
    return "0123456789abcdef"[value & 0xF];
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

std::wstring HexText(uint64_t value, int digits) {
    std::wstring text(digits > 0 ? static_cast<size_t>(digits) : 0, L'0');
    for (size_t i = text.size(); i > 0; --i, value >>= 4)
        text[i - 1] = static_cast<wchar_t>(HexDigit(static_cast<unsigned>(value)));
    return text;
}

std::wstring HexBytes(const unsigned char* bytes, size_t count) {
    std::wstring text;
    text.reserve(2 * count);
    for (size_t i = 0; i < count; ++i) {
        text += static_cast<wchar_t>(HexDigit(bytes[i] >> 4));
        text += static_cast<wchar_t>(HexDigit(bytes[i]));
    }
    return text;
}

void AppendHexBytes(std::string& out, const unsigned char* bytes, size_t count) {
    out.reserve(out.size() + 2 * count);
    for (size_t i = 0; i < count; ++i) {
        out += HexDigit(bytes[i] >> 4);
        out += HexDigit(bytes[i]);
    }
}

bool ParseHexBytes(const std::string& text, std::vector<unsigned char>& bytes) {
    if (text.size() % 2 != 0)
        return false;
    std::vector<unsigned char> read;
    read.reserve(text.size() / 2);
    for (size_t at = 0; at < text.size(); at += 2) {
        const int high = HexValue(static_cast<unsigned char>(text[at]));
        const int low = HexValue(static_cast<unsigned char>(text[at + 1]));
        if (high < 0 || low < 0)
            return false;
        read.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    bytes.swap(read);
    return true;
}

std::wstring DecimalText(unsigned long long value) {
    wchar_t digits[24];
    size_t at = sizeof digits / sizeof digits[0];
    do {
        digits[--at] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::wstring(digits + at, digits + sizeof digits / sizeof digits[0]);
}

bool ParseDecimal(const std::wstring& text, uint64_t max, uint64_t& value) {
    return ParseDecimalDigits(text, max, value);
}

bool ParseDecimal(const std::string& text, uint64_t max, uint64_t& value) {
    return ParseDecimalDigits(text, max, value);
}

uint64_t Fnv1a64(const std::wstring& text, FnvUnit unit) {
    uint64_t hash = kFnvOffset;
    for (wchar_t c : text) {
        const unsigned codeUnit = static_cast<uint16_t>(c);
        if (unit == FnvUnit::CodeUnit) {
            hash = FnvStep(hash, codeUnit);
        } else {
            hash = FnvStep(hash, codeUnit & 0xFF);
            hash = FnvStep(hash, codeUnit >> 8);
        }
    }
    return hash;
}
