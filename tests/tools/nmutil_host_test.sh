#!/usr/bin/env bash
# nmutil on a shared simulated machine set up with nmmachine: each
# subcommand's lines, and the usage errors.
#   nmutil_host_test.sh NMUTIL NMMACHINE
set -uo pipefail
nmutil=$(realpath "$1") nmmachine=$(realpath "$2")
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
export HOSTWIN_MACHINE="$work/machine"
mkdir -p "$HOSTWIN_MACHINE" "$work/c/data/tree/sub" "$work/c/logs" "$work/a" "$work/f"
"$nmmachine" drive C fixed "$work/c" SYSTEM
"$nmmachine" drive A removable "$work/a" FLOPPY
"$nmmachine" drive D cdrom "$work/f" CD
"$nmmachine" drive F remote "$work/f"
failed=0
check() {  # NAME EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL $1"$'\n'"--- expected:"$'\n'"$2"$'\n'"--- got:"$'\n'"$3"
        failed=1
    fi
}

check drives $'A:\t0\nC:  SYSTEM\t3\nF:\t2' "$("$nmutil" drives)"
check size $'None\n1023 Bytes\n1.00 KB\n1.50 MB\n1.00 GB\n5120.00 GB\n-1 Bytes' \
    "$("$nmutil" size 0 1023 1024 1572864 1073741824 5497558138880 -1)"

echo x >"$work/c/data/a.doc"
# No "UIL" on this machine: every path but a "txt" one counts as the program's.
check protected $'C:\\data\\a.doc\tno reason 2\nC:\\data\\b.doc\tno reason 1\nC:\\data\\x.EXE\tno reason 1' \
    "$("$nmutil" protected 'C:\data\a.doc' 'C:\data\b.doc' 'C:\data\x.EXE')"

echo x >"$work/c/data/tree/a.txt"
echo x >"$work/c/data/tree/sub/desktop.ini"
echo x >"$work/c/data/tree/sub/b.txt"
expected=$'removed: no\n------------------------------------------------------------------\nDrive: C
Action: Cleaning the contents of a directory
Problem: Unable to remove the following subdirectory (it may not be empty):\n\nC:\\data\\tree\\sub'
check remove "$expected" "$(cd "$work/c/logs" && "$nmutil" remove 'C:\data\tree')"
check "remove: exit status when something stayed" 1 "$(cd "$work/c/logs" && "$nmutil" remove 'C:\data\tree' >/dev/null; echo $?)"
check "remove: what is left" "desktop.ini" "$(ls "$work/c/data/tree/sub")"
check "remove --files-only" $'removed: yes\n0' "$(cd "$work/c/logs" && "$nmutil" remove --files-only 'C:\data\tree\sub'; echo $?)"

check shortcut $'C:\\data\\a.doc\t' "$("$nmutil" shortcut 'C:\data\a.doc')"

: >"$work/c/logs/nmwatchlog.txt"
check watch-log $'written: yes\nwritten: no' "$("$nmutil" watch-log 'C:\logs' 'an event'; "$nmutil" watch-log 'C:\data' x)"
check "watch-log: the line" $'an event\r' "$(cat "$work/c/logs/nmwatchlog.txt")"

# No "UIL": the cleaning log is in the root of the current drive, newest record first.
check clean-log $'logged\nlogged' "$("$nmutil" clean-log C: quick; "$nmutil" clean-log C: deep)"
check "clean-log: the records" $'Drive: C\r\nOperation: Deep Clean\r\n2' \
    "$(head -n 2 "$work/c/NMCleaningLog.txt"; grep -c '^Drive: C' "$work/c/NMCleaningLog.txt")"

for args in "" "bogus" "size" "size 12x" "remove" "remove --files-only" "watch-log C:\\" "drives extra" \
    "clean-log C:" "clean-log C: sometimes"; do
    # shellcheck disable=SC2086
    "$nmutil" $args >/dev/null 2>"$work/err"
    status=$?
    check "usage error for '$args'" "2 1" "$status $(wc -l <"$work/err")"
done
"$nmutil" --help | grep -q '^  nmutil watch-log FOLDER TEXT$' || { echo "FAIL --help"; failed=1; }
"$nmutil" --help | grep -q '^  nmutil clean-log X: quick|deep$' || { echo "FAIL --help clean-log"; failed=1; }
exit $failed
