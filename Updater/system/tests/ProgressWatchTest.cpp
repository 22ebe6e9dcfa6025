#include "system/ProgressWatch.h"

#include <gtest/gtest.h>

namespace {

const uint32_t kKiB = 1024;

// A transfer whose bytes arrive at a steady rate (bytesPerSecond, in pieces
// every pieceMs) from the start until stopAfterMs (none when 0), watched as
// a watcher would: looking again after each nextLookMs, but at least every
// lookEveryMs since progress wakes nobody. The ms from start at which it was
// given up, and how; kGoOn at endMs.
struct Outcome {
    CProgressWatch::Verdict verdict;
    uint32_t atMs;
};

Outcome Watch(const ProgressLimits& limits, uint32_t start, uint32_t bytesPerSecond,
          uint32_t pieceMs, uint32_t stopAfterMs, uint32_t endMs) {
    CProgressWatch watch(limits, start);
    uint32_t t = 0;
    for (;;) {
        // Pieces arrived so far, and the time of the last.
        uint32_t until = stopAfterMs != 0 && t > stopAfterMs ? stopAfterMs : t;
        uint32_t pieces = bytesPerSecond != 0 ? until / pieceMs : 0;
        uint64_t received = static_cast<uint64_t>(pieces) * pieceMs * bytesPerSecond / 1000;
        uint32_t last = start + pieces * pieceMs;
        uint32_t next = 0;
        CProgressWatch::Verdict v = watch.Look(start + t, last, received, next);
        if (v != CProgressWatch::kGoOn)
            return Outcome{v, t};
        EXPECT_GE(next, 1u);
        if (t >= endMs)
            return Outcome{v, t};
        t += next < 250 ? next : 250;
    }
}

const char* Name(CProgressWatch::Verdict v) {
    return v == CProgressWatch::kGoOn ? "go on" : v == CProgressWatch::kSilent ? "silent" : "too slow";
}

struct WatchCase {
    const char* what;
    ProgressLimits limits;
    uint32_t start, bytesPerSecond, pieceMs, stopAfterMs, endMs;
    CProgressWatch::Verdict verdict;
    uint32_t earliestMs, latestMs;  // when it is given up
};

TEST(ProgressWatch, GivesUpOnSilenceOnTheWholeTimeAndOnTheRate) {
    const ProgressLimits document = {60000, 120000, 0, 0};
    const ProgressLimits installer = {60000, 0, 600000, 1024 * kKiB};
    // The shipped installer limits: besides the rate, two hours in all.
    const ProgressLimits shipped = {60000, 7200000, 600000, 1024 * kKiB};
    const WatchCase cases[] = {
        {"document that never starts", document, 5000, 0, 1000, 0, 200000,
         CProgressWatch::kSilent, 60000, 60000},
        {"document that stops", document, 5000, 4 * kKiB, 1000, 30000, 200000,
         CProgressWatch::kSilent, 90000, 91000},
        {"document that trickles", document, 5000, kKiB, 25000, 0, 200000,
         CProgressWatch::kTooSlow, 120000, 120000},
        {"document on time", document, 5000, 64 * kKiB, 1000, 0, 110000, CProgressWatch::kGoOn,
         110000, 120000},
        {"installer at 2 KiB/s for an hour", installer, 5000, 2 * kKiB, 1000, 0, 3600000,
         CProgressWatch::kGoOn, 3600000, 3601000},
        {"installer at 1 KiB/s", installer, 5000, kKiB, 1000, 0, 3600000,
         CProgressWatch::kTooSlow, 600000, 675000},
        {"installer in 16 KiB every 25 s", installer, 5000, 16 * kKiB / 25, 25000, 0, 3600000,
         CProgressWatch::kTooSlow, 600000, 675000},
        {"installer that stops", installer, 5000, 100 * kKiB, 1000, 30000, 3600000,
         CProgressWatch::kSilent, 90000, 91000},
        {"the tick counter wraps during the transfer", installer, 0xFFFFF000u, kKiB, 1000, 0,
         3600000, CProgressWatch::kTooSlow, 600000, 675000},
        {"document across the wrap", document, 0xFFFFFFFFu - 1000, 4 * kKiB, 1000, 0, 200000,
         CProgressWatch::kTooSlow, 120000, 120000},
        {"installer at 2 KiB/s, above the rate, past two hours", shipped, 5000, 2 * kKiB, 1000, 0,
         9000000, CProgressWatch::kTooSlow, 7200000, 7200000},
        {"installer at 2 KiB/s for a minute less than two hours", shipped, 5000, 2 * kKiB, 1000,
         0, 7140000, CProgressWatch::kGoOn, 7140000, 7141000},
        {"two hours across the wrap", shipped, 0xFFFFF000u, 2 * kKiB, 1000, 0, 9000000,
         CProgressWatch::kTooSlow, 7200000, 7200000},
    };
    for (const WatchCase& c : cases) {
        Outcome r = Watch(c.limits, c.start, c.bytesPerSecond, c.pieceMs, c.stopAfterMs, c.endMs);
        EXPECT_EQ(c.verdict, r.verdict) << c.what << ": " << Name(r.verdict) << " at " << r.atMs;
        EXPECT_GE(r.atMs, c.earliestMs) << c.what;
        EXPECT_LE(r.atMs, c.latestMs) << c.what;
    }
}

TEST(ProgressWatch, ABurstDoesNotCoverTheNextWindow) {
    // 2 MiB at once, then 1 KiB a second: the window after the burst is too
    // slow although the average over the whole transfer is not.
    const ProgressLimits installer = {60000, 0, 600000, 1024 * kKiB};
    CProgressWatch watch(installer, 0);
    uint32_t next = 0;
    uint64_t received = 2048 * kKiB;
    uint32_t t = 1000;
    CProgressWatch::Verdict v = CProgressWatch::kGoOn;
    for (; t < 3600000 && v == CProgressWatch::kGoOn; t += 1000) {
        received += kKiB;
        v = watch.Look(t, t, received, next);
    }
    EXPECT_EQ(CProgressWatch::kTooSlow, v) << Name(v);
    EXPECT_LE(t, 1000 + 600000 + 75000 + 1000u);
}

TEST(ProgressWatch, ProgressNewerThanTheTimeReadIsNoSilence) {
    const ProgressLimits document = {60000, 120000, 0, 0};
    CProgressWatch watch(document, 1000);
    uint32_t next = 0;
    // The worker reported progress after the watcher read the time.
    EXPECT_EQ(CProgressWatch::kGoOn, watch.Look(50000, 50003, 100, next));
    EXPECT_EQ(60000u, next);
    // Without limits nothing is ever given up.
    CProgressWatch unlimited(ProgressLimits{0, 0, 0, 0}, 0);
    EXPECT_EQ(CProgressWatch::kGoOn, unlimited.Look(0x7FFFFFFFu, 0, 0, next));
}

}  // namespace
