# The drive and file utilities with real writers and referees: shortcuts
# written by Wine's own shell and read again by lnkinfo, removal on Wine
# drives with attributes, desktop.ini and files held by another program,
# the process list with programs of our own, drives and size texts.
nm_new_prefix utilities

u_vol="$WINEPREFIX/vol"
mkdir -p "$u_vol"/{a,b,f,g}
for l in a b f g; do ln -sfn "$u_vol/$l" "$WINEPREFIX/dosdevices/$l:"; done
echo DATA >"$u_vol/g/.windows-label"
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n"a:"="floppy"\r\n"b:"="floppy"\r\n"f:"="network"\r\n"g:"="hd"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\nmutil-nt4.exe]\r\n"Version"="nt40"\r\n' \
    >"$WINEPREFIX/drive_c/utilities.reg"
nm_wine regedit /S 'C:\utilities.reg' >/dev/null
nm_stop_prefix  # drive types are read at server start
cp "$NM_BIN/nmutil.exe" "$WINEPREFIX/drive_c/nmutil-nt4.exe"

u_util() { nm_wine "$NM_BIN/nmutil.exe" "$@"; }

# --- drives and sizes: removable drives are listed without their labels
echo FLOPPY >"$u_vol/a/.windows-label"
out=$(u_util drives)
nm_expect "drives: removable, fixed and network drives with their kinds" "$out" \
    $'A:\t0' $'B:\t1' $'F:\t2' $'G:  DATA\t3'
out=$(u_util size 0 1023 1024 1572864 1073741824 5497558138880 -1)
u_sizes=$'None\n1023 Bytes\n1.00 KB\n1.50 MB\n1.00 GB\n5120.00 GB\n-1 Bytes'
if [ "$out" = "$u_sizes" ]; then wine_pass "size texts"; else wine_fail "size texts" "$out"; fi

# --- shortcuts written by Wine's shell, read by nmutil and by lnkinfo
u_links="$u_vol/g/links"
mkdir -p "$u_links" "$u_vol/g/App" "$WINEPREFIX/drive_c/Program Files/App"
touch "$u_vol/g/App/app.exe" "$WINEPREFIX/drive_c/Program Files/App/app.exe"
# name | target set | what ShortcutTarget gives
# Wine's shell finds no item list for an unreachable share: it writes the
# link without one (flag bit 0 clear) and keeps the UNC path as the link
# information's local base path, which lnkinfo reports as "Local path".
# The product's walk always takes the 16 bits at offset 76 for the item
# list's size, so there it reads the block's own size instead, starts
# beyond the end of the file and meets only zero bytes: an empty target.
u_link_rows=(
    'local-c|C:\Program Files\App\app.exe|C:\Program Files\App\app.exe'
    'local-labelled|G:\App\app.exe|G:\App\app.exe'
    'folder|G:\App|G:\App'
    'network|\\server\share\dir\file.exe|'
)
for row in "${u_link_rows[@]}"; do
    IFS='|' read -r name target expected <<<"$row"
    # The first starts the prefix's COM services: under load that took
    # over two minutes once.
    made=$(NM_WINE_TIMEOUT=300 nm_wine "$NM_BIN/nm_make_shortcut.exe" "G:\\links\\$name.lnk" "$target")
    [ "$made" = saved ] || wine_fail "shortcut $name: written by the shell" "$made"
    out=$(u_util shortcut "G:\\links\\$name.lnk")
    nm_expect "shortcut $name: ShortcutTarget gives '$expected'" "$out" "G:\\links\\$name.lnk"$'\t'"$expected"
    # The independent reader's local path, or its network path (share name
    # and suffix joined).
    ref=$(lnkinfo "$u_links/$name.lnk" 2>/dev/null)
    local_path=$(sed -n 's/^[[:space:]]*\(Local\|Network\) path[[:space:]]*:[[:space:]]*//p' <<<"$ref" | head -n 1)
    if [ "$local_path" = "$target" ]; then
        wine_pass "shortcut $name: lnkinfo reads the same target"
    else
        wine_fail "shortcut $name: lnkinfo reads the same target" "lnkinfo: '$local_path', set: '$target'
$ref"
    fi
done

# --- removal on a Wine drive
u_tree="$u_vol/g/tree"
long=$(printf 'n%.0s' $(seq 1 200))
mkdir -p "$u_tree/sub/deeper" "$u_tree/keep/inner" "$u_tree/$long"
for f in a.txt ro.txt hidden.txt system.txt sub/b.txt sub/deeper/c.txt keep/x.txt keep/inner/desktop.ini \
    desktop.ini "$long/near-limit-name-$(printf 'm%.0s' $(seq 1 30)).txt"; do
    echo data >"$u_tree/$f"
done
chmod 444 "$u_tree/ro.txt" "$u_tree/sub/deeper/c.txt"
nm_wine cmd /c 'attrib +h G:\tree\hidden.txt & attrib +s G:\tree\system.txt & attrib +h +s G:\tree\sub\b.txt' >/dev/null
out=$(cd "$WINEPREFIX/drive_c" && u_util remove 'G:\tree')
nm_expect "remove: desktop.ini stays and keeps its folders" "$out" \
    "removed: no" \
    "Problem: Unable to remove the following subdirectory (it may not be empty):" \
    'G:\tree\keep\inner' 'G:\tree\keep'
u_left=$(cd "$u_tree" && find . | sort | tr '\n' ' ')
if [ "$u_left" = ". ./desktop.ini ./keep ./keep/inner ./keep/inner/desktop.ini " ]; then
    wine_pass "remove: read-only, hidden, system and near-259-character files are gone"
else
    wine_fail "remove: read-only, hidden, system and near-259-character files are gone" "$u_left"
fi

# Starts PROGRAM holding FILE with SHARE for SECONDS; returns once it holds.
u_hold() {  # PROGRAM FILE SHARE SECONDS
    local out="$WINEPREFIX/hold-$(basename "$1").out"
    rm -f "$out"
    (timeout 60 "$WINE64" "$1" "$2" "$3" "$4" 2>/dev/null >"$out" &)
    for _ in $(seq 300); do grep -q holding "$out" 2>/dev/null && return 0; sleep 0.05; done
    wine_fail "$(basename "$1") did not start" "$(cat "$out" 2>/dev/null)"
}

# A file held by another program: emptied when it shares writing, else kept.
u_held() {  # SHARE EXPECTED-REMOVED EXPECTED-CONTENT
    mkdir -p "$u_vol/g/held"
    echo data >"$u_vol/g/held/busy.txt"
    u_hold "$NM_BIN/nm_hold_file.exe" 'G:\held\busy.txt' "$1" 6
    out=$(cd "$WINEPREFIX/drive_c" && u_util remove 'G:\held')
    nm_expect "remove: held with sharing '$1'" "$out" "removed: $2"
    local content
    content=$(cat "$u_vol/g/held/busy.txt" 2>/dev/null || echo '<gone>')
    if [ "$content" = "$3" ]; then wine_pass "remove: held with sharing '$1' leaves '$3'"; else
        wine_fail "remove: held with sharing '$1' leaves '$3'" "found: '$content'"; fi
}
u_held rw yes ""
u_held r no data
grep -q 'G:\\held\\busy.txt' <<<"$out" && wine_pass "remove: the kept file is named in its record" ||
    wine_fail "remove: the kept file is named in its record" "$out"

# --- processes: two programs of our own, by both facilities
cp "$NM_BIN/nm_hold_file.exe" "$WINEPREFIX/drive_c/nmprobe-alpha.exe"
cp "$NM_BIN/nm_hold_file.exe" "$WINEPREFIX/drive_c/nmprobe-beta.exe"
for p in alpha beta; do u_hold "$WINEPREFIX/drive_c/nmprobe-$p.exe" 'C:\utilities.reg' rwd 8; done
out=$(u_util processes)
nm_expect "processes: the snapshot lists both programs" "$out" nmprobe-alpha.exe nmprobe-beta.exe nmutil.exe
out=$(nm_wine 'C:\nmutil-nt4.exe' processes)
nm_expect "processes: NT 4's status library lists both programs" "$out" nmprobe-alpha.exe nmprobe-beta.exe nmutil-nt4.exe

# --- protected files and the watch log
echo x >"$u_vol/g/doc.txt"
mkdir -p "$u_vol/g/log"
: >"$u_vol/g/log/nmwatchlog.txt"
out=$(u_util protected 'G:\doc.txt' 'G:\tool.exe' 'G:\missing.doc' 'C:\windows\win.ini')
nm_expect "protected: rules and reasons" "$out" $'G:\\doc.txt\tyes' $'G:\\tool.exe\tno reason 1' \
    $'G:\\missing.doc\tno reason 1' $'C:\\windows\\win.ini\tno reason 1'
out=$(u_util watch-log 'G:\log' 'an event'; u_util watch-log 'G:\' 'nowhere')
nm_expect "watch-log: appended where the log exists" "$out" "written: yes" "written: no"
if [ "$(cat "$u_vol/g/log/nmwatchlog.txt")" = $'an event\r' ]; then wine_pass "watch-log: the line and its line break"; else
    wine_fail "watch-log: the line and its line break" "$(od -c "$u_vol/g/log/nmwatchlog.txt" | head)"; fi

nm_stop_prefix
