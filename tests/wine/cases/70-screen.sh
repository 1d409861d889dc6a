# The real menu on a screen: Wine's X11 driver on an X display of our own,
# the menu opened by nmshell.exe --show and chosen with key presses as a
# person chooses.  A chosen command's request must reach its component byte
# for byte; a dismissed menu and a grayed item send nothing.  Then the
# README's pictures are taken and looked at.
source "$NM_ROOT/scripts/lib/screen.sh"
nm_new_prefix screen

scr_c="$WINEPREFIX/drive_c"
scr_log() { tr -d '\r' 2>/dev/null <"$scr_c/$1.log"; }
scr_requests() { scr_log "$1" | grep -c ' <- NMShellExt ' || true; }
scr_output() { tr -d '\r' <"$WINEPREFIX/show.txt"; }
scr_has_requests() { [ "$(scr_requests "$1")" -ge "$2" ]; }

# scr_choose KEYS PATH...: opens the menu for the paths and presses the keys.
# A grayed item chosen with Enter may leave the menu open, as Windows does; a
# person then gives up with Escape.
scr_choose() {
    local keys=$1
    shift
    if ! nm_show_open "$WINEPREFIX/show.txt" "$@"; then
        echo "(no menu appeared within 15 s)" >>"$WINEPREFIX/show.txt"
        return 1
    fi
    # shellcheck disable=SC2086  # the keys are words
    nm_show_keys -- $keys
    NM_SCREEN_POLLS=20 nm_screen_until nm_show_ended ||
        { nm_popups_at_least 1 && nm_show_keys -- Escape Escape; }
    nm_show_close
}

# scr_nothing NAME KEYS PATH...: the menu closes with nothing chosen and no
# command invoked.  That nothing was sent is checked once the commands below
# have arrived.
scr_nothing() {
    local name=$1 keys=$2 out
    shift 2
    scr_choose "$keys" "$@"
    out=$(scr_output)
    if grep -qE '^TrackPopupMenuEx: -?[0-9]+ \(nothing chosen\)$' <<<"$out" && ! grep -q '^InvokeCommand' <<<"$out"; then
        wine_pass "$name"
    else
        wine_fail "$name" "$out"
    fi
}

# scr_command NAME KEYS ID COMPONENT PACKET PATH...: the keys choose command
# ID, which is invoked with its offset; COMPONENT receives PACKET.
scr_command() {
    local name=$1 keys=$2 id=$3 component=$4 packet=$5 before out got
    shift 5
    before=$(scr_requests "$component")
    scr_choose "$keys" "$@"
    out=$(scr_output)
    nm_screen_until scr_has_requests "$component" $((before + 1))
    got=$(scr_log "$component" | grep '^  packet: ' | tail -n 1 | sed 's/^  packet: //')
    if [ "$got" = "$packet" ] && grep -qxF "TrackPopupMenuEx: $id (command offset $((id - 1)))" <<<"$out" &&
        grep -qxF "InvokeCommand($((id - 1))): S_OK" <<<"$out"; then
        wine_pass "$name"
    else
        wine_fail "$name" "expected: $packet
got:      $got
$out"
    fi
}

# scr_picture FILE MINW MAXW MINH MAXH: a PNG of plausible size, not blank.
scr_picture() {
    local f=$1 size colors w h
    size=$(identify -format '%w %h' "$f" 2>/dev/null) || { echo "no picture $f"; return 1; }
    colors=$(identify -format '%k' "$f")
    read -r w h <<<"$size"
    if [ "$w" -lt "$2" ] || [ "$w" -gt "$3" ] || [ "$h" -lt "$4" ] || [ "$h" -gt "$5" ] || [ "$colors" -lt 4 ]; then
        echo "$f: ${w}x$h, $colors colours"
        return 1
    fi
}

if nm_screen_start; then
    trap nm_screen_stop EXIT  # also when the run is cut short
    nm_screen_machine
    for c in nmwatch nmtray; do
        (cd "$scr_c" && exec timeout 120 "$WINE64" "$NM_BIN/$c.exe" --log "$c.log" --hex </dev/null >/dev/null 2>&1 &)
    done
    for c in nmwatch nmtray; do
        nm_screen_until eval "scr_log $c | grep -q 'ready on'" || wine_fail "$c.exe did not start"
    done

    scr_nothing "keys: Escape in the submenu and the menu sends nothing" "Down Right Escape Escape" \
        'D:\docs\a.txt' 'D:\docs\b.txt'
    scr_nothing "keys: Enter on the grayed VUZ of the system drive's root sends nothing" "Down Right Return" 'C:\'
    scr_nothing "keys: Enter on the grayed Deep Clean of a CD-ROM file sends nothing" "Down Right Down Return" \
        'E:\setup\readme.txt'
    # NMShellExt -> NMWatch ZOVU_RUN_NMAGENT ["NORMAL", "SECURE", "CANCEL", "D"]
    scr_command "keys: Deep Clean of two files on fixed drive D: reaches NMWatch" "Down Right Down Return" 2 nmwatch \
        "04 06 0A 00 00 00 18 4E 4F 52 4D 41 4C 00 53 45 43 55 52 45 00 43 41 4E 43 45 4C 00 44 00 00" \
        'D:\docs\a.txt' 'D:\docs\b.txt'
    # NMShellExt -> NMTray ZOVU_RUN_NMBASE, no data
    scr_command "keys: Configuration reaches NMTray" "Down Right Down Down Down Down Return" 5 nmtray \
        "04 03 05 00 00 00 00" 'D:\docs\a.txt'
    if [ "$(scr_requests nmwatch)" = 1 ] && [ "$(scr_requests nmtray)" = 1 ]; then
        wine_pass "keys: the components got the two chosen commands and nothing else"
    else
        wine_fail "keys: the components got the two chosen commands and nothing else" "$(scr_log nmwatch; scr_log nmtray)"
    fi

    shots="$WINEPREFIX/shots"
    if out=$(nm_screenshots "$shots" "$shots/out" 2>&1); then
        wine_pass "pictures: scripts/screenshots' captures run"
    else
        wine_fail "pictures: scripts/screenshots' captures run" "$out"
    fi
    bad=""
    for f in menu-two-files menu-system-root menu-cdrom-file; do
        bad+=$(scr_picture "$shots/$f.png" 150 600 80 300)
    done
    bad+=$(scr_picture "$shots/box-missing-program.png" 200 700 80 300)
    # the three menus differ where their items do (graying, " n/a")
    for pair in "menu-two-files menu-system-root" "menu-two-files menu-cdrom-file"; do
        read -r a b <<<"$pair"
        [ "$(compare -metric AE "$shots/$a.png" "$shots/$b.png" null: 2>&1)" != 0 ] || bad+="$a.png = $b.png"$'\n'
    done
    if [ -z "$bad" ]; then wine_pass "pictures: four of plausible size, the menus differing"; else wine_fail "pictures: four of plausible size, the menus differing" "$bad"; fi
    stale=""
    for f in menu-two-files menu-system-root menu-cdrom-file box-missing-program; do
        [ "$(compare -metric AE "$NM_ROOT/docs/$f.png" "$shots/$f.png" null: 2>&1)" = 0 ] || stale+="docs/$f.png "
    done
    if [ -z "$stale" ]; then
        wine_pass "pictures: the README's pictures show the current menus"
    else
        wine_fail "pictures: the README's pictures show the current menus" "differ: ${stale}(re-run scripts/screenshots)"
    fi
    nm_expect "pictures: the box was the missing-program box, answered with Enter" "$(tr -d '\r' <"$shots/out/box-missing-program.txt")" \
        "TrackPopupMenuEx: 1 (command offset 0)" \
        'message box "Error":' \
        '  Program C:\Program Files\Nullmark\nmzap4.exe was not located on your computer.' \
        '  You must reinstall Nullmark or restore the program to its original location.' \
        "InvokeCommand(0): S_OK"
else
    wine_fail "screen: an X display for Wine"
fi

nm_stop_prefix
nm_screen_stop
trap - EXIT
