#include "system/PathMutex.h"

#include "common/TextNumbers.h"

#include <aclapi.h>

namespace {

// True when the object's owner is the owner this process gives the objects
// it makes: the object was made by this account. Windows gives every object
// an owner; an object without one (Wine leaves objects made without a
// security descriptor unowned) counts as this account's.
bool MadeByThisAccount(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    UniqueLocalMem heldDescriptor(descriptor);
    if (!owner)
        return true;
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put()))
        return false;
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenOwner, nullptr, 0, &size);
    if (size == 0)
        return false;
    UniqueHeapMem buffer(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (!buffer || !::GetTokenInformation(token.Get(), TokenOwner, buffer.Get(), size, &size))
        return false;
    PSID ours = static_cast<TOKEN_OWNER*>(buffer.Get())->Owner;
    return ours && ::EqualSid(owner, ours);
}

UniqueHandle CreatePathMutex(const wchar_t* prefix, const std::wstring& path, MutexScope scope) {
    std::wstring lower(path);
    if (!lower.empty())
        ::CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    // A hash keeps the name short and free of backslashes whatever the path.
    // It needs no cryptographic digest: one from the cryptographic provider
    // costs milliseconds per mutex, twice in every change of a products file.
    std::wstring name = std::wstring(scope == MutexScope::AllSessions ? L"Global\\" : L"") +
                        prefix + HexText(Fnv1a64(lower, FnvUnit::CodeUnit), 16);
    UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, name.c_str()));
    // The name is the same for every account: one that someone else made
    // first is none of ours to wait for.
    if (mutex && scope == MutexScope::AllSessions && ::GetLastError() == ERROR_ALREADY_EXISTS &&
        !MadeByThisAccount(mutex.Get()))
        mutex.Reset();
    return mutex;
}

}  // namespace

CPathMutex::CPathMutex(const wchar_t* prefix, const std::wstring& path, DWORD timeoutMs,
                       MutexScope scope)
    : m_mutex(CreatePathMutex(prefix, path, scope)), m_lock(m_mutex.Get(), timeoutMs, true),
      m_heldByAnother(m_mutex && !m_lock.Held()) {}
