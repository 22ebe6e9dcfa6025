#pragma once

#include "common/Handles.h"

#include <string>

// Holds, for its lifetime, a named mutex derived from a file's path, so that
// processes of the current session that change the same file take turns.
// The name ignores the letter case of the path. The mutex is recursive: a
// thread that holds it may take it again.
class CPathMutex {
public:
    // prefix distinguishes the users of the mutex ("quillmarrow_products_");
    // waits up to timeoutMs. A holder that ended without releasing the mutex
    // does not block the next one.
    CPathMutex(const wchar_t* prefix, const std::wstring& path, DWORD timeoutMs);
    CPathMutex(const CPathMutex&) = delete;
    CPathMutex& operator=(const CPathMutex&) = delete;

    // True when the wait gave ownership.
    bool Held() const { return m_lock.Held(); }

private:
    UniqueHandle m_mutex;
    MutexLock m_lock;
};
