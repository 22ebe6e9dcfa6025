#include "system/PathMutex.h"

#include "system/TextNumbers.h"

namespace {

UniqueHandle CreatePathMutex(const wchar_t* prefix, const std::wstring& path) {
    std::wstring lower(path);
    if (!lower.empty())
        ::CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    // A hash keeps the name short and free of backslashes whatever the path.
    // It needs no cryptographic digest: one from the cryptographic provider
    // costs milliseconds per mutex, twice in every change of a products file.
    std::wstring name = std::wstring(prefix) + HexText(Fnv1a64(lower, FnvUnit::CodeUnit), 16);
    return UniqueHandle(::CreateMutexW(nullptr, FALSE, name.c_str()));
}

}  // namespace

CPathMutex::CPathMutex(const wchar_t* prefix, const std::wstring& path, DWORD timeoutMs)
    : m_mutex(CreatePathMutex(prefix, path)), m_lock(m_mutex.Get(), timeoutMs, true) {}
