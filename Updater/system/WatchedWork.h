#pragma once

#include "common/Handles.h"

#include <windows.h>

#include <cstdint>

// Work that may hang for ever (a network transfer to a server that stopped
// answering or only trickles), done on a worker thread (WorkerThread.h) and
// watched from the calling thread: when its progress falls short of its
// limits, the caller stops waiting for it. The worker can't be stopped from
// outside: work that waits can also wait for its abandon event and end
// itself once that is set; other work goes on until its blocking call
// returns (or the process ends). Either way, from then on everything it would
// deliver is dropped. The object is reference counted because the worker may
// outlive the caller's interest.
class CWatchedWork {
public:
    // How a run ended: finished; given up for silence (kSilent) or for
    // progress too slow for the limits (kTooSlow); or never started.
    enum End { kFinished, kSilent, kTooSlow, kNotStarted };

    CWatchedWork();

    void AddRef();
    // Destroys the object when the last reference is released.
    void Release();

    // From the worker: something arrived; the silence starts anew. received
    // is how many bytes have arrived in all, as the caller counts them: the
    // rate is judged by the highest count reported.
    void Progress(uint64_t received = 0);

protected:
    virtual ~CWatchedWork();
    // The work itself, on the worker thread.
    virtual void Run() = 0;
    // On the calling thread when the work is given up, under the same lock
    // as Deliver: undo or release what delivered results hold.
    virtual void OnAbandon() {}

    // Set once the work is given up, so that a worker that waits can stop
    // at once; null when it could not be made.
    HANDLE AbandonEvent() const { return m_abandonEvent.Get(); }

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
    friend class CWorkerThread;
    CWatchedWork(const CWatchedWork&) = delete;
    CWatchedWork& operator=(const CWatchedWork&) = delete;

    // The time of the last progress (start counts as one) and the bytes
    // received since start.
    void Start(DWORD now);
    void ReadProgress(DWORD& lastProgress, uint64_t& received);
    // Gives the work up unless finished (signalled once Run has returned)
    // is set; true when it was given up.
    bool AbandonUnlessFinished(HANDLE finished);

    volatile LONG m_refs;
    CRITICAL_SECTION m_lock;
    // Under the lock:
    DWORD m_lastProgress;  // tick count of the last progress
    uint64_t m_received;
    bool m_abandoned;
    UniqueHandle m_abandonEvent;  // manual reset
};
