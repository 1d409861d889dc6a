# Requests between separate programs over real named pipes, and over
# WM_COPYDATA in Windows 98 mode; the time-out path with its box.
nm_new_prefix messaging
# In the prefix: a queued 32-bit check works in its own copy of it.
msg_dir="$WINEPREFIX/messaging-work"
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
# output in $msg_dir/NAME.out, and waits until it is ready (or says that it
# cannot receive).  msg_start_in LOADER BIN NAME PROGRAM ARGS...: the same
# with the programs of another build (the 32-bit one).
msg_start() { msg_start_in "$WINE64" "$NM_BIN" "$@"; }
msg_start_in() {
    local loader=$1 bin=$2 name=$3 program=$4
    shift 4
    (cd "$msg_dir" && timeout 300 "$loader" "$bin/$program" "$@" 2>/dev/null | sed -u 's/\r$//' >"$msg_dir/$name.out") &
    msg_wait "$name" ' ready|cannot receive' || true
}
# msg_wait NAME PATTERN: waits up to 20 s for a line matching PATTERN (ERE).
msg_wait() {
    local i
    for i in $(seq 1 200); do
        grep -qE -- "$2" "$msg_dir/$1.out" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
msg_send() { nm_wine "$NM_BIN/nmsend.exe" "$@"; }
msg_send_in() { timeout 120 "$1" "$2/nmsend.exe" "${@:3}" 2>/dev/null | tr -d '\r'; }
# The requests a component started with --trace took in: its mailbox keeps
# only the newest, but its receiving thread traces every one.
msg_requests() { grep -c -- "^trace: >>> Incoming .*$2" "$msg_dir/$1.out" 2>/dev/null || true; }

# Every process that hosts the extension, and every copy of a component,
# uses its identity's one pipe name.  msg_processes LABEL LOADER BIN [LOADER
# BIN], with the tray waiting for the commands:
# - a second process with the identity of a running one cannot receive and
#   says so, and its end stops nothing of the first, which takes the next
#   request: a second nmzap4, and the extension's command in a second
#   Explorer while a receiver holds the extension's own pipe;
# - 10 runs of 100 Scan commands in one process, as a long-lived Explorer
#   runs them: each run ends with the handles and threads it began with, and
#   the DLL goes once released;
# - two Explorer-like processes (the second with the other LOADER and BIN,
#   if given) run 100 commands each at the same moment: every request
#   arrives, and neither leaves anything behind.
msg_processes() {
    local label=$1 loader=$2 bin=$3 loader2=${4:-$2} bin2=${5:-$3} out before pairs
    msg_start_in "$loader" "$bin" tray-$label nmtray.exe --log "tray-$label.log" --timeout 0 --trace

    msg_start_in "$loader" "$bin" zap1 nmzap4.exe --log zap1.log --timeout 60
    out=$(cd "$msg_dir" && timeout 60 "$loader" "$bin/nmzap4.exe" --log zap2.log --timeout 5 2>/dev/null | tr -d '\r')
    msg_send_in "$loader" "$bin" --as NMService --to NMVuz --op ZOVU_DEFAULT_MESSAGE CONFIRM 'C:\a.txt' >/dev/null
    msg_wait zap1 'NMVuz stops'
    nm_expect "$label: a second nmzap4 says that it cannot receive" "$out" \
        "NMVuz cannot receive on Router0: Could not create pipe"
    nm_expect "$label: the first nmzap4 takes the next request" "$(cat "$msg_dir/zap1.out")" \
        'NMVuz <- NMService ZOVU_DEFAULT_MESSAGE ["CONFIRM", "C:\a.txt"]' "NMVuz stops"

    msg_start_in "$loader" "$bin" own4 nmwatch.exe --as NMShellExt --log own4.log --timeout 120
    out=$(cd "$msg_dir" && timeout 60 "$loader" "$bin/nmshell.exe" invoke 3 'C:\' 2>/dev/null | tr -d '\r')
    msg_send_in "$loader" "$bin" --as NMService --to NMShellExt --op ZOVU_DEFAULT_MESSAGE x >/dev/null
    msg_wait own4 'ZOVU_DEFAULT_MESSAGE'
    msg_send_in "$loader" "$bin" --as NMService --to NMShellExt --op ZOVU_STOP_WATCH >/dev/null
    nm_expect "$label: a command in another Explorer stops nothing of the process that holds Router4" \
        "$out"$'\n'"$(cat "$msg_dir/own4.out")" "InvokeCommand(3): S_OK" \
        "NMShellExt ready on Router4" 'NMShellExt <- NMService ZOVU_DEFAULT_MESSAGE ["x"]'

    # The emulated machine, whose processor is itself a program, takes more
    # than 10 minutes for 300 commands of a 32-bit process: there the soak is
    # 2 runs of 10, the pair 1 run of 10 each (the same programs and bounds).
    local runs=10 commands=100 pair_runs=2 pair_commands=50
    [ "$nm_wine32_emulated" = yes ] && runs=2 commands=10 pair_runs=1 pair_commands=10
    out=$(cd "$msg_dir" && timeout 600 "$loader" "$bin/nm_command_soak.exe" $runs $commands 3 'C:\' 2>/dev/null | tr -d '\r')
    nm_expect "$label: $runs runs of $commands commands leave no handle or thread behind" "$out" \
        "soak: $runs runs, 0 left something behind" "DllCanUnloadNow: S_OK, then the DLL unloaded"
    grep 'LEFT BEHIND' <<<"$out" | sed "s/^/  note  $label: /"

    before=$(msg_requests "tray-$label" ZOVU_RUN_NULLSCAN)
    (cd "$msg_dir" && timeout 600 "$loader" "$bin/nm_command_soak.exe" $pair_runs $pair_commands 3 'C:\' 2>/dev/null >pair1.out) &
    local first=$!
    (cd "$msg_dir" && timeout 600 "$loader2" "$bin2/nm_command_soak.exe" $pair_runs $pair_commands 3 'C:\' 2>/dev/null >pair2.out) &
    wait "$first" $!
    msg_send_in "$loader" "$bin" --as NMService --to NMTray --op ZOVU_STOP_TRAY >/dev/null
    msg_wait "tray-$label" 'NMTray stops'
    pairs=$(cat "$msg_dir/pair1.out" "$msg_dir/pair2.out" | tr -d '\r')
    nm_expect "$label: two Explorers at once, every request arrives" \
        "requests: $(($(msg_requests "tray-$label" ZOVU_RUN_NULLSCAN) - before))" \
        "requests: $((2 * (1 + pair_runs * pair_commands)))"
    if [ "$(grep -cx "soak: $pair_runs runs, 0 left something behind" <<<"$pairs")" = 2 ]; then
        wine_pass "$label: two Explorers at once, neither leaves anything behind"
    else
        wine_fail "$label: two Explorers at once, neither leaves anything behind" "$pairs"
    fi
}

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

msg_processes 64-bit "$WINE64" "$NM_BIN"
if [ -n "$NM_BIN32" ]; then
    msg_processes32() {
        msg_processes 32-bit "$WINE32" "$NM_BIN32" "$WINE64" "$NM_BIN"
        nm_stop_prefix
    }
    nm_wine32_check "messaging: the 32-bit DLL, beside a 64-bit one" msg_processes32
fi

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
