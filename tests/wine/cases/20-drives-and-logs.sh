# Drives of every type mapped into the prefix, a secured-space folder on a
# fixed one, and the library's drive routines run against them.
nm_new_prefix drives

vol="$WINEPREFIX/vol"
mkdir -p "$vol"/{d,e,f,g}
for letter in d e f g; do ln -sfn "$vol/$letter" "$WINEPREFIX/dosdevices/$letter:"; done
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n"d:"="cdrom"\r\n"e:"="floppy"\r\n"f:"="network"\r\n"g:"="hd"\r\n' \
    >"$WINEPREFIX/drives.reg"
"$WINE64" regedit /S "$WINEPREFIX/drives.reg" >/dev/null 2>&1
"$WINESERVER" -w >/dev/null 2>&1
"$WINESERVER" -k >/dev/null 2>&1  # drive types are read when the server starts

secured="$vol/g/Nullmark Secured Space"
mkdir -p "$secured"
truncate -s 10000000 "$secured/a.T~P"
truncate -s 20000000 "$secured/b.T~P"
truncate -s 30000000 "$secured/c.T~P"  # above the pruning limit
truncate -s 26214400 "$secured/limit.T~P"
truncate -s 5 "$secured/other.txt"

# C: and Z: are fixed too but hold no secured space, so the list built from
# the drives has G: alone (its host file system has far more than 480 MiB free).
NM_EXPECT_DRIVE_TYPES="D:5 E:2 F:4 G:3 Q:1" \
NM_EXPECT_SECURED="G:56214400" \
NM_EXPECT_DRIVE_LIST="G" \
    nm_gtest "drive types, secured space and the built drive list" "$NM_BIN/nm_configured_drives.exe"

if [ ! -e "$secured/c.T~P" ] && [ -e "$secured/limit.T~P" ] && [ -e "$secured/other.txt" ]; then
    wine_pass "secured space: only the file above the limit was deleted"
else
    wine_fail "secured space: only the file above the limit was deleted" "$(ls -l "$secured")"
fi

# --- the cleaning log held by another program without delete sharing, while
# a clean is logged: written over in place when the holder shares writing,
# else kept whole beside the log until the next clean; no record is lost.
# "UIL" where the 32-bit product writes it: the registry's 32-bit view.
mkdir -p "$vol/g/Nullmark"
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Greyfell\\VI4\\Settings]\r\n"UIL"="G:\\\\Nullmark\\\\"\r\n' \
    >"$WINEPREFIX/uil.reg"
"$WINE64" regedit /S "$WINEPREFIX/uil.reg" >/dev/null 2>&1
cl_log="$vol/g/Nullmark/NMCleaningLog.txt"
cl_records() { if [ -e "$1" ]; then grep -c '^Drive: G' "$1"; else echo none; fi; }
# SHARE | records in the log while held | records beside it
for row in 'rw|1|none' 'r|0|1'; do
    IFS='|' read -r share held_log held_beside <<<"$row"
    printf 'older line\r\n' >"$cl_log"
    rm -f "$cl_log.new"
    cl_out="$WINEPREFIX/hold-log.out"
    rm -f "$cl_out"
    timeout 60 "$WINE64" "$NM_BIN/nm_hold_file.exe" 'G:\Nullmark\NMCleaningLog.txt' "$share" 4 2>/dev/null >"$cl_out" &
    cl_holder=$!
    for _ in $(seq 300); do grep -q holding "$cl_out" 2>/dev/null && break; sleep 0.05; done
    out=$(nm_wine "$NM_BIN/nmutil.exe" clean-log G: quick)
    cl_seen="$(cl_records "$cl_log") $(cl_records "$cl_log.new")"
    wait "$cl_holder"
    out2=$(nm_wine "$NM_BIN/nmutil.exe" clean-log G: quick)
    cl_after="$(cl_records "$cl_log") $(cl_records "$cl_log.new") $(tail -c 12 "$cl_log" | tr -d '\r')"
    if grep -q holding "$cl_out" && [ "$out $out2" = "logged logged" ]; then
        nm_expect "cleaning log held with sharing '$share': while held, records in the log and beside it" \
            "$cl_seen" "$held_log $held_beside"
        nm_expect "cleaning log held with sharing '$share': the next clean has both records and the old line" \
            "$cl_after" "2 none older line"
    else
        wine_fail "cleaning log held with sharing '$share': holder and cleans ran" "$(cat "$cl_out") / $out / $out2"
    fi
done

# --- cleaning components in separate processes logging at the same moment:
# five at once, eight rounds, each on an empty log.  Every record must be in
# the log, whole (newest first in the order the writers got their turn), and
# nothing left beside it.
cl_rows=('C: quick' 'C: deep' 'G: quick' 'G: deep' 'Z: quick')
cl_expected=$(printf '%s\n' 'C Deep Clean' 'C Quick Clean' 'G Deep Clean' 'G Quick Clean' 'Z Quick Clean')
cl_bad=""
for round in $(seq 8); do
    rm -f "$cl_log" "$cl_log".*
    cl_jobs=()
    for i in "${!cl_rows[@]}"; do
        # shellcheck disable=SC2086  # drive and kind are two words
        { nm_wine "$NM_BIN/nmutil.exe" clean-log ${cl_rows[i]}; echo "status $?"; } >"$WINEPREFIX/cl-writer-$i.out" 2>&1 &
        cl_jobs+=($!)
    done
    wait "${cl_jobs[@]}"
    # Each record: its six lines in their order; "DRIVE OPERATION" per record.
    cl_got=$(tr -d '\r' <"$cl_log" 2>/dev/null | awk '
        NR % 6 == 1 { ok = sub(/^Drive: /, ""); drive = $0 }
        NR % 6 == 2 { ok = ok && sub(/^Operation: /, ""); op = $0 }
        NR % 6 == 3 { ok = ok && /^Date and time operation was started: / }
        NR % 6 == 4 { ok = ok && /^Date and time operation was completed: / }
        NR % 6 == 5 { ok = ok && /^Total elapsed time \(HH:MM:SS\): / }
        NR % 6 == 0 { print (ok && $0 == "-------------------------------------------------") ? drive " " op : "broken record" }
        END { if (NR % 6 != 0) print "broken record" }' | sort)
    cl_beside=$(cd "$vol/g/Nullmark" && ls -A | grep -vx NMCleaningLog.txt)
    if [ "$cl_got" != "$cl_expected" ] || [ -n "$cl_beside" ]; then
        cl_bad+="round $round: $(tr '\n' ',' <<<"$cl_got") beside: [$cl_beside]"$'\n'
        # what each writer said, and its exit status: whether it ran at all
        for i in "${!cl_rows[@]}"; do cl_bad+="  ${cl_rows[i]}: $(tr '\n' ' ' <"$WINEPREFIX/cl-writer-$i.out")"$'\n'; done
    fi
done
if [ -z "$cl_bad" ]; then
    wine_pass "cleaning log: five writers in five processes at once, eight rounds, every record whole"
else
    wine_fail "cleaning log: five writers in five processes at once, eight rounds, every record whole" "$cl_bad"
fi

nm_stop_prefix
