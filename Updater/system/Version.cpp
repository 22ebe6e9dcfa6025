#include "system/Version.h"

#include <cstdint>
#include <utility>

namespace {

// The next dot-separated field at pos; moves pos past the field and the dot
// after it. Empty when only dots (or nothing) are left.
std::wstring NextField(const std::wstring& text, size_t& pos) {
    while (pos < text.size() && text[pos] == L'.')
        ++pos;
    size_t end = text.find(L'.', pos);
    if (end == std::wstring::npos)
        end = text.size();
    std::wstring field = text.substr(pos, end - pos);
    pos = end < text.size() ? end + 1 : end;
    return field;
}

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// Base-10 string-to-long on a 32-bit long: leading white space, an optional
// sign, digits up to the first non-digit; saturates outside the range.
int32_t FieldValue(const std::wstring& field) {
    size_t i = 0;
    while (i < field.size() && IsSpace(field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == L'+' || field[i] == L'-')) {
        negative = field[i] == L'-';
        ++i;
    }
    int64_t value = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    for (; i < field.size() && field[i] >= L'0' && field[i] <= L'9'; ++i) {
        value = value * 10 + (field[i] - L'0');
        if (value > limit)
            value = limit;  // saturated; keep consuming digits
    }
    return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

int CompareVersions(std::wstring a, std::wstring b) {
    size_t posA = 0;
    size_t posB = 0;
    for (;;) {
        std::wstring fieldA = NextField(a, posA);
        std::wstring fieldB = NextField(b, posB);
        int32_t valueA = FieldValue(fieldA);
        int32_t valueB = FieldValue(fieldB);
        if (valueA > valueB)
            return 1;
        if (valueA < valueB)
            return -1;
        if (fieldA.empty() || fieldB.empty())
            return 0;
    }
}

bool IsVersionLess(std::wstring a, std::wstring b) {
    return CompareVersions(std::move(a), std::move(b)) == -1;
}

bool IsVersionGreater(std::wstring a, std::wstring b) {
    return CompareVersions(std::move(a), std::move(b)) == 1;
}
