# The benchmark lines of scripts/bench: how a figure is printed, in one place.
# Sourced, not run.

# bench_lines PLATFORM: the one place where a figure becomes a line.  Reads the
# figure records of bench/figure.h ("figure", subject, cost or speed, the
# median of the pairs' ratios, its first and third quartiles, the work's and
# the baseline's median times, unit, baseline, goal, note, pairs;
# tab-separated) and prints each as a line; any other line (a program saying
# what failed) is passed on with the platform in front.
bench_lines() {
    awk -F'\t' -v platform="$1" '
        $1 == "figure" && NF >= 13 {
            if ($3 == "cost") how = "lower is better; goal at most " $11
            else how = "higher is better; goal at least " $11
            times = sprintf("%.1f %s against %.1f %s", $7, $9, $8, $9)
            if ($12 != "") times = times ", " $12
            printf "%s %s: %s %.2fx %s, IQR %.2f-%.2f (%s) (%s; medians of %d pairs)\n",
                platform, $2, $3, $4, $10, $5, $6, how, times, $13
            next
        }
        NF > 0 { print platform " " $0 }'
}
