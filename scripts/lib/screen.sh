# A screen for the Windows build under Wine: an X display of our own (Xvfb),
# Wine's X11 driver drawing on it, nmshell.exe's real popup menu driven with
# keys as a person drives it, and pictures of what is on the screen.
# Sourced after tools.sh; the caller sets WINEPREFIX and NM_BIN.  Used by
# scripts/screenshots and the Wine suite.

NM_OWNER_TITLE="nmshell menu"  # the title of nmshell.exe's window that owns the menu
NM_SCREEN_POLLS=300             # 0.05 s each: a window missing for 15 s is missing
nm_screen_pid=""
nm_show_pid=""

# Starts Xvfb on a free display from :70 to :99 and exports DISPLAY.  The lock
# file names the server that won a display, so two runs starting at once
# cannot take the same one.  A display whose lock is being made (.tXN-lock) is
# taken too: one left behind by a server that died then (a full disk) would
# keep a new server waiting for ever.
nm_screen_start() {
    local first=$((70 + RANDOM % 30)) i n
    for i in $(seq 0 29); do
        n=$((70 + (first - 70 + i) % 30))
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.tX$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        nm_screen_pid=$!
        for _ in $(seq 100); do
            kill -0 "$nm_screen_pid" 2>/dev/null || break
            if [ "$(tr -d ' \n' 2>/dev/null <"/tmp/.X$n-lock")" = "$nm_screen_pid" ] &&
                xdpyinfo -display ":$n" >/dev/null 2>&1; then
                export DISPLAY=":$n"
                return 0
            fi
            sleep 0.05
        done
        kill "$nm_screen_pid" 2>/dev/null
        wait "$nm_screen_pid" 2>/dev/null
        nm_screen_pid=""
    done
    echo "screen: no free X display from :70 to :99" >&2
    return 1
}

nm_screen_stop() {
    [ -n "$nm_show_pid" ] && kill "$nm_show_pid" 2>/dev/null
    if [ -n "$nm_screen_pid" ]; then
        kill "$nm_screen_pid" 2>/dev/null
        wait "$nm_screen_pid" 2>/dev/null
    fi
    nm_screen_pid=""
    unset DISPLAY
}

# Makes the prefix draw on the display, as a small Windows machine: C: the
# system drive, D: a second hard disk, E: a CD-ROM, the product installed in
# C:\Program Files\Nullmark without its nmzap4.exe.  Wine's fonts are copied
# in (the prefix does not see them otherwise).  With no window manager Wine
# must manage its windows itself: it draws their captions and does not wait
# for a manager to withdraw a closing window (2 s per program otherwise).
nm_screen_machine() {
    local c="$WINEPREFIX/drive_c" d
    for d in d e; do
        mkdir -p "$WINEPREFIX/vol/$d"
        ln -sfn "$WINEPREFIX/vol/$d" "$WINEPREFIX/dosdevices/$d:"
    done
    mkdir -p "$c/Program Files/Nullmark" "$c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$c/windows/Fonts/"
    printf '%s\r\n' REGEDIT4 '' \
        '[HKEY_CURRENT_USER\Software\Wine\Drivers]' '"Graphics"=-' '' \
        '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '"Decorated"="N"' '' \
        '[HKEY_LOCAL_MACHINE\Software\Wine\Drives]' '"d:"="hd"' '"e:"="cdrom"' '' \
        '[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Greyfell\VI4\Settings]' '"UIL"="C:\\Program Files\\Nullmark"' \
        >"$c/screen.reg"
    "$WINE64" regedit /S 'C:\screen.reg' >/dev/null 2>&1
    # the graphics driver and the drive types are read when the server starts
    "$WINESERVER" -k >/dev/null 2>&1
    "$WINESERVER" -w >/dev/null 2>&1
}

# Polls until COMMAND succeeds, at most NM_SCREEN_POLLS times.
nm_screen_until() {
    for _ in $(seq "$NM_SCREEN_POLLS"); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

# "X Y W H" of an X window.
nm_geometry() {
    xdotool getwindowgeometry --shell "$1" | awk -F= '{ v[$1] = $2 } END { print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"] }'
}

# The visible popups of nmshell.exe (unnamed windows), one "X Y W H" a line.
nm_popups() {
    local w x y width height
    for w in $(xdotool search --onlyvisible --class '^nmshell\.exe$' 2>/dev/null); do
        [ -z "$(xdotool getwindowname "$w" 2>/dev/null)" ] || continue
        read -r x y width height <<<"$(nm_geometry "$w")"
        [ "${width:-0}" -gt 1 ] && echo "$x $y $width $height"
    done
    return 0
}
nm_popups_at_least() { [ "$(nm_popups | wc -l)" -ge "$1" ]; }
nm_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
nm_window_shown() { [ -n "$(nm_window "$1")" ]; }

# nm_show_open OUT PATH...: nmshell.exe menu --show PATH... in the background
# (from C:\, output to OUT), then waits for its menu.  Fails in seconds, with
# the program stopped, when no menu appears.
nm_show_open() {
    local out=$1
    shift
    xdotool mousemove 1000 700  # the pointer off the menu: only keys choose
    (cd "$WINEPREFIX/drive_c" && exec timeout 60 "$WINE64" "$NM_BIN/nmshell.exe" menu --show "$@" \
        </dev/null >"$out" 2>/dev/null) &
    nm_show_pid=$!
    nm_screen_until nm_popups_at_least 1 && nm_screen_until nm_window_shown "$NM_OWNER_TITLE" && return 0
    nm_show_close
    return 1
}

# nm_show_keys [TITLE] -- KEY...: key presses to the window TITLE (the menu's
# owner unless given), given the keyboard first as a person's click would.
nm_show_keys() {
    local title=$NM_OWNER_TITLE
    [ "$1" != -- ] && title=$1 && shift
    shift
    xdotool windowfocus --sync "$(nm_window "$title")" key --delay 40 "$@"
}

nm_show_ended() { ! kill -0 "$nm_show_pid" 2>/dev/null; }

# Waits for nmshell.exe to end (15 s at most, then stops it).
nm_show_close() {
    [ -n "$nm_show_pid" ] || return 0
    nm_screen_until nm_show_ended || kill "$nm_show_pid" 2>/dev/null
    wait "$nm_show_pid" 2>/dev/null
    nm_show_pid=""
}

# nm_screen_grab FILE: the whole screen once it has settled: a window is shown
# before it is painted, so the screen is taken until two takes agree.
nm_screen_grab() {
    local take="$1.take.png"
    import -display "$DISPLAY" -window root "$1" || return 1
    for _ in $(seq 50); do
        sleep 0.05
        import -display "$DISPLAY" -window root "$take" || break
        if [ "$(compare -metric AE "$1" "$take" null: 2>&1)" = 0 ]; then
            rm -f "$take"
            return 0
        fi
        mv "$take" "$1"
    done
    rm -f "$take"
    return 1
}

# nm_shot_menus OUT.png: the open popups, cut out of the screen and laid on a
# transparent picture of their joint extent.
nm_shot_menus() {
    local out=$1 shot="$1.screen.png" x y w h minx=99999 miny=99999 maxx=0 maxy=0 rows
    rows=$(nm_popups)
    [ -n "$rows" ] || return 1
    nm_screen_grab "$shot" || return 1
    while read -r x y w h; do
        ((x < minx)) && minx=$x
        ((y < miny)) && miny=$y
        ((x + w > maxx)) && maxx=$((x + w))
        ((y + h > maxy)) && maxy=$((y + h))
    done <<<"$rows"
    local args=(-size "$((maxx - minx))x$((maxy - miny))" xc:none)
    while read -r x y w h; do
        args+=(\( "$shot" -crop "${w}x${h}+$x+$y" +repage \) -geometry "+$((x - minx))+$((y - miny))" -composite)
    done <<<"$rows"
    convert "${args[@]}" -strip "$out"  # -strip: no time stamps, so an unchanged picture is an unchanged file
    local rc=$?
    rm -f "$shot"
    return $rc
}

# nm_shot_window TITLE OUT.png: one window, cut out of the screen.
nm_shot_window() {
    local w x y width height shot="$2.screen.png" rc
    w=$(nm_window "$1")
    [ -n "$w" ] || return 1
    read -r x y width height <<<"$(nm_geometry "$w")"
    nm_screen_grab "$shot" && convert "$shot" -crop "${width}x$height+$x+$y" +repage -strip "$2"
    rc=$?
    rm -f "$shot"
    return $rc
}

# nm_shot_submenu LOG OUT.png PATH...: opens the menu for PATH... and points
# at "Nullmark", as a person does, so that the submenu opens with none of its
# items selected; pictures it and dismisses the menu.
nm_shot_submenu() {
    local log=$1 out=$2 x y w h
    shift 2
    nm_show_open "$log" "$@" || return 1
    read -r x y w h <<<"$(nm_popups | head -n 1)"
    xdotool mousemove "$((x + w / 2))" "$((y + h / 2))"  # the middle item is "Nullmark"
    nm_screen_until nm_popups_at_least 2 && nm_shot_menus "$out"
    local rc=$?
    xdotool mousemove 1000 700
    nm_show_keys -- Escape Escape
    nm_show_close
    return $rc
}

# nm_shot_box LOG OUT.png: VUZ of a file on a share, chosen with keys, while
# nmzap4.exe is missing: the box pictured, then answered with Enter.
nm_shot_box() {
    local rc=1
    if nm_show_open "$1" '\\server\share\report.txt' && nm_show_keys -- Down Right Return &&
        nm_screen_until nm_window_shown Error && nm_shot_window Error "$2"; then
        nm_show_keys Error -- Return
        rc=0
    fi
    nm_show_close
    return $rc
}

# nm_screenshots DIR [OUTPUTS]: the README's pictures into DIR, and what
# nmshell.exe printed for each into OUTPUTS/NAME.txt when OUTPUTS is given.
# Needs nm_screen_machine's prefix.  Says which picture failed.
nm_screenshots() {
    local dir=$1 outputs=${2:-} failed=0
    [ -n "$outputs" ] || outputs=$(mktemp -d)
    mkdir -p "$dir" "$outputs"
    nm_shot_submenu "$outputs/menu-two-files.txt" "$dir/menu-two-files.png" 'C:\docs\report.txt' 'C:\docs\budget.xls' ||
        failed=$(nm_shot_failed "the menu for two files on a fixed drive")
    nm_shot_submenu "$outputs/menu-system-root.txt" "$dir/menu-system-root.png" 'C:\' ||
        failed=$(nm_shot_failed "the menu for the system drive's root")
    nm_shot_submenu "$outputs/menu-cdrom-file.txt" "$dir/menu-cdrom-file.png" 'E:\setup\readme.txt' ||
        failed=$(nm_shot_failed "the menu for a file on a CD-ROM")
    nm_shot_box "$outputs/box-missing-program.txt" "$dir/box-missing-program.png" ||
        failed=$(nm_shot_failed "the box for a missing nmzap4.exe")
    [ -n "${2:-}" ] || rm -rf "$outputs"
    return "$failed"
}
nm_shot_failed() {
    echo "screen: no picture of $1" >&2
    echo 1
}
