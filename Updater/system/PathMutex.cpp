#include "system/PathMutex.h"

#include <cstdint>

namespace {

// FNV-1a over the UTF-16 code units, as 16 hex digits. The name needs no
// cryptographic digest, and one from the cryptographic provider costs
// milliseconds per mutex, twice in every change of a products file.
std::wstring PathHash(const std::wstring& text) {
    uint64_t h = 14695981039346656037ull;
    for (wchar_t c : text) {
        h ^= static_cast<uint16_t>(c);
        h *= 1099511628211ull;
    }
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring hex(16, L'0');
    for (int i = 15; i >= 0; --i, h >>= 4)
        hex[static_cast<size_t>(i)] = kDigits[h & 0xF];
    return hex;
}

UniqueHandle CreatePathMutex(const wchar_t* prefix, const std::wstring& path) {
    std::wstring lower(path);
    if (!lower.empty())
        ::CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    // A hash keeps the name short and free of backslashes whatever the path.
    std::wstring name = std::wstring(prefix) + PathHash(lower);
    return UniqueHandle(::CreateMutexW(nullptr, FALSE, name.c_str()));
}

}  // namespace

CPathMutex::CPathMutex(const wchar_t* prefix, const std::wstring& path, DWORD timeoutMs)
    : m_mutex(CreatePathMutex(prefix, path)), m_lock(m_mutex.Get(), timeoutMs, true) {}
