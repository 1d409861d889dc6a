# The five commands with the real DLL: nmshell.exe plays the shell, nmwatch.exe
# and nmtray.exe wait on their pipes, nmzap4.exe is started by the extension
# from the installation directory.  Every request must arrive byte for byte.
nm_new_prefix commands

cmd_c="$WINEPREFIX/drive_c"
cmd_install="$cmd_c/Program Files/Nullmark"
mkdir -p "$cmd_install" "$WINEPREFIX/vol/d" "$WINEPREFIX/vol/e" "$WINEPREFIX/vol/f"
cp "$NM_BIN/nmzap4.exe" "$cmd_install/"
for l in d e f; do ln -sfn "$WINEPREFIX/vol/$l" "$WINEPREFIX/dosdevices/$l:"; done

# Seeds the registry with regedit, from a REGEDIT4 text on drive C:.
cmd_regedit() {
    printf '%s\r\n' "$@" >"$cmd_c/seed.reg"
    nm_wine regedit /S 'C:\seed.reg' >/dev/null
}
# "UIL" where the 32-bit product writes it: the registry's 32-bit view.
cmd_set_uil() {
    cmd_regedit REGEDIT4 '' '[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Greyfell\VI4\Settings]' "\"UIL\"=\"${1//\\/\\\\}\""
}
cmd_regedit REGEDIT4 '' \
    '[HKEY_LOCAL_MACHINE\Software\Wine\Drives]' '"d:"="hd"' '"e:"="cdrom"' '"f:"="network"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Drivers]' '"Graphics"="null"'
cmd_set_uil 'C:\Program Files\Nullmark'
nm_stop_prefix  # drive types and the graphics driver are read at server start

cmd_log() { tr -d '\r' 2>/dev/null <"$cmd_c/$1.log"; }
cmd_count() { cmd_log "$1" | grep -c -- "$2" || true; }
# Waits until the log holds more than N lines matching PATTERN (15 s at most).
cmd_wait() {
    local n
    for _ in $(seq 300); do
        n=$(cmd_count "$1" "$2")
        [ "${n:-0}" -gt "$3" ] && return 0
        sleep 0.05
    done
    return 1
}
cmd_last_packet() { cmd_log "$1" | grep '^  packet: ' | tail -n 1 | sed 's/^  packet: //'; }
# nmzap4.exe runs with its bare command line, so without --hex: its one-line
# description is checked instead.  It lists the strings only when the data is
# exactly a string list (length included), so it pins the bytes down as well.
cmd_last_request() { cmd_log "$1" | grep ' <- ' | tail -n 1; }
cmd_described() {
    local line="NMVuz <- NMShellExt ZOVU_DEFAULT_MESSAGE [" sep="" s
    for s in "$@"; do line+="$sep\"$s\""; sep=", "; done
    echo "$line]"
}
# nmshell.exe run from C:\, where nmzap4.exe writes its log.
cmd_invoke() { (cd "$cmd_c" && nm_wine "$NM_BIN/nmshell.exe" invoke "$@"); }

for c in nmwatch nmtray; do
    (cd "$cmd_c" && timeout 300 "$WINE64" "$NM_BIN/$c.exe" --log "$c.log" --hex >/dev/null 2>&1 &)
done
for c in nmwatch nmtray; do
    cmd_wait "$c" "ready on" 0 || wine_fail "$c.exe did not start" "$(cat "$cmd_c/$c.log" 2>/dev/null)"
done

# name | component | offset | destination | operation | payload... ; paths after "--"
cmd_row() {
    local name=$1 component=$2 offset=$3 dest=$4 op=$5
    shift 5
    local payload=() paths=()
    while [ "$1" != -- ]; do payload+=("$1"); shift; done
    shift
    paths=("$@")
    # A component logs a request's line, then its packet: the packet's line
    # is the one to wait for, or the last one read may be the request before.
    local mark="  packet: " before out expected got
    [ "$component" = nmzap4 ] && mark='stops'
    before=$(cmd_count "$component" "$mark")
    out=$(cmd_invoke "$offset" "${paths[@]}")
    if [ "$component" = nmzap4 ]; then
        expected=$(cmd_described "${payload[@]}")
    else
        expected=$(nm_packet "$dest" "$op" "${payload[@]}")
    fi
    if ! cmd_wait "$component" "$mark" "${before:-0}"; then
        wine_fail "$name: nothing reached $component" "$out"
        return
    fi
    if [ "$component" = nmzap4 ]; then got=$(cmd_last_request nmzap4); else got=$(cmd_last_packet "$component"); fi
    if [ "$got" = "$expected" ] && grep -qxF "InvokeCommand($offset): S_OK" <<<"$out"; then
        wine_pass "$name"
    else
        wine_fail "$name" "expected: $expected
got:      $got
$out"
    fi
}

cmd_row "VUZ, share path first: nmzap4.exe started, request to NMVuz" nmzap4 0 0 0 \
    CONFIRM '\\server\share\a.txt' 'C:\b.txt' -- '\\server\share\a.txt' 'C:\b.txt'
cmd_row "VUZ, a file on the CD-ROM: nmzap4.exe" nmzap4 0 0 0 CONFIRM 'E:\setup\read.me' -- 'E:\setup\read.me'
cmd_row "VUZ, a mapped network drive: nmzap4.exe" nmzap4 0 0 0 CONFIRM 'F:\x.doc' -- 'F:\x.doc'
cmd_row "VUZ, fixed disk first: ZOVU_RUN_VUZ to NMWatch" nmwatch 0 6 4 \
    CONFIRM 'C:\b.txt' '\\server\share\a.txt' -- 'C:\b.txt' '\\server\share\a.txt'
cmd_row "Deep Clean of a folder: its drive" nmwatch 1 6 10 NORMAL SECURE CANCEL E -- 'E:\data'
cmd_row "Deep Clean of roots keeps repeats" nmwatch 1 6 10 NORMAL SECURE CANCEL CC -- 'C:\' 'C:\temp'
cmd_row "Quick Clean of two roots" nmwatch 2 6 10 NORMAL QUICK CANCEL CD -- 'C:\' 'D:\'
cmd_row "Scan keeps the shell's letter case" nmtray 3 3 6 d -- 'd:\'
cmd_row "Configuration: a packet without data" nmtray 4 3 5 -- 'C:\a.txt'

cmd_set_uil 'C:\Program Files\Nullmark\'
cmd_row "installation directory with a trailing backslash" nmzap4 0 0 0 CONFIRM 'E:\x' -- 'E:\x'
cmd_set_uil 'C:\Program Files\Nullmark'

out=$(cmd_invoke 5 'C:\a.txt')
nm_expect "offset 5 is E_INVALIDARG" "$out" "InvokeCommand(5): E_INVALIDARG"

rm -f "$cmd_install/nmzap4.exe"
before=$(cmd_count nmzap4 "stops")
out=$(cmd_invoke 0 '\\server\share\a.txt')
nm_expect "nmzap4.exe missing: the box" "$out" \
    'message box "Error":' \
    '  Program C:\Program Files\Nullmark\nmzap4.exe was not located on your computer.' \
    '  You must reinstall Nullmark or restore the program to its original location.' \
    'InvokeCommand(0): S_OK'
sleep 0.5
if [ "$(cmd_count nmzap4 "stops")" = "${before:-0}" ] && [ "$(grep -c '^message box' <<<"$out")" = 1 ]; then
    wine_pass "nmzap4.exe missing: one box, nothing started or sent"
else
    wine_fail "nmzap4.exe missing: one box, nothing started or sent" "$out"
fi

# The packaging files import cleanly and name the extension's class.
cmd_clsid='{5E2C9A71-3B04-4F6D-9A18-C7D2E40B6F53}'
cp "$NM_ROOT/packaging/NMShell402-register.reg" "$NM_ROOT/packaging/NMShell402-unregister.reg" "$cmd_c/"
if nm_wine regedit /S 'C:\NMShell402-register.reg' >/dev/null; then
    out=$(nm_wine reg query "HKCR\\CLSID\\$cmd_clsid\\InprocServer32" /reg:64)
    out+=$'\n'$(for k in '*' Directory Drive; do nm_wine reg query "HKCR\\$k\\shellex\\ContextMenuHandlers\\Nullmark" /reg:64; done)
    out+=$'\n'$(nm_wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved' /v "$cmd_clsid" /reg:64)
    if grep -q 'NMShell402.dll' <<<"$out" && grep -q 'ThreadingModel.*Apartment' <<<"$out" &&
        [ "$(grep -c "$cmd_clsid" <<<"$out")" -ge 4 ]; then
        wine_pass "register.reg: class, three handlers and the approval"
    else
        wine_fail "register.reg: class, three handlers and the approval" "$out"
    fi
else
    wine_fail "register.reg imports"
fi
nm_wine regedit /S 'C:\NMShell402-unregister.reg' >/dev/null
out=$(nm_wine reg query "HKCR\\CLSID\\$cmd_clsid" /reg:64; nm_wine reg query 'HKCR\*\shellex\ContextMenuHandlers\Nullmark' /reg:64)
if grep -q "$cmd_clsid\|InprocServer32" <<<"$out"; then
    wine_fail "unregister.reg removes the class and the handlers" "$out"
else
    wine_pass "unregister.reg removes the class and the handlers"
fi

# 3,000 threads through the DLL, one after another, each taking the C++
# runtime's per-thread state on the way (nm_thread_soak.exe): what the
# runtime keeps for a thread goes with it, through DllMain; then 100 loads of
# the DLL, one such thread each, and not one TLS slot kept.  A watcher of its
# own takes the soak's requests, after every check of the others' logs.
nm_stop_prefix
(cd "$cmd_c" && timeout 900 "$WINE64" "$NM_BIN/nmwatch.exe" --log soak-nmwatch.log >/dev/null 2>&1 &)
if cmd_wait soak-nmwatch "ready on" 0; then
    out=$(cd "$cmd_c" && NM_WINE_TIMEOUT=900 nm_wine "$NM_BIN/nm_thread_soak.exe" 3000 0 'C:\docs\a.txt')
    nm_expect "thread soak: 3,000 threads, the heaps do not grow; 100 loads keep no TLS slot" "$out" \
        "unexpected answers: 0" "heaps: no growth beyond 65536 bytes" "TLS slots: none lost"
    grep -E '^(threads of|heap bytes|private bytes|time|loads)' <<<"$out" | sed 's/^/  note  soak: /'
else
    wine_fail "thread soak: nmwatch.exe did not start" "$(cmd_log soak-nmwatch)"
fi

nm_stop_prefix
