#pragma once

#include <cstdint>

// The limits a watched transfer is held to, in milliseconds of the system's
// tick counter; a limit of 0 is left out.
struct ProgressLimits {
    // Given up as silent when nothing at all arrives for this long.
    uint32_t silenceMs;
    // Given up as too slow when not finished this long after its start.
    uint32_t wholeMs;
    // Given up as too slow when fewer than minBytes arrive within some span
    // of windowMs (judged once windowMs have passed since the start).
    uint32_t windowMs;
    uint64_t minBytes;
};

// Judges one piece of work by the progress it reports, from the outside:
// the watcher looks now and then with the time, the time of the last
// progress and the bytes received so far. A span found too slow is at least
// windowMs long, so a transfer that keeps to the rate is never given up; one
// that falls below it is given up within windowMs and an eighth.
class CProgressWatch {
public:
    enum Verdict { kGoOn, kSilent, kTooSlow };

    CProgressWatch(const ProgressLimits& limits, uint32_t start);

    // The verdict at now. lastProgress may be newer than now (progress
    // reported after now was read) and counts as no silence then. On kGoOn,
    // nextLookMs is how long the watcher may wait before it looks again
    // (at least 1). Looks are expected in order of time.
    Verdict Look(uint32_t now, uint32_t lastProgress, uint64_t received, uint32_t& nextLookMs);

private:
    struct Sample {
        uint32_t at;
        uint64_t received;
    };
    // Samples taken at least an eighth of the window apart: the newest one a
    // window old is always among the last ten.
    static const int kSamples = 16;

    // True when fewer than minBytes arrived since the newest sample that lies
    // a whole window before now.
    bool BelowRate(uint32_t now, uint64_t received) const;
    void Remember(uint32_t now, uint64_t received);

    ProgressLimits m_limits;
    uint32_t m_start;
    Sample m_samples[kSamples];
    int m_count;   // samples held
    int m_newest;  // index of the newest
};
