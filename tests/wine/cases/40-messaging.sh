# Requests between separate programs over real named pipes, and over
# WM_COPYDATA in Windows 98 mode; the time-out path with its box.
nm_new_prefix messaging
msg_dir="$NM_WINE_ROOT/messaging-work"
rm -rf "$msg_dir"
mkdir -p "$msg_dir"

# Windows without a display: hidden windows and message boxes that another
# program can find and answer.
msg_reg() {
    printf 'REGEDIT4\r\n\r\n[%s]\r\n"%s"="%s"\r\n' "$1" "$2" "$3" >"$WINEPREFIX/drive_c/nm-set.reg"
    "$WINE64" regedit /S 'C:\nm-set.reg' >/dev/null 2>&1
}
msg_reg 'HKEY_CURRENT_USER\Software\Wine\Drivers' Graphics null
nm_stop_prefix

# msg_start NAME PROGRAM ARGS...: runs a component in the background, its
# output in $msg_dir/NAME.out, and waits until it is ready.
msg_start() {
    local name=$1 program=$2
    shift 2
    (cd "$msg_dir" && timeout 120 "$WINE64" "$NM_BIN/$program" "$@" 2>/dev/null | sed -u 's/\r$//' >"$msg_dir/$name.out") &
    msg_wait "$name" ' ready' || true
}
# msg_wait NAME TEXT: waits up to 20 s for a line containing TEXT.
msg_wait() {
    local i
    for i in $(seq 1 200); do
        grep -qF -- "$2" "$msg_dir/$1.out" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
msg_send() { nm_wine "$NM_BIN/nmsend.exe" "$@"; }

# --- NT family: named pipes between processes
msg_start watch nmwatch.exe --hex --timeout 60
out=$(msg_send --to NMWatch --op ZOVU_RUN_VUZ CONFIRM 'C:\a.txt')
msg_wait watch 'ZOVU_RUN_VUZ'
sends=$out
out=$(msg_send --to NMWatch --op ZOVU_RUN_NMAGENT NORMAL QUICK CANCEL CD)
msg_wait watch 'ZOVU_RUN_NMAGENT'
sends+=$'\n'$out
out=$(msg_send --to NMWatch --op ZOVU_RUN_NMBASE --raw '')
msg_wait watch 'ZOVU_RUN_NMBASE'
sends+=$'\n'$out
out=$(msg_send --as NMTray --to NMWatch --op ZOVU_EXECUTE_FILE --raw 007EFF)
msg_wait watch 'ZOVU_EXECUTE_FILE'
sends+=$'\n'$out
msg_send --to NMWatch --op ZOVU_STOP_WATCH >/dev/null
msg_wait watch 'NMWatch stops'
nm_expect "pipes: nmsend reports each delivery" "$sends" \
    "nmsend: NMShellExt -> NMWatch ZOVU_RUN_VUZ: sent" \
    "nmsend: NMShellExt -> NMWatch ZOVU_RUN_NMAGENT: sent" \
    "nmsend: NMShellExt -> NMWatch ZOVU_RUN_NMBASE: sent" \
    "nmsend: NMTray -> NMWatch ZOVU_EXECUTE_FILE: sent" \
    "last error: No Previous Errors."
nm_expect "pipes: nmwatch takes every request byte-exact and stops" "$(cat "$msg_dir/watch.out")" \
    "NMWatch ready on Router6" \
    'NMWatch <- NMShellExt ZOVU_RUN_VUZ ["CONFIRM", "C:\a.txt"]' \
    "  packet: 04 06 04 00 00 00 12 43 4F 4E 46 49 52 4D 00 43 3A 5C 61 2E 74 78 74 00 00" \
    'NMWatch <- NMShellExt ZOVU_RUN_NMAGENT ["NORMAL", "QUICK", "CANCEL", "CD"]' \
    "NMWatch <- NMShellExt ZOVU_RUN_NMBASE (0 bytes)" \
    "  packet: 04 06 05 00 00 00 00" \
    "NMWatch <- NMTray ZOVU_EXECUTE_FILE (3 bytes)" \
    "  packet: 03 06 28 00 00 00 03 00 7E FF" \
    "NMWatch <- NMShellExt ZOVU_STOP_WATCH (0 bytes)" \
    "NMWatch stops"
if cmp -s <(tr -d '\r' <"$msg_dir/nmwatch.log") "$msg_dir/watch.out"; then
    wine_pass "pipes: nmwatch.log holds the printed lines"
else
    wine_fail "pipes: nmwatch.log holds the printed lines" "$(cat "$msg_dir/nmwatch.log" 2>&1)"
fi

# The 25-byte example to the VUZ program, and its dump file.
rm -f "$WINEPREFIX/drive_c/RARA.txt"
msg_start zap nmzap4.exe --hex --dump --timeout 30
msg_send --to NMVuz --op ZOVU_DEFAULT_MESSAGE CONFIRM 'C:\a.txt' >/dev/null
msg_wait zap 'NMVuz stops'
nm_expect "pipes: nmzap4 takes one request and ends" "$(cat "$msg_dir/zap.out")" \
    'NMVuz <- NMShellExt ZOVU_DEFAULT_MESSAGE ["CONFIRM", "C:\a.txt"]' \
    "  packet: 04 00 00 00 00 00 12 43 4F 4E 46 49 52 4D 00 43 3A 5C 61 2E 74 78 74 00 00" \
    "NMVuz stops"
if cmp -s "$WINEPREFIX/drive_c/RARA.txt" <(printf 'There are 18 bytes in this packetCONFIRM\r\nC:\\a.txt\r\n'); then
    wine_pass "pipes: the dump file c:\\RARA.txt"
else
    wine_fail "pipes: the dump file c:\\RARA.txt" "$(od -c "$WINEPREFIX/drive_c/RARA.txt" 2>&1 | head)"
fi

msg_start tray nmtray.exe --timeout 2
msg_wait tray 'NMTray stops'
nm_expect "pipes: a component with a time limit gives up" "$(cat "$msg_dir/tray.out")" \
    "NMTray stops: Timeout on GetPacket"

# No receiver: 10 attempts over 4.5 s, the stored text and the box.
msg_start box nmboxwatch.exe --count 1 --timeout 30 2>/dev/null
start=$(date +%s%N)
out=$(msg_send --to NMTray --op ZOVU_RUN_NULLSCAN d)
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
msg_wait box 'box: '
nm_expect "pipes: no receiver times out with its text" "$out" \
    "nmsend: NMShellExt -> NMTray ZOVU_RUN_NULLSCAN: failed" \
    "last error: --** Timeout **--  Could not communicate with NMTray.  No pipe to write to."
nm_expect "pipes: no receiver shows the box" "$(cat "$msg_dir/box.out")" \
    'box: Error: A Nullmark application does not appear to be responding.\nYou should reboot or try reinstalling Nullmark.'
if [ "$elapsed_ms" -ge 4500 ]; then wine_pass "pipes: the sender waited 4.5 s (${elapsed_ms} ms)"; else
    wine_fail "pipes: the sender waited 4.5 s" "only ${elapsed_ms} ms"; fi
msg_start box12 nmboxwatch.exe --count 1 --timeout 7 2>/dev/null
out=$(msg_send --as NMService --to NMTray --op ZOVU_RUN_NULLSCAN d)
wait
nm_expect "pipes: the service times out without a box" "$out$(cat "$msg_dir/box12.out")" \
    "nmsend: NMService -> NMTray ZOVU_RUN_NULLSCAN: failed"
grep -q '^box: ' "$msg_dir/box12.out" && wine_fail "pipes: the service shows no box" "$(cat "$msg_dir/box12.out")"

# --- Windows 98: the window transport
msg_reg 'HKEY_CURRENT_USER\Software\Wine' Version win98
nm_stop_prefix
msg_start watch98 nmwatch.exe --hex --timeout 60
out=$(msg_send --to NMWatch --op ZOVU_RUN_VUZ CONFIRM 'C:\a.txt')
msg_wait watch98 'ZOVU_RUN_VUZ'
msg_send --as NMTray --to NMWatch --op ZOVU_STOP_WATCH >/dev/null
msg_wait watch98 'NMWatch stops'
nm_expect "win98: WM_COPYDATA between processes" "$out"$'\n'"$(cat "$msg_dir/watch98.out")" \
    "nmsend: NMShellExt -> NMWatch ZOVU_RUN_VUZ: sent" \
    'NMWatch <- NMShellExt ZOVU_RUN_VUZ ["CONFIRM", "C:\a.txt"]' \
    "  packet: 04 06 04 00 00 00 12 43 4F 4E 46 49 52 4D 00 43 3A 5C 61 2E 74 78 74 00 00" \
    "NMWatch <- NMTray ZOVU_STOP_WATCH (0 bytes)"

# The shell extension has no window of its own: sending to itself finds none
# (10 look-ups, 9 s) and shows no box; the watcher finds its own.
msg_start box98 nmboxwatch.exe --count 1 --timeout 12 2>/dev/null
out=$(msg_send --trace --to NMShellExt --op ZOVU_DEFAULT_MESSAGE x)
wait
nm_expect "win98: identity 4 creates no window and shows no box" "$out" \
    "nmsend: NMShellExt -> NMShellExt ZOVU_DEFAULT_MESSAGE: failed" \
    'last error: Router4 Window does not exist.\nIt must not currently be running.' \
    'trace: Could not find destination window.\n9 tries left.' \
    'trace: Could not find destination window.\n1 tries left.'
grep -q '^box: ' "$msg_dir/box98.out" && wine_fail "win98: identity 4 shows no box" "$(cat "$msg_dir/box98.out")"
out=$(msg_send --as NMWatch --to NMWatch --op ZOVU_DEFAULT_MESSAGE x)
nm_expect "win98: a component finds its own window" "$out" "nmsend: NMWatch -> NMWatch ZOVU_DEFAULT_MESSAGE: sent"

nm_stop_prefix
