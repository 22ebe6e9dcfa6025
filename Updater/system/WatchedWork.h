#pragma once

#include <windows.h>

// Work that may hang for ever (a network transfer to a server that stopped
// answering), done on a thread of its own and watched from the calling
// thread: when it reports no progress for a given time, the caller stops
// waiting for it. The thread can't be stopped from outside; it goes on until
// its blocking call returns (or the process ends), but from then on
// everything it would deliver is dropped. The object is reference counted
// because the worker may outlive the caller's interest in it.
class CWatchedWork {
public:
    enum End { kFinished, kAbandoned, kNotStarted };

    CWatchedWork();
    // Runs Run() on a new thread (COM initialised there as a single-threaded
    // apartment) and waits until it returns or until it has reported no
    // progress for noProgressMs (counted from the start and from each
    // Progress call). kAbandoned: OnAbandon has run, Deliver refuses from now
    // on. Call once.
    End RunWatched(unsigned long noProgressMs);

    void AddRef();
    // Destroys the object when the last reference is released.
    void Release();

    // From the worker: something arrived; the no-progress time starts anew.
    void Progress();

protected:
    virtual ~CWatchedWork();
    // The work itself, on the worker thread.
    virtual void Run() = 0;
    // On the calling thread when the work is given up, under the same lock
    // as Deliver: undo or release what delivered results hold.
    virtual void OnAbandon() {}

    // From the worker: runs deliver() under the lock unless the work was
    // given up; false when it was.
    template <typename F>
    bool Deliver(F deliver) {
        ::EnterCriticalSection(&m_lock);
        bool wanted = !m_abandoned;
        if (wanted)
            deliver();
        ::LeaveCriticalSection(&m_lock);
        return wanted;
    }

private:
    CWatchedWork(const CWatchedWork&) = delete;
    CWatchedWork& operator=(const CWatchedWork&) = delete;
    static DWORD WINAPI ThreadMain(void* work);

    volatile LONG m_refs;
    volatile LONG m_lastProgress;  // tick count of the last progress
    CRITICAL_SECTION m_lock;
    bool m_abandoned;
};
