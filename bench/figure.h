// One measured figure of a self-timed benchmark: the work's time against a
// baseline's, both taken in the same run.  The program prints it as a record
// that scripts/bench turns into the line a reader sees, so that every figure,
// whatever program measured it, reads the same way.
#pragma once

#include <cstdio>

namespace nmbench {

// How the two times compare.  A cost is the work's time over the
// baseline's (lower is better): the work should add little to what it cannot
// avoid.  A speed is the baseline's time over the work's (higher is better):
// the work against another way of doing the same job.
enum class Ratio { Cost, Speed };

struct Figure {
    const char* subject;   // what was measured and in which situation: "removal, 20000 files in 2000 folders"
    Ratio ratio;
    double time;           // the work's
    double baselineTime;   // the baseline's, in the same unit
    const char* unit;      // "us", "ms"
    const char* baseline;  // what the work is held against: "the mandated calls", "rd /s /q"
    double goal;           // a cost of at most this, a speed of at least this
    const char* note = "";  // what else a reader needs to read the times
};

// "figure<TAB>subject<TAB>cost|speed<TAB>time<TAB>baseline time<TAB>unit<TAB>baseline<TAB>goal<TAB>note"
inline void PrintFigure(const Figure& f) {
    std::printf("figure\t%s\t%s\t%.6g\t%.6g\t%s\t%s\t%g\t%s\n", f.subject, f.ratio == Ratio::Cost ? "cost" : "speed",
                f.time, f.baselineTime, f.unit, f.baseline, f.goal, f.note);
    std::fflush(stdout);
}

}  // namespace nmbench
