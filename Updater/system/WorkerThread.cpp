#include "system/WorkerThread.h"

#include "common/ComInit.h"
#include "system/ProgressWatch.h"

// What the owner and its thread share; each holds a reference.
struct CWorkerThread::Channel {
    volatile LONG refs;
    UniqueHandle ready;     // auto-reset: work is set, or the thread is let go
    UniqueHandle finished;  // auto-reset: the work's Run has returned
    // Set by the owner before ready; taken by the thread, so that a piece
    // given up before the thread got to it still runs and is released.
    CWatchedWork* volatile work;
    volatile LONG letGo;    // the thread ends once it has no work

    void Release() {
        if (::InterlockedDecrement(&refs) == 0)
            delete this;
    }
};

CWorkerThread::CWorkerThread() : m_channel(nullptr) {}

CWorkerThread::~CWorkerThread() { LetGo(); }

DWORD WINAPI CWorkerThread::ThreadMain(void* param) {
    Channel* channel = static_cast<Channel*>(param);
    {
        ScopedComInit com;
        // Idle until the owner sets work or lets the thread go. Not a wait
        // without end: the owner lets go when it is destroyed or gives up a
        // piece, and the thread is never waited for, so an idle thread holds
        // up nothing, not even the end of the process.
        while (::WaitForSingleObject(channel->ready.Get(), INFINITE) == WAIT_OBJECT_0) {
            CWatchedWork* work = static_cast<CWatchedWork*>(
                ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&channel->work),
                                             nullptr));
            if (work) {
                work->Run();
                work->Release();  // the reference Run gave this thread
                ::SetEvent(channel->finished.Get());
            }
            if (::InterlockedCompareExchange(&channel->letGo, 0, 0) != 0)
                break;
        }
    }
    channel->Release();
    return 0;
}

bool CWorkerThread::Start() {
    Channel* channel = new Channel;
    channel->refs = 2;  // the owner's and the thread's
    channel->work = nullptr;
    channel->letGo = 0;
    channel->ready.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    channel->finished.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    UniqueHandle thread;
    if (channel->ready && channel->finished)
        thread.Reset(::CreateThread(nullptr, 0, &CWorkerThread::ThreadMain, channel, 0, nullptr));
    if (!thread) {
        channel->refs = 1;
        channel->Release();
        return false;
    }
    // The thread is never waited for: it ends by itself when let go.
    m_channel = channel;
    return true;
}

void CWorkerThread::LetGo() {
    if (!m_channel)
        return;
    // Seen as soon as the thread is idle, now or after its piece.
    ::InterlockedExchange(&m_channel->letGo, 1);
    ::SetEvent(m_channel->ready.Get());
    m_channel->Release();
    m_channel = nullptr;
}

CWatchedWork::End CWorkerThread::Run(CWatchedWork* work, const ProgressLimits& limits) {
    // Without a whole time the watch could wait for ever, and so could the
    // work for its abandon event.
    if (limits.wholeMs == 0 || (!m_channel && !Start()))
        return CWatchedWork::kNotStarted;
    const DWORD start = ::GetTickCount();
    work->Start(start);
    work->AddRef();  // the thread's, released there after Run
    ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_channel->work), work);
    ::SetEvent(m_channel->ready.Get());

    CProgressWatch watch(limits, start);
    CProgressWatch::Verdict verdict;
    for (;;) {
        DWORD mark = 0;
        uint64_t received = 0;
        work->ReadProgress(mark, received);
        uint32_t wait = 0;
        verdict = watch.Look(::GetTickCount(), mark, received, wait);
        if (verdict != CProgressWatch::kGoOn)
            break;
        DWORD r = ::WaitForSingleObject(m_channel->finished.Get(), wait);
        if (r == WAIT_OBJECT_0)
            return CWatchedWork::kFinished;
        if (r != WAIT_TIMEOUT) {
            verdict = CProgressWatch::kSilent;  // can't be watched: not waited for
            break;
        }
    }
    if (!work->AbandonUnlessFinished(m_channel->finished.Get()))
        return CWatchedWork::kFinished;
    // The thread is busy with the given-up work until that ends itself (or
    // its blocking call returns); later work gets a thread of its own.
    LetGo();
    return verdict == CProgressWatch::kTooSlow ? CWatchedWork::kTooSlow : CWatchedWork::kSilent;
}
