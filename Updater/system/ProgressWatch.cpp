#include "system/ProgressWatch.h"

#include "system/IdleTime.h"

namespace {

// The smaller of a remaining time and what is already there.
void Sooner(uint32_t remaining, uint32_t& next) {
    if (remaining < next)
        next = remaining;
}

}  // namespace

CProgressWatch::CProgressWatch(const ProgressLimits& limits, uint32_t start)
    : m_limits(limits), m_start(start), m_count(1), m_newest(0) {
    m_samples[0].at = start;
    m_samples[0].received = 0;
}

CProgressWatch::Verdict CProgressWatch::Look(uint32_t now, uint32_t lastProgress,
                                             uint64_t received, uint32_t& nextLookMs) {
    uint32_t next = UINT32_MAX;
    if (m_limits.silenceMs != 0) {
        uint32_t silent = IdleMilliseconds(now, lastProgress);
        if (silent >= m_limits.silenceMs)
            return kSilent;
        Sooner(m_limits.silenceMs - silent, next);
    }
    const uint32_t elapsed = IdleMilliseconds(now, m_start);
    if (m_limits.wholeMs != 0) {
        if (elapsed >= m_limits.wholeMs)
            return kTooSlow;
        Sooner(m_limits.wholeMs - elapsed, next);
    }
    if (m_limits.windowMs != 0) {
        if (BelowRate(now, received))
            return kTooSlow;
        Remember(now, received);
        uint32_t step = m_limits.windowMs / 8;
        Sooner(step != 0 ? step : 1, next);
    }
    nextLookMs = next != 0 ? next : 1;
    return kGoOn;
}

bool CProgressWatch::BelowRate(uint32_t now, uint64_t received) const {
    for (int i = 0; i < m_count; ++i) {
        const Sample& s = m_samples[(m_newest - i + kSamples) % kSamples];
        if (IdleMilliseconds(now, s.at) >= m_limits.windowMs)
            return received - s.received < m_limits.minBytes;
    }
    return false;  // not a whole window yet
}

void CProgressWatch::Remember(uint32_t now, uint64_t received) {
    uint32_t step = m_limits.windowMs / 8;
    if (IdleMilliseconds(now, m_samples[m_newest].at) < (step != 0 ? step : 1))
        return;
    m_newest = (m_newest + 1) % kSamples;
    m_samples[m_newest].at = now;
    m_samples[m_newest].received = received;
    if (m_count < kSamples)
        ++m_count;
}
