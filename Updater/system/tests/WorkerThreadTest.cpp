#include "common/Handles.h"
#include "system/WorkerThread.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Work that reports progress of bytesPerStep every stepMs for steps steps (or
// until released when steps is 0), then delivers the thread it ran on.
class StepWork : public CWatchedWork {
public:
    StepWork(int steps, DWORD stepMs, uint64_t bytesPerStep)
        : m_steps(steps), m_stepMs(stepMs), m_bytes(bytesPerStep), m_thread(0), m_abandons(0),
          m_delivered(false), m_release(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_ended(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    DWORD Thread() const { return m_thread; }
    int Abandons() const { return m_abandons; }
    // Ends a work without a step count.
    void ReleaseWork() { ::SetEvent(m_release.Get()); }
    // Waits until Run has returned; whether its delivery was taken.
    bool WaitForEnd(bool& delivered) {
        if (::WaitForSingleObject(m_ended.Get(), 10000) != WAIT_OBJECT_0)
            return false;
        delivered = m_delivered;
        return true;
    }

private:
    void Run() override {
        for (int i = 0; m_steps == 0 || i < m_steps; ++i) {
            if (::WaitForSingleObject(m_release.Get(), m_stepMs) == WAIT_OBJECT_0)
                break;
            Progress(m_bytes * (i + 1));
        }
        DWORD self = ::GetCurrentThreadId();
        m_delivered = Deliver([&] { m_thread = self; });
        ::SetEvent(m_ended.Get());
    }
    void OnAbandon() override { ++m_abandons; }

    int m_steps;
    DWORD m_stepMs;
    uint64_t m_bytes;
    DWORD m_thread;
    int m_abandons;
    bool m_delivered;
    UniqueHandle m_release, m_ended;
};

const char* EndName(CWatchedWork::End end) {
    switch (end) {
    case CWatchedWork::kFinished: return "finished";
    case CWatchedWork::kSilent: return "silent";
    case CWatchedWork::kTooSlow: return "too slow";
    case CWatchedWork::kNotStarted: return "not started";
    }
    return "?";
}

struct WorkCase {
    const char* what;
    int steps;  // 0: until released
    DWORD stepMs;
    uint64_t bytesPerStep;
    ProgressLimits limits;
    CWatchedWork::End end;
};

// Each case runs on the worker of the one before: a finished piece leaves
// its thread to the next, a given-up one does not.
TEST(WorkerThread, OneThreadServesTheWorkUntilAPieceIsGivenUp) {
    // A second of silence: the first piece also waits for its thread to
    // start, which under Wine on a busy machine takes some hundred ms.
    const WorkCase cases[] = {
        {"quick", 1, 0, 0, {1000, 30000, 0, 0}, CWatchedWork::kFinished},
        {"longer than the silence, never silent", 40, 50, 0, {1000, 30000, 0, 0},
         CWatchedWork::kFinished},
        {"silent", 0, 10000, 0, {1000, 30000, 0, 0}, CWatchedWork::kSilent},
        {"quick after a silent one", 1, 0, 0, {1000, 30000, 0, 0}, CWatchedWork::kFinished},
        {"busy past the whole time", 0, 20, 4096, {1000, 600, 0, 0}, CWatchedWork::kTooSlow},
        {"quick after a slow one", 1, 0, 0, {1000, 30000, 0, 0}, CWatchedWork::kFinished},
        {"at the rate for longer than a window", 80, 20, 8192, {1000, 30000, 1000, 65536},
         CWatchedWork::kFinished},
        {"below the rate", 0, 20, 1024, {1000, 30000, 1000, 65536}, CWatchedWork::kTooSlow},
        {"quick at the end", 1, 0, 0, {1000, 30000, 0, 0}, CWatchedWork::kFinished},
        // Work without a whole time could be watched for ever.
        {"no whole time", 1, 0, 0, {1000, 0, 0, 0}, CWatchedWork::kNotStarted},
    };
    CWorkerThread worker;
    // Given-up pieces stay stuck until the end, so that no new thread can
    // reuse the id of theirs.
    std::vector<StepWork*> stuck;
    DWORD previousThread = 0;
    bool previousGivenUp = false;
    for (const WorkCase& c : cases) {
        StepWork* work = new StepWork(c.steps, c.stepMs, c.bytesPerStep);
        DWORD start = ::GetTickCount();
        CWatchedWork::End end = worker.Run(work, c.limits);
        DWORD took = ::GetTickCount() - start;
        EXPECT_EQ(c.end, end) << c.what << ": " << EndName(end) << " after " << took << " ms";
        if (end == CWatchedWork::kNotStarted) {
            EXPECT_EQ(0u, work->Thread()) << c.what;
            work->Release();
            continue;
        }
        if (end == CWatchedWork::kFinished) {
            EXPECT_NE(0u, work->Thread()) << c.what;
            EXPECT_NE(::GetCurrentThreadId(), work->Thread()) << c.what;
            if (previousThread != 0) {
                EXPECT_EQ(!previousGivenUp, work->Thread() == previousThread) << c.what;
            }
            EXPECT_EQ(0, work->Abandons()) << c.what;
            previousThread = work->Thread();
            previousGivenUp = false;
        } else {
            EXPECT_LT(took, 4000u) << c.what;
            EXPECT_EQ(1, work->Abandons()) << c.what;
            previousGivenUp = true;
            stuck.push_back(work);
            continue;
        }
        work->Release();
    }
    // What a stuck piece delivers once its call returns is dropped.
    for (StepWork* work : stuck) {
        work->ReleaseWork();
        bool delivered = true;
        EXPECT_TRUE(work->WaitForEnd(delivered));
        EXPECT_FALSE(delivered);
        work->Release();
    }
}

// Work that waits for its abandon event, at most waitMs, as a transfer
// waits for its binding.
class AbandonAwareWork : public CWatchedWork {
public:
    explicit AbandonAwareWork(DWORD waitMs)
        : m_waitMs(waitMs), m_sawAbandon(false), m_delivered(true),
          m_ended(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    // Waits up to waitMs until Run has returned.
    bool WaitForEnd(DWORD waitMs) {
        return ::WaitForSingleObject(m_ended.Get(), waitMs) == WAIT_OBJECT_0;
    }
    bool SawAbandon() const { return m_sawAbandon; }
    bool Delivered() const { return m_delivered; }

private:
    void Run() override {
        m_sawAbandon = ::WaitForSingleObject(AbandonEvent(), m_waitMs) == WAIT_OBJECT_0;
        m_delivered = Deliver([] {});
        ::SetEvent(m_ended.Get());
    }

    DWORD m_waitMs;
    bool m_sawAbandon;
    bool m_delivered;
    UniqueHandle m_ended;
};

// Work that waits for being given up ends as soon as it is, and the thread
// it kept ends with it instead of staying busy until the process ends.
TEST(WorkerThread, AGivenUpPieceThatWatchesForItEndsAtOnceAndSoDoesItsThread) {
    CWorkerThread worker;
    StepWork* first = new StepWork(1, 0, 0);
    ASSERT_EQ(CWatchedWork::kFinished, worker.Run(first, ProgressLimits{1000, 30000, 0, 0}));
    UniqueHandle thread(::OpenThread(SYNCHRONIZE, FALSE, first->Thread()));
    first->Release();
    ASSERT_TRUE(thread.IsValid()) << ::GetLastError();

    AbandonAwareWork* waiting = new AbandonAwareWork(20000);
    CWatchedWork::End end = worker.Run(waiting, ProgressLimits{500, 30000, 0, 0});
    EXPECT_EQ(CWatchedWork::kSilent, end) << EndName(end);
    const DWORD givenUp = ::GetTickCount();
    EXPECT_TRUE(waiting->WaitForEnd(2000));
    EXPECT_TRUE(waiting->SawAbandon());
    EXPECT_FALSE(waiting->Delivered());
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(thread.Get(), 3000));
    EXPECT_LT(::GetTickCount() - givenUp, 3000u);
    // Ends within its wait either way, so that nothing outlives the test.
    waiting->WaitForEnd(20000);
    waiting->Release();
}

}  // namespace
