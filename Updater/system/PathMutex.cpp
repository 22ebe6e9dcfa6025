#include "system/PathMutex.h"

#include "system/Md5.h"

namespace {

UniqueHandle CreatePathMutex(const wchar_t* prefix, const std::wstring& path) {
    std::wstring lower(path);
    if (!lower.empty())
        ::CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    // A digest keeps the name short and free of backslashes whatever the path.
    std::wstring name =
        std::wstring(prefix) + GetBufferMd5Hex(lower.data(), lower.size() * sizeof(wchar_t));
    return UniqueHandle(::CreateMutexW(nullptr, FALSE, name.c_str()));
}

}  // namespace

CPathMutex::CPathMutex(const wchar_t* prefix, const std::wstring& path, DWORD timeoutMs)
    : m_mutex(CreatePathMutex(prefix, path)), m_lock(m_mutex.Get(), timeoutMs, true) {}
