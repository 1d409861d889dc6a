#!/usr/bin/env bash
# scripts/bench's lines: a cost is the work's time over the baseline's, a
# speed the baseline's over the work's, each with its direction and goal;
# Google Benchmark's lines give each benchmark's fastest run, whatever its
# unit; what a program says besides its figures reaches the reader.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/bench.sh"
failed=0
check() {  # NAME EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL $1"$'\n'"--- expected:"$'\n'"$2"$'\n'"--- got:"$'\n'"$3"
        failed=1
    fi
}
tab=$'\t'

# record | line
while IFS='|' read -r record expected; do
    check "line of: $record" "$expected" "$(printf '%s\n' "${record//;/$tab}" | bench_lines wine64)"
done <<'ROWS'
figure;menu, all values;cost;220;200;us;the mandated calls;1.1;per menu|wine64 menu, all values: cost 1.10x the mandated calls (lower is better; goal at most 1.1) (220.0 us against 200.0 us, per menu)
figure;removal, a tree;speed;2000;1500;ms;rd /s /q;0.8;|wine64 removal, a tree: speed 0.75x rd /s /q (higher is better; goal at least 0.8) (2000.0 ms against 1500.0 ms)
figure;odd;speed;0;10;ms;x;1;|wine64 odd: speed 0.00x x (higher is better; goal at least 1) (0.0 ms against 10.0 ms)
removal: failed (ours 0, baseline 1)|wine64 removal: failed (ours 0, baseline 1)
ROWS

# Three runs: each benchmark's fastest, in microseconds.
runs='BM_Work     2.5 us     2.5 us   1000
BM_Base        2000 ns    2000 ns   1000
BM_Work        3.1 us     3.1 us   1000
BM_Base     0.0025 ms  0.0025 ms   1000'
check "fastest runs, any unit" "figure${tab}work${tab}cost${tab}2.5${tab}2${tab}us${tab}base${tab}1.1${tab}per call" \
    "$(bench_gbench_figures 'BM_Work|BM_Base|work|cost|base|1.1|per call' <<<"$runs")"
out=$(bench_gbench_figures 'BM_Work|BM_Gone|gone|cost|base|1.1|' <<<"$runs")
check "a missing benchmark: no result, and a failure" "gone: no result/1" "$out/$?"

exit $failed
