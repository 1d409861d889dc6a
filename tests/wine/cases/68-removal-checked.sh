# Removal that believes only what it has checked, on a Wine drive.  Wine shows
# a Unix link as what it leads to (a link to a file lists as a plain file, a
# link to a folder opens as that folder), lists Unix names that hold a
# backslash as they are, lets names differ only in case, accepts a delete
# that its Unix side then cannot do (chattr +i), and keeps attributes with
# the file, not with a name.  Each check makes its trees first, has the
# program of the same bitness list them, then removes and compares the
# outside: bytes, modes (Wine's read-only) and extended attributes (its
# hidden and system).
nm_new_prefix removal-checked

k_vol="$WINEPREFIX/vol"
# K: and M:, two drives with the same serial number (a drive's folder
# copied with its serial)
for k_letter in k m; do
    mkdir -p "$k_vol/$k_letter"
    echo 4b1d5e7a >"$k_vol/$k_letter/.windows-serial"
    ln -sfn "$k_vol/$k_letter" "$WINEPREFIX/dosdevices/$k_letter:"
done
k_util() {  # BITS ARGS...: nmutil of that bitness, in a folder of its own log
    local bits=$1 run
    shift
    run=$(mktemp -d "$WINEPREFIX/drive_c/run.XXXXXX") || return 125
    (cd "$run" && if [ "$bits" = 32 ]; then nm_wine32 "$NM_BIN32/nmutil.exe" "$@"; else nm_wine "$NM_BIN/nmutil.exe" "$@"; fi)
}
# Every entry below $1 with its kind and mode, each file's bytes and every
# entry's extended attributes.
k_state() {
    (cd "$1" && find . -printf '%y %m %p\n' | LC_ALL=C sort && find . -type f -exec md5sum {} + | LC_ALL=C sort &&
        python3 -c 'import os,sys
for d,ds,fs in sorted(os.walk(".")):
    for n in sorted(ds+fs):
        p=os.path.join(d,n)
        print(p, sorted((a, os.getxattr(p,a,follow_symlinks=False)) for a in os.listxattr(p,follow_symlinks=False)))')
}
k_same() {  # NAME BEFORE DIR...: each DIR's state, one after the other, is BEFORE
    local now dir
    now=$(for dir in "${@:3}"; do k_state "$dir"; done)
    [ "$now" = "$2" ] && wine_pass "$1" || wine_fail "$1" "$(diff <(echo "$2") <(echo "$now"))"
}
k_left() {  # NAME DIR EXPECTED: what is left below DIR, as find lists it
    local left
    left=$(cd "$2" && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' ')
    [ "$left" = "$3" ] && wine_pass "$1" || wine_fail "$1" "left: $left"
}

k_checks() {
    local bits=$1 top="$k_vol/k/r$1" out before holder i out_text held swapped c_side c_before fds k_file k_folder k_drive k_runs k_locked
    out="$top/out"
    mkdir -p "$out/sub" "$top/fl" "$top/tw/ClEAN" "$top/bs/lnk\\sub" "$top/hl" "$top/im" "$top/sw" "$top/od"
    echo victim >"$out/victim.txt"
    # (out/sub stays empty: the program's listing of "lnk\sub" would go through lnk)
    echo ro >"$out/ro.txt"
    chmod 444 "$out/ro.txt"
    # file links, absolute and relative, beside a plain file
    ln -s "$out/victim.txt" "$top/fl/abs.txt"
    ln -s ../out/victim.txt "$top/fl/rel.txt"
    echo x >"$top/fl/plain.txt"
    # a real folder and a link to the outside that differ only in case
    echo x >"$top/tw/ClEAN/f.txt"
    ln -s "$out" "$top/tw/clEAN"
    # names holding a backslash beside a link of their first part
    ln -s "$out" "$top/bs/lnk"
    echo x >"$top/bs/lnk\\victim.txt"
    # a read-only file outside with a second name inside, and one of its own
    ln "$out/ro.txt" "$top/hl/second.txt"
    echo x >"$top/hl/alone.txt"
    chmod 444 "$top/hl/alone.txt"
    # a file the Unix side will not unlink
    echo x >"$top/im/locked.txt"
    echo x >"$top/im/free.txt"
    # a file link to the same path on another drive, and a named folder
    # that is a link of that kind: under Wine each opens as its target, whose
    # name below its drive's root is the very name listed on K:.  On C: (a
    # serial number of its own) and on M: (K:'s serial number).
    c_side="$WINEPREFIX/drive_c"
    mkdir -p "$c_side/r$bits/od" "$c_side/odn$bits" "$k_vol/m/r$bits/odm" "$k_vol/m/odm$bits" "$top/odm"
    for i in "$c_side/r$bits/od" "$c_side/odn$bits" "$k_vol/m/r$bits/odm" "$k_vol/m/odm$bits"; do
        echo victim >"$i/f.txt"
    done
    ln -s "$c_side/r$bits/od/f.txt" "$top/od/f.txt"
    ln -s "$c_side/odn$bits" "$k_vol/k/odn$bits"
    ln -s "$k_vol/m/r$bits/odm/f.txt" "$top/odm/f.txt"
    ln -s "$k_vol/m/odm$bits" "$k_vol/k/odm$bits"
    # a folder swapped for a link while the walk waits on a held file, one
    # that comes before the folders whether the listing is by name or in
    # the Unix side's own order: named before them, and of some such
    # candidates the first that the Unix side lists
    for i in $(seq 12); do mkdir "$top/sw/s$i" && echo x >"$top/sw/s$i/f.txt"; done
    for i in $(seq 40); do echo x >"$top/sw/a$i.txt"; done
    held=$(ls -U "$top/sw" | grep -m 1 '^a')
    for i in $(seq 40); do [ "a$i.txt" = "$held" ] || rm "$top/sw/a$i.txt"; done
    nm_sees_tree "$bits-bit: the program sees the trees, name for name, before removing" "$bits" "K:\\r$bits" "$top"
    before=$(k_state "$out")
    c_before=$(for i in "$c_side/r$bits" "$c_side/odn$bits" "$k_vol/m/r$bits" "$k_vol/m/odm$bits"; do k_state "$i"; done)

    # Twins of a folder on the way: a file link in the named folder into its
    # case twin beside it, or into the twin of a folder above it (by case, or
    # by a trailing dot, which Wine drops from every name it reports).  Made
    # after the listing above: Wine's listing of "d." is no concern of it.
    mkdir -p "$top/ct/X" "$top/ct/x" "$top/A2/t" "$top/a2/t" "$top/dt/d./t" "$top/dt/d/t" "$top/dn/e./t" \
        "$top/st/x." "$top/st/x" "$k_vol/k/q$bits./t" "$k_vol/k/q$bits/t" "$top/sd/a.." "$top/sd/a." "$top/pt/a" \
        "$top/pt/a." "$top/dd/1/x../s" "$top/dd/2/x /s"
    for i in ct/x a2/t dt/d/t st/x sd/a. pt/a.; do echo victim >"$top/$i/victim.txt"; done
    ln -s ../a./victim.txt "$top/sd/a../victim.txt"  # twins that both end in dots
    ln -s ../a./victim.txt "$top/pt/a/victim.txt"    # a plain name whose twin ends in a dot
    echo own >"$top/dd/1/x../own.txt" && echo own >"$top/dd/2/x /own.txt"
    echo victim >"$k_vol/k/q$bits/t/victim.txt"  # a twin at the drive's root
    ln -s "../../q$bits/t/victim.txt" "$k_vol/k/q$bits./t/victim.txt"
    ln -s ../x/victim.txt "$top/ct/X/victim.txt"
    ln -s ../../a2/t/victim.txt "$top/A2/t/victim.txt"
    ln -s ../../d/t/victim.txt "$top/dt/d./t/victim.txt"
    ln -s ../x/victim.txt "$top/st/x./victim.txt"
    echo x >"$top/dn/e./t/f.txt"
    k_twins=$(cd "$top" && find ct/x a2 dt/d st/x sd/a. pt/a. -type f -exec md5sum {} + | LC_ALL=C sort)

    # The removals that do not depend on each other run side by side, each
    # in a folder of its own (its own log): in the emulated machine a 32-bit
    # program takes some ten seconds to start.
    k_runs="$WINEPREFIX/runs-$bits"
    mkdir -p "$k_runs"
    k_locked=no
    chattr +i "$top/im/locked.txt" 2>/dev/null && k_locked=yes
    for i in "fl r$bits\\fl" "tw-clean r$bits\\tw\\clean" "bs r$bits\\bs" "od r$bits\\od" "odn odn$bits" \
             "odm r$bits\\odm" "odm-folder odm$bits" "hl r$bits\\hl" "im r$bits\\im" "ct r$bits\\ct\\X" \
             "a2 r$bits\\A2\\t" "dt \\\\?\\K:\\r$bits\\dt\\d.\\t" "dn \\\\?\\K:\\r$bits\\dn\\e.\\t" \
             "st \\\\?\\K:\\r$bits\\st\\x." "rt \\\\?\\K:\\q$bits.\\t" "sd \\\\?\\K:\\r$bits\\sd\\a.." \
             "pt r$bits\\pt\\a" "dd1 \\\\?\\K:\\r$bits\\dd\\1\\x.."; do
        read -r k_file k_folder <<<"$i"
        [ "$k_file" = im ] && [ "$k_locked" = no ] && continue
        [[ "$k_folder" == \\* ]] || k_folder="K:\\$k_folder"
        (k_util "$bits" remove "$k_folder" >"$k_runs/$k_file"; echo "status $?" >>"$k_runs/$k_file") &
    done
    (k_util "$bits" remove --files-only "K:\\r$bits\\ct\\X" >"$k_runs/ct-files"; echo "status $?" >>"$k_runs/ct-files") &
    # (a name ending in a space: read would drop it)
    (k_util "$bits" remove "\\\\?\\K:\\r$bits\\dd\\2\\x " >"$k_runs/dd2"; echo "status $?" >>"$k_runs/dd2") &
    wait
    [ "$k_locked" = yes ] && chattr -i "$top/im/locked.txt"

    nm_expect "$bits-bit file links: each stays with its record, exit status 1" "$(cat "$k_runs/fl")" "removed: no" \
        "K:\\r$bits\\fl\\abs.txt" "K:\\r$bits\\fl\\rel.txt" "status 1"
    k_left "$bits-bit file links: the links stay, the plain file goes" "$top/fl" "./abs.txt ./rel.txt "

    k_same "$bits-bit case twins: the folder named, whichever twin it opens, leaves the outside as it was" \
        "$before" "$out"
    out_text=$(k_util "$bits" remove "K:\\r$bits\\tw"; echo "status $?")
    nm_expect "$bits-bit case twins: the link stays with its record, exit status 1" "$out_text" "removed: no" \
        "K:\\r$bits\\tw\\clEAN" "status 1"
    k_left "$bits-bit case twins: the real folder goes, the link stays" "$top/tw" "./clEAN "

    for i in "ct ct\\X" "ct-files ct\\X" "a2 A2\\t"; do
        read -r k_file k_folder <<<"$i"
        nm_expect "$bits-bit a link into a twin of a folder on the way stays with its record ($k_file), exit status 1" \
            "$(cat "$k_runs/$k_file")" "removed: no" "K:\\r$bits\\$k_folder\\victim.txt" "status 1"
    done
    nm_expect "$bits-bit a folder below a name that has a twin but for its trailing dot is refused, exit status 1" \
        "$(cat "$k_runs/dt")" "removed: no" "\\\\?\\K:\\r$bits\\dt\\d.\\t" "status 1"
    nm_expect "$bits-bit a folder below a name at the drive's root that has a twin but for its dot is refused" \
        "$(cat "$k_runs/rt"; cat "$k_vol/k/q$bits/t/victim.txt")" "removed: no" "\\\\?\\K:\\q$bits.\\t" "status 1" \
        "victim"
    nm_expect "$bits-bit a named folder that has a twin but for its trailing dot is refused, exit status 1" \
        "$(cat "$k_runs/st")" "removed: no" "\\\\?\\K:\\r$bits\\st\\x." "status 1"
    for i in "sd \\\\?\\K:\\r$bits\\sd\\a.." "pt K:\\r$bits\\pt\\a"; do
        read -r k_file k_folder <<<"$i"
        nm_expect "$bits-bit a named folder whose twin Wine names alike is refused ($k_file), exit status 1" \
            "$(cat "$k_runs/$k_file")" "removed: no" "$k_folder" "status 1"
    done
    nm_expect "$bits-bit a folder below a name with a trailing dot and no twin goes, exit status 0" \
        "$(cat "$k_runs/dn")" "removed: yes" "status 0"
    for i in dd1 dd2; do
        nm_expect "$bits-bit a named folder ending in dots or a space, with no twin, goes ($i), exit status 0" \
            "$(cat "$k_runs/$i")" "removed: yes" "status 0"
    done
    k_left "$bits-bit named folders ending in dots or a space: emptied" "$top/dd" "./1 ./1/x.. ./2 ./2/x  "
    [ "$(cd "$top" && find ct/x a2 dt/d st/x sd/a. pt/a. -type f -exec md5sum {} + | LC_ALL=C sort)" = "$k_twins" ] &&
        [ -L "$top/ct/X/victim.txt" ] && [ -L "$top/A2/t/victim.txt" ] && [ -L "$top/dt/d./t/victim.txt" ] &&
        [ -L "$top/st/x./victim.txt" ] && [ -L "$top/sd/a../victim.txt" ] && [ -L "$top/pt/a/victim.txt" ] &&
        wine_pass "$bits-bit twins on the way: what the links lead to is as it was, the links stay" ||
        wine_fail "$bits-bit twins on the way: what the links lead to is as it was, the links stay" \
            "$(cd "$top" && find ct A2 a2 dt st sd pt -printf '%y %p\n' | LC_ALL=C sort)"

    nm_expect "$bits-bit backslash names: never opened, each recorded, exit status 1" "$(cat "$k_runs/bs")" \
        "removed: no" "K:\\r$bits\\bs\\lnk\\victim.txt" "K:\\r$bits\\bs\\lnk\\sub" "status 1"

    for i in "od odn C:" "odm odm-folder M: (K:'s serial number)"; do
        read -r k_file k_folder k_drive <<<"$i"
        nm_expect "$bits-bit a file link to the same path on $k_drive stays with its record, exit status 1" \
            "$(cat "$k_runs/$k_file")" "removed: no" "K:\\r$bits\\$k_file\\f.txt" "status 1"
        nm_expect "$bits-bit a named folder linking to the same path on $k_drive is refused, exit status 1" \
            "$(cat "$k_runs/$k_folder")" "removed: no" "status 1"
    done
    k_same "$bits-bit links to other drives: what they lead to is as it was" "$c_before" \
        "$c_side/r$bits" "$c_side/odn$bits" "$k_vol/m/r$bits" "$k_vol/m/odm$bits"

    nm_expect "$bits-bit second names: both names inside go, exit status 0" "$(cat "$k_runs/hl")" "removed: yes" \
        "status 0"
    k_left "$bits-bit second names: nothing is left inside" "$top/hl" ""

    if [ "$k_locked" = yes ]; then
        nm_expect "$bits-bit a delete that does not happen: recorded, exit status 1" "$(cat "$k_runs/im")" \
            "removed: no" "K:\\r$bits\\im\\locked.txt" "status 1"
        k_left "$bits-bit a delete that does not happen: the other file goes" "$top/im" "./locked.txt "
    else
        # Not a pass: nothing was checked.  (scripts/test runs as root, where
        # chattr works on the build's own file system.)
        echo "  note  $bits-bit a delete that does not happen: not checked, chattr +i is refused here ($(id -un), $(stat -f -c %T "$top"))"
    fi

    # The walk lists sw, then waits on the held file (held by another
    # program) for two seconds; meanwhile every folder beside it that is
    # still there (those listed after it) becomes a link to the outside.
    holder="$WINEPREFIX/hold-$bits.out"
    (timeout 60 "$WINE64" "$NM_BIN/nm_hold_file.exe" "K:\\r$bits\\sw\\$held" r 6 2>/dev/null >"$holder" &)
    for _ in $(seq 300); do grep -q holding "$holder" 2>/dev/null && break; sleep 0.05; done
    (k_util "$bits" remove "K:\\r$bits\\sw" >"$WINEPREFIX/sw-$bits.out"; echo "status $?" >>"$WINEPREFIX/sw-$bits.out") &
    # The walk's own handle on sw (the holder's is on the file inside).  Not
    # `ls | grep -q`: grep's early exit ends ls with SIGPIPE, and pipefail
    # then calls the match a failure.
    for i in $(seq 600); do
        fds=$(ls -l /proc/[0-9]*/fd 2>/dev/null)
        case $fds$'\n' in *"-> $top/sw"$'\n'*) break ;; esac
        sleep 0.01
    done
    sleep 0.3
    mkdir -p "$top/old"
    swapped=0
    for i in $(seq 12); do
        [ -d "$top/sw/s$i" ] && mv "$top/sw/s$i" "$top/old/s$i" && ln -s "$out" "$top/sw/s$i" &&
            swapped=$((swapped + 1))
    done
    wait
    # Without a folder swapped the check would check nothing.
    nm_expect "$bits-bit swapped folder: not walked, exit status 1" \
        "$(cat "$WINEPREFIX/sw-$bits.out"; ((swapped > 0)) && echo "folders swapped")" \
        "removed: no" "status 1" "folders swapped"
    k_same "$bits-bit: everything outside is byte-, mode- and attribute-identical" "$before" "$out"
}
k_checks 64
[ -n "$NM_BIN32" ] && nm_wine32_check "removal checked, 32-bit" k_checks 32

nm_stop_prefix
