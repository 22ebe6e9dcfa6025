#pragma once

#include "common/Handles.h"
#include "system/ProgressWatch.h"
#include "system/WatchedWork.h"

// One thread that does watched work for its owner, one piece at a time, with
// COM initialised there as a single-threaded apartment. The thread is started
// by the first piece and serves every later one, so a run of transfers costs
// one thread. A piece that is given up keeps its thread, which ends once that
// piece's Run returns (at once for work that waits for its abandon event,
// WatchedWork.h); the next piece starts a new one. Used by one owning thread.
class CWorkerThread {
public:
    CWorkerThread();
    // An idle thread is told to end; a busy one ends after its piece.
    ~CWorkerThread();

    // Runs work->Run() on the worker thread and waits until it returns or
    // its progress falls short of limits (ProgressWatch.h). kSilent and
    // kTooSlow: OnAbandon has run, the abandon event is set, and the work
    // delivers nothing from now on. Every run ends: limits without a whole
    // time (wholeMs 0) are not run, and neither is anything when no thread
    // could be started (both kNotStarted). So work that waits for its
    // abandon event without a time limit of its own waits at most wholeMs.
    CWatchedWork::End Run(CWatchedWork* work, const ProgressLimits& limits);

private:
    struct Channel;
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    static DWORD WINAPI ThreadMain(void* channel);
    bool Start();
    // Lets the thread go: it ends once it is idle.
    void LetGo();

    Channel* m_channel;  // shared with the thread; null without one
};
