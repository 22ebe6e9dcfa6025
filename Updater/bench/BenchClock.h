#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

// Elapsed time of the timing programs, read from the performance counter.
class BenchClock {
public:
    BenchClock() {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        m_frequency = static_cast<double>(f.QuadPart);
        Restart();
    }
    void Restart() { ::QueryPerformanceCounter(&m_start); }
    // Milliseconds since construction or the last Restart.
    double ElapsedMs() const {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - m_start.QuadPart) * 1000.0 / m_frequency;
    }

private:
    double m_frequency = 1.0;
    LARGE_INTEGER m_start{};
};

// Middle value of the samples (mean of the two middle ones for an even count);
// 0 for none.
inline double Median(std::vector<double> samples) {
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
}
