#include "WatchedWork.h"

#include "ComInit.h"
#include "Handles.h"
#include "system/IdleTime.h"

CWatchedWork::CWatchedWork() : m_refs(1), m_lastProgress(0), m_abandoned(false) {
    ::InitializeCriticalSection(&m_lock);
}

CWatchedWork::~CWatchedWork() { ::DeleteCriticalSection(&m_lock); }

void CWatchedWork::AddRef() { ::InterlockedIncrement(&m_refs); }

void CWatchedWork::Release() {
    if (::InterlockedDecrement(&m_refs) == 0)
        delete this;
}

void CWatchedWork::Progress() {
    ::InterlockedExchange(&m_lastProgress, static_cast<LONG>(::GetTickCount()));
}

DWORD WINAPI CWatchedWork::ThreadMain(void* param) {
    CWatchedWork* work = static_cast<CWatchedWork*>(param);
    {
        ScopedComInit com;
        work->Run();
    }
    work->Release();
    return 0;
}

CWatchedWork::End CWatchedWork::RunWatched(unsigned long noProgressMs) {
    Progress();
    AddRef();  // the worker's reference
    UniqueHandle thread(::CreateThread(nullptr, 0, &CWatchedWork::ThreadMain, this, 0, nullptr));
    if (!thread) {
        Release();
        return kNotStarted;
    }
    for (;;) {
        DWORD mark = static_cast<DWORD>(::InterlockedCompareExchange(&m_lastProgress, 0, 0));
        DWORD idle = IdleMilliseconds(::GetTickCount(), mark);
        if (idle >= noProgressMs)
            break;
        DWORD r = ::WaitForSingleObject(thread.Get(), noProgressMs - idle);
        if (r == WAIT_OBJECT_0)
            return kFinished;
        if (r != WAIT_TIMEOUT)
            break;
    }
    ::EnterCriticalSection(&m_lock);
    // It may have ended just as the time ran out: then its results count.
    bool finished = ::WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0;
    if (!finished) {
        m_abandoned = true;
        OnAbandon();
    }
    ::LeaveCriticalSection(&m_lock);
    return finished ? kFinished : kAbandoned;
}
