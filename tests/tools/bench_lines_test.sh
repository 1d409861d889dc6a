#!/usr/bin/env bash
# scripts/bench's lines: the median ratio with its quartiles, its direction
# and goal, the median times; what a program says besides its figures
# reaches the reader.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/bench.sh"
failed=0
tab=$'\t'

# record | line
while IFS='|' read -r record expected; do
    got=$(printf '%s\n' "${record//;/$tab}" | bench_lines wine64)
    if [ "$got" != "$expected" ]; then
        echo "FAIL line of: $record"$'\n'"--- expected:"$'\n'"$expected"$'\n'"--- got:"$'\n'"$got"
        failed=1
    fi
done <<'ROWS'
figure;menu, all values;cost;1.0996;1.05;1.126;220;200;us;the mandated calls;1.1;per menu;201|wine64 menu, all values: cost 1.10x the mandated calls, IQR 1.05-1.13 (lower is better; goal at most 1.1) (220.0 us against 200.0 us, per menu; medians of 201 pairs)
figure;removal, a tree;speed;0.75;0.7;0.8;2000;1500;ms;rd /s /q;0.8;;9|wine64 removal, a tree: speed 0.75x rd /s /q, IQR 0.70-0.80 (higher is better; goal at least 0.8) (2000.0 ms against 1500.0 ms; medians of 9 pairs)
removal, a tree: the baseline failed|wine64 removal, a tree: the baseline failed
ROWS

exit $failed
