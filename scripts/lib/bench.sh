# The benchmark lines of scripts/bench: how a figure is printed, in one place.
# Sourced, not run.

# bench_lines PLATFORM: the one place where a figure becomes a line.  Reads the
# figure records of bench/figure.h ("figure", subject, cost or speed, time,
# baseline time, unit, baseline, goal, note; tab-separated) and prints each
# as a line; any other line (a program saying what failed) is passed on with
# the platform in front.
bench_lines() {
    awk -F'\t' -v platform="$1" '
        $1 == "figure" && NF >= 8 {
            t = $4 + 0; b = $5 + 0
            if ($3 == "cost") { r = b > 0 ? t / b : 0; how = "lower is better; goal at most " $8 }
            else { r = t > 0 ? b / t : 0; how = "higher is better; goal at least " $8 }
            times = sprintf("%.1f %s against %.1f %s", t, $6, b, $6)
            if ($9 != "") times = times ", " $9
            printf "%s %s: %s %.2fx %s (%s) (%s)\n", platform, $2, $3, r, $7, how, times
            next
        }
        NF > 0 { print platform " " $0 }'
}

# bench_gbench_figures ROWS: reads Google Benchmark's console lines (minibench
# prints the same) of several runs and prints a figure record for each row
# from each benchmark's fastest run (the machine's other load only ever adds
# time).  ROWS: "WORK|BASELINE|subject|cost or speed|baseline|goal|note"
# separated by ";", WORK and BASELINE the benchmarks' names.
bench_gbench_figures() {
    awk -v rows="$1" '
        function us(v, unit) { return unit == "ns" ? v / 1000 : unit == "us" ? v : unit == "ms" ? v * 1000 : v * 1e6 }
        $1 ~ /^BM_/ && NF >= 6 { v = us($2, $3); if (!($1 in t) || v < t[$1]) t[$1] = v }
        END {
            n = split(rows, all, ";")
            for (i = 1; i <= n; i++) {
                split(all[i], r, "|")
                w = t[r[1]]; b = t[r[2]]
                if (w == "" || b == "" || w == 0 || b == 0) { printf "%s: no result\n", r[3]; bad = 1; continue }
                printf "figure\t%s\t%s\t%.6g\t%.6g\tus\t%s\t%s\t%s\n", r[3], r[4], w, b, r[5], r[6], r[7]
            }
            exit bad
        }'
}
