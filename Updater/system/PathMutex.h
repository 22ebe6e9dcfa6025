#pragma once

#include "common/Handles.h"

#include <string>

// Which processes a path mutex keeps apart.
enum class MutexScope {
    Session,      // those of the current session
    AllSessions,  // those of every session of the machine
};

// Holds, for its lifetime, a named mutex derived from a file's path, so that
// processes that change the same file take turns. The name ignores the
// letter case of the path. The mutex is recursive: a thread that holds it
// may take it again.
class CPathMutex {
public:
    // prefix distinguishes the users of the mutex ("quillmarrow_products_");
    // waits up to timeoutMs. A holder that ended without releasing the mutex
    // does not block the next one. With AllSessions, a mutex of that name
    // that another account made (anyone may make one, to block us) is
    // neither waited for nor held.
    CPathMutex(const wchar_t* prefix, const std::wstring& path, DWORD timeoutMs,
               MutexScope scope = MutexScope::Session);
    CPathMutex(const CPathMutex&) = delete;
    CPathMutex& operator=(const CPathMutex&) = delete;

    // True when the wait gave ownership.
    bool Held() const { return m_lock.Held(); }
    // True when the mutex is this account's and another holder kept it
    // through the whole wait; false when held, and when it could not be
    // made or was another account's.
    bool HeldByAnother() const { return m_heldByAnother; }

private:
    UniqueHandle m_mutex;
    MutexLock m_lock;
    bool m_heldByAnother = false;
};
