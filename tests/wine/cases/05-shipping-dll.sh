# The shipping build, i686, in 32-bit Wine processes: the Win32-only unit
# tests, then the extension end to end with the 32-bit DLL against the
# 32-bit components.  These are the checks that only 4-byte pointers and the
# stdcall convention can fail: every run-time lookup (GetDiskFreeSpaceExA,
# the process-status library, the tool-help snapshot, NtFsControlFile), the
# receiving thread and the hidden window's procedure are called here by
# 32-bit code.  A 32-bit program starts slowly in the emulated machine
# (about 12 s), so the programs are few, each with many checks, and the ones
# that do not depend on each other run side by side.
if [ -z "$NM_BIN32" ]; then
    wine_fail "i686: no 32-bit build given to the suite"
    return
fi
nm_new_prefix i686
# kept after the run: the prefix to try the 32-bit programs in by hand
nm_keep_prefix

i_c="$WINEPREFIX/drive_c"
i_install="$i_c/Program Files/Nullmark"
mkdir -p "$i_install" "$WINEPREFIX/vol/d" "$WINEPREFIX/vol/e"
cp "$NM_BIN32/nmzap4.exe" "$i_install/"
cp "$NM_BIN32/nmutil.exe" "$i_c/nmutil-nt4.exe"
cp "$NM_BIN32/nmtray.exe" "$i_c/nmtray98.exe"
cp "$NM_BIN32/nmsend.exe" "$i_c/nmsend98.exe"
for l in d e; do ln -sfn "$WINEPREFIX/vol/$l" "$WINEPREFIX/dosdevices/$l:"; done
nm_map_volumes
printf '%s\r\n' REGEDIT4 '' \
    '[HKEY_LOCAL_MACHINE\Software\Wine\Drives]' '"d:"="hd"' '"e:"="cdrom"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\nmutil-nt4.exe]' '"Version"="nt40"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\nmtray98.exe]' '"Version"="win98"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\nmsend98.exe]' '"Version"="win98"' \
    >"$i_c/i686.reg"
nm_wine regedit /S 'C:\i686.reg' >/dev/null

# The checks, with the prefix's server stopped first: drive types are read
# when the server starts.
i686_checks() {
    i_c="$WINEPREFIX/drive_c"
    i_install="$i_c/Program Files/Nullmark"
    i_out="$WINEPREFIX/i686-out"
    mkdir -p "$i_out"

    # i_run NAME PROGRAM ARGS...: a 32-bit program of the build run from C:\ in
    # the background, its output in $i_out/NAME; i_done waits for all of them.
    i_jobs=()
    # i_limit: its time limit, 600 s unless set.
    i_run() {
        local name=$1
        shift
        (cd "$i_c" && NM_WINE_RUN=$WINE32 NM_WINE_TIMEOUT=${i_limit:-600} nm_wine "$@" >"$i_out/$name") &
        i_jobs+=($!)
    }
    i_done() {
        wait "${i_jobs[@]}"
        i_jobs=()
    }

    # The unit tests run alone: some of them measure the machine's processes.
    NM_WINE_RUN=$WINE32 nm_gtest "i686 unit tests (Win32 calls only)" "$NM_BIN32/nm_tests.exe"

    # The installation directory, written after the unit tests (which remove the
    # settings key).  A 32-bit process on a 64-bit Windows reads HKLM\Software
    # through the registry's 32-bit view: the 32-bit DLL's settings are under
    # Wow6432Node, where a 32-bit installer writes them (this regedit is 64-bit).
    printf '%s\r\n' REGEDIT4 '' '[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Greyfell\VI4\Settings]' \
        '"UIL"="C:\\Program Files\\Nullmark"' >"$i_c/i686.reg"
    nm_wine regedit /S 'C:\i686.reg' >/dev/null

    # The components wait on their pipes, and in Windows 98 mode on their hidden
    # window; nmzap4.exe is started by the DLL.
    (cd "$i_c" && timeout 900 "$WINE32" "$NM_BIN32/nmwatch.exe" --log nmwatch.log --hex >/dev/null 2>&1 &)
    (cd "$i_c" && timeout 900 "$WINE32" 'C:\nmtray98.exe' --log nmtray98.log --hex >/dev/null 2>&1 &)
    i_run probe "$NM_BIN32/nmshell.exe" probe 'C:\docs\a.txt' 'C:\docs\b.txt'
    i_run menu "$NM_BIN32/nmshell.exe" menu 'C:\docs\a.txt' 'C:\docs\b.txt'
    i_run processes "$NM_BIN32/nmutil.exe" processes
    i_run processes-nt4 'C:\nmutil-nt4.exe' processes
    i_run ntfs "$NM_BIN32/nmutil.exe" volume O: --free
    i_run fat16 "$NM_BIN32/nmutil.exe" volume L: --free
    i_done

    nm_expect "i686 probe: the 32-bit DLL activated, two files captured" "$(cat "$i_out/probe")" \
        "DllCanUnloadNow before activation: S_OK" \
        "CreateInstance(IID_IShellExtInit): S_OK" \
        "Initialize: S_OK (data object references while held: 2)" \
        "Release: 1, then 0" \
        "DllCanUnloadNow after the release: S_OK" \
        "platform: Windows NT family" \
        "selection: 2 item(s)" \
        '  [0] C:\docs\a.txt' \
        '  [1] C:\docs\b.txt'
    nm_expect "i686 menu: two files on the system disk" "$(cat "$i_out/menu")" \
        "QueryContextMenu(indexMenu 0, idCmdFirst 1, idCmdLast 32767, uFlags 0x0): S(5)" \
        "help texts: UTF-16 (GCS_HELPTEXTW, NT family)" \
        "  [1] Nullmark >  (submenu: 7 item(s))" \
        "      [0] id 1: VUZ Selected File(s)" \
        "          help: VUZ selected file(s)" \
        "      [2] id 2: Deep Clean Drive C:" \
        "      [3] id 3: Quick Clean Drive C:" \
        "      [6] id 5: Nullmark Configuration"
    # Each lookup's answer is read back after the call: with the wrong calling
    # convention the caller's stack is off by the arguments' size and the
    # program dies or prints nonsense.
    nm_expect "i686 processes: the tool-help snapshot" "$(cat "$i_out/processes")" nmwatch.exe nmutil.exe
    nm_expect "i686 processes: NT 4's process-status library" "$(cat "$i_out/processes-nt4")" nmwatch.exe nmutil-nt4.exe
    i_line=$(grep ' NTFS ' "$WINEPREFIX/vol/made/expected.txt")
    nm_expect "i686 volume: NTFS through NtFsControlFile" "$(cat "$i_out/ntfs")" \
        "type: NTFS" "bytes per sector: 512" \
        "cluster count: $(sed -nE 's/.* clusters=([0-9]+).*/\1/p' <<<"$i_line")"
    i_line=$(grep '^fat16-small.img L ' "$WINEPREFIX/vol/made/expected.txt")
    nm_expect "i686 volume: FAT16 free clusters as fsck.fat counts them" "$(cat "$i_out/fat16")" \
        "type: FAT16" "free clusters: $(sed -nE 's/.* free=([0-9]+).*/\1/p' <<<"$i_line")"

    # Two commands end to end: to nmwatch.exe over its pipe, and to nmzap4.exe,
    # which the DLL starts; then the box when nmzap4.exe is missing.
    i_log() { tr -d '\r' 2>/dev/null <"$i_c/$1.log"; }
    # In the emulated machine a 32-bit program needs longer to reach its pipe
    # (6 to 8 s) than the sender's retries last (4.5 s), and the DLL does not
    # wait for the program it starts.  There a copy started ahead takes the
    # request, and the DLL's own copy, started as always, shows in its log.
    i_zap=nmzap4
    i_ready=(nmwatch nmtray98)
    if [ "$nm_wine32_emulated" = yes ]; then
        i_zap=zap-ahead
        i_ready+=(zap-ahead)
        (cd "$i_c" && timeout 900 "$WINE32" "$i_install/nmzap4.exe" --log zap-ahead.log --timeout 600 >/dev/null 2>&1 &)
    fi
    for c in "${i_ready[@]}"; do
        for _ in $(seq 1200); do i_log $c | grep -q "ready on" && break; sleep 0.5; done
    done
    i_run send98 'C:\nmsend98.exe' --to NMTray --op ZOVU_RUN_NULLSCAN d
    i_run vuz-watch "$NM_BIN32/nmshell.exe" invoke 0 'C:\b.txt' '\\server\share\a.txt'
    i_run vuz-zap "$NM_BIN32/nmshell.exe" invoke 0 '\\server\share\a.txt' 'C:\b.txt'
    # 3,000 threads through the DLL, one after another, each taking the C++
    # runtime's per-thread state on the way (nm_thread_soak.exe): what the
    # runtime keeps for a thread goes with it, through DllMain; then 100
    # loads of the DLL keep no TLS slot.  The emulated machine runs 100
    # threads after 20 to warm up, and 30 loads (a thread or a load costs
    # most of a second there): every path in a 32-bit process, and the TLS
    # slots, but too few for the heap bound to see a thread's lost runtime
    # state (some 150 bytes); the x64 soak of case 50 sees it on every
    # machine.  Its lines say how long the threads and the loads took.
    i_soak=(3000 3,000 100)
    [ "$nm_wine32_emulated" = yes ] && i_soak=(100 100 30 --warm-up 20 --loads 30)
    i_limit=1200 i_run soak "$NM_BIN32/nm_thread_soak.exe" "${i_soak[@]:3}" "${i_soak[0]}" 0 'C:\docs\a.txt'
    i_done
    nm_expect "i686 thread soak: ${i_soak[1]} threads, the heaps do not grow; ${i_soak[2]} loads keep no TLS slot" \
        "$(cat "$i_out/soak")" "unexpected answers: 0" "heaps: no growth beyond 65536 bytes" "TLS slots: none lost"
    grep -E '^(threads of|heap bytes|private bytes|time|loads)' "$i_out/soak" | sed 's/^/  note  i686 soak: /'
    for _ in $(seq 600); do i_log $i_zap | grep -q "stops" && break; sleep 0.5; done
    if [ "$i_zap" != nmzap4 ]; then
        # The DLL's copy came up after the one ahead of it had ended (it then
        # waits 30 s for a request and ends) or while it still held the pipe
        # (it says so and ends).  Nothing is sent to end it: a send that
        # arrives after its wait finds no receiver, and its box waits for an
        # answer until the program's time limit (ten minutes here).
        for _ in $(seq 600); do i_log nmzap4 | grep -qE "stops|cannot receive" && break; sleep 0.5; done
        if i_log nmzap4 | grep -qxE "NMVuz (ready on Router0|cannot receive on Router0: .*)"; then
            wine_pass "i686 invoke: the DLL starts nmzap4.exe"
        else
            wine_fail "i686 invoke: the DLL starts nmzap4.exe" "$(i_log nmzap4)"
        fi
    fi
    nm_expect "i686 invoke: ZOVU_RUN_VUZ to nmwatch.exe byte for byte" \
        "$(cat "$i_out/vuz-watch"; i_log nmwatch)" \
        "InvokeCommand(0): S_OK" \
        'NMWatch <- NMShellExt ZOVU_RUN_VUZ ["CONFIRM", "C:\b.txt", "\\server\share\a.txt"]' \
        "  packet: $(nm_packet 6 4 CONFIRM 'C:\b.txt' '\\server\share\a.txt')"
    nm_expect "i686 win98: WM_COPYDATA to the hidden window's procedure" "$(cat "$i_out/send98"; i_log nmtray98)" \
        "nmsend: NMShellExt -> NMTray ZOVU_RUN_NULLSCAN: sent" \
        "  packet: $(nm_packet 3 6 d)"
    nm_expect "i686 invoke: nmzap4.exe started by the DLL takes the request" \
        "$(cat "$i_out/vuz-zap"; i_log $i_zap)" \
        "InvokeCommand(0): S_OK" \
        'NMVuz <- NMShellExt ZOVU_DEFAULT_MESSAGE ["CONFIRM", "\\server\share\a.txt", "C:\b.txt"]'

    rm -f "$i_install/nmzap4.exe"
    i_run box "$NM_BIN32/nmshell.exe" invoke 0 '\\server\share\a.txt'
    i_done
    nm_expect "i686 invoke: nmzap4.exe missing, the box" "$(cat "$i_out/box")" \
        'message box "Error":' \
        '  Program C:\Program Files\Nullmark\nmzap4.exe was not located on your computer.' \
        '  You must reinstall Nullmark or restore the program to its original location.' \
        'InvokeCommand(0): S_OK'

    nm_stop_prefix
}
nm_wine32_check i686 i686_checks
