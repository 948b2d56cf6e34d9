// What the bench programs share: a median of timed runs and a check that
// says what failed.
#pragma once

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

// The median of runs timings of work, in milliseconds.
inline double MedianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

inline bool Check(bool ok, const char *what)
{
    if (!ok)
        std::fprintf(stderr, "FAILED: %s\n", what);
    return ok;
}

} // namespace bench
