// One measured figure: the work's time against a baseline's, taken in the
// same process in pairs.  Each pair times the work and the baseline one
// right after the other, the first of the two alternating from pair to pair,
// and gives one ratio; the figure is the median of those ratios, with the
// quartiles as its spread.  A machine whose load drifts during a run moves
// both halves of a pair alike, so the ratio holds where the times do not,
// and a pair that a burst of other work lands in moves only the tails.  The
// program prints the figure as a record that scripts/bench turns into the
// line a reader sees, so that every figure reads the same way.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace nmbench {

// How the two times compare.  A cost is the work's time over the
// baseline's (lower is better): the work should add little to what it cannot
// avoid.  A speed is the baseline's time over the work's (higher is better):
// the work against another way of doing the same job.
enum class Ratio { Cost, Speed };

struct Figure {
    const char* subject;   // what was measured and in which situation: "removal, 20000 files in 2000 folders"
    Ratio ratio;
    const char* unit;      // the unit the timed steps return: "us", "ms"
    const char* baseline;  // what the work is held against: "the mandated calls", "rd /s /q"
    double goal;           // a cost of at most this, a speed of at least this
    const char* note = "";  // what else a reader needs to read the times
};

using Clock = std::chrono::steady_clock;

inline double MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}
inline double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The value at fraction q of sorted values, between neighbours.
inline double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const size_t below = static_cast<size_t>(at);
    if (below + 1 >= values.size())
        return values.back();
    return values[below] + (at - static_cast<double>(below)) * (values[below + 1] - values[below]);
}

// Times `pairs` pairs of work() and baseline(), after `warmup` pairs that
// are not counted (caches, the first thread of a kind, the allocator's
// first pages).  prepare() runs before each pair, outside the timing: what
// both steps work on is made before either is timed, so that neither runs
// just after its own preparation's writes.  Each step returns its own time in the figure's unit, so
// that it may leave its preparation and its checks outside the timing, or a
// negative value when it failed.  Prints the record
//   figure<TAB>subject<TAB>cost|speed<TAB>median<TAB>first quartile<TAB>third quartile
//         <TAB>work's median time<TAB>baseline's median time<TAB>unit<TAB>baseline<TAB>goal<TAB>note<TAB>pairs
// and returns false (printing what failed instead) when a step failed.
template <class Prepare, class Work, class Baseline>
bool MeasurePreparedPairs(const Figure& f, int pairs, int warmup, Prepare&& prepare, Work&& work,
                          Baseline&& baseline) {
    std::vector<double> ratios, times, baselineTimes;
    for (int i = -warmup; i < pairs; ++i) {
        if (!prepare()) {
            std::printf("%s: the preparation failed\n", f.subject);
            std::fflush(stdout);
            return false;
        }
        double t = 0, b = 0;
        if (i % 2 == 0) {
            t = work();
            b = t < 0 ? 0 : baseline();
        } else {
            b = baseline();
            t = b < 0 ? 0 : work();
        }
        if (t < 0 || b < 0) {
            std::printf("%s: the %s failed\n", f.subject, t < 0 ? "work" : "baseline");
            std::fflush(stdout);
            return false;
        }
        if (i < 0)
            continue;
        // A step too short for the clock counts as one tick of it.
        const double tick = 1e-3;
        t = std::max(t, tick);
        b = std::max(b, tick);
        ratios.push_back(f.ratio == Ratio::Cost ? t / b : b / t);
        times.push_back(t);
        baselineTimes.push_back(b);
    }
    std::printf("figure\t%s\t%s\t%.4f\t%.4f\t%.4f\t%.6g\t%.6g\t%s\t%s\t%g\t%s\t%d\n", f.subject,
                f.ratio == Ratio::Cost ? "cost" : "speed", Quantile(ratios, 0.5), Quantile(ratios, 0.25),
                Quantile(ratios, 0.75), Quantile(times, 0.5), Quantile(baselineTimes, 0.5), f.unit, f.baseline,
                f.goal, f.note, pairs);
    std::fflush(stdout);
    return true;
}

// Pairs whose steps need nothing made beforehand.
template <class Work, class Baseline>
bool MeasurePairs(const Figure& f, int pairs, int warmup, Work&& work, Baseline&& baseline) {
    return MeasurePreparedPairs(f, pairs, warmup, [] { return true; }, work, baseline);
}

// How many runs of `step` (which returns its own time in us) make one timed
// sample of about `targetUs`: a step of a few microseconds timed alone is
// mostly the clock's own reading.
template <class Step>
int RunsPerSample(Step&& step, double targetUs) {
    double us = 0;
    for (int i = 0; i < 3; ++i)
        us = std::max(us, step());
    if (us <= 0)
        return 1;
    const double runs = targetUs / us;
    return runs < 1 ? 1 : runs > 1e6 ? 1000000 : static_cast<int>(runs);
}

}  // namespace nmbench
