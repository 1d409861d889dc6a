# Removal that stays in its folder, on a Wine drive: links inside the folder
# and roots however written.  Wine 8 makes no links of its own
# (CreateSymbolicLinkA answers TRUE and makes nothing, "mklink /j" fails), so
# the links here are Unix symbolic links in the drive folder, which Wine
# shows thus: one to a folder is FILE_ATTRIBUTE_REPARSE_POINT |
# FILE_ATTRIBUTE_DIRECTORY, and RemoveDirectoryA refuses it with
# ERROR_DIR_NOT_EMPTY, so it stays and is recorded; one to a file is a plain
# file to every Win32 call (deleting it deletes the file it leads to), which
# no Win32 program can tell apart, so none is made here.  Wine cannot make
# the other reparse points (placeholders, deduplicated files) nor give a link
# attributes of its own (it sets them on the file the link leads to), and no
# program can swap a folder at a chosen moment of another's walk: the tags,
# read-only links and the swap are the host tests'; what Wine does with a
# held folder is in the portable FileSharing test.
nm_new_prefix removal-links

r_vol="$WINEPREFIX/vol"
mkdir -p "$r_vol/h" "$r_vol/outside"
ln -sfn "$r_vol/h" "$WINEPREFIX/dosdevices/h:"
r_util() { (cd "$WINEPREFIX/drive_c" && nm_wine "$NM_BIN/nmutil.exe" "$@"); }

# --- a folder link inside the folder: never entered, its target keeps all
mkdir -p "$r_vol/h/t/sub" "$r_vol/outside/deeper"
echo precious >"$r_vol/outside/precious.doc"
echo more >"$r_vol/outside/deeper/more.doc"
echo x >"$r_vol/h/t/a.txt"
echo x >"$r_vol/h/t/sub/b.txt"
ln -s "$r_vol/outside" "$r_vol/h/t/link"
ln -s "$r_vol/outside" "$r_vol/h/t/sub/nested"
out=$(r_util remove 'H:\t'; echo "status $?")
nm_expect "links: each folder link recorded as a subfolder that stays, exit status 1" "$out" \
    "removed: no" 'H:\t\link' 'H:\t\sub\nested' 'H:\t\sub' "status 1"
r_target=$(cd "$r_vol/outside" && find . -type f | sort | tr '\n' ' ')
if [ "$r_target" = "./deeper/more.doc ./precious.doc " ]; then
    wine_pass "links: the folder a link leads to keeps every file"
else
    wine_fail "links: the folder a link leads to keeps every file" "$r_target"
fi
r_left=$(cd "$r_vol/h/t" && find . | sort | tr '\n' ' ')
if [ "$r_left" = ". ./link ./sub ./sub/nested " ]; then
    wine_pass "links: everything but the links is gone"
else
    wine_fail "links: everything but the links is gone" "$r_left"
fi

# --- roots, however written: refused with the root record, nothing goes
mkdir -p "$r_vol/h/a"
echo keep >"$r_vol/h/keep.txt"
echo keep >"$r_vol/h/a/inner.txt"
for root in '' 'H:\.' 'H:\..' 'H:\a\..' 'H:\\' 'H:/.' 'H:\a\..\.'; do
    out=$(r_util remove "$root"; echo "status $?")
    nm_expect "roots: '$root' refused with the root record" "$out" "removed: no" "Drive: $root" \
        "Problem: Cleaning the root directory of a drive is not allowed!" "status 1"
done
if [ -f "$r_vol/h/keep.txt" ] && [ -f "$r_vol/h/a/inner.txt" ] && [ -d "$r_vol/h/t" ]; then
    wine_pass "roots: every file of the drive is still there"
else
    wine_fail "roots: every file of the drive is still there" "$(cd "$r_vol/h" && find . | sort)"
fi

# --- device paths: only X:\name and \\server\share\name forms are folders
for device in '\\?\GLOBALROOT\??\H:' '\\.\GLOBALROOT\??\H:\' '\\?\GLOBALROOT\DosDevices\H:' \
    '\\.\H:\a' '\\?\GLOBALROOT\Device\HarddiskVolume1'; do
    out=$(r_util remove "$device"; echo "status $?")
    nm_expect "devices: '$device' refused with the root record" "$out" "removed: no" "Drive: $device" \
        "Problem: Cleaning the root directory of a drive is not allowed!" "status 1"
done
[ -f "$r_vol/h/a/inner.txt" ] && wine_pass "devices: the drive's files are still there" ||
    wine_fail "devices: the drive's files are still there" "$(cd "$r_vol/h" && find . | sort)"

# --- a held file with a second name outside the folder is not emptied
mkdir -p "$r_vol/h/hl"
printf '%033d' 7 >"$r_vol/outside/linked.doc"
ln "$r_vol/outside/linked.doc" "$r_vol/h/hl/link.doc"
(timeout 60 "$WINE64" "$NM_BIN/nm_hold_file.exe" 'H:\hl\link.doc' rw 8 2>/dev/null >"$WINEPREFIX/hold.out" &)
for _ in $(seq 300); do grep -q holding "$WINEPREFIX/hold.out" 2>/dev/null && break; sleep 0.05; done
out=$(r_util remove 'H:\hl'; echo "status $?")
nm_expect "hard link: recorded as a file that stays, exit status 1" "$out" "removed: no" \
    "Problem: Unable to remove the following file (it may be in use):" 'H:\hl\link.doc' "status 1"
[ "$(wc -c <"$r_vol/outside/linked.doc")" = 33 ] && wine_pass "hard link: the file outside keeps its 33 bytes" ||
    wine_fail "hard link: the file outside keeps its 33 bytes" "$(wc -c <"$r_vol/outside/linked.doc")"

# --- names outside code page 1252: removed through their short names
mkdir -p "$r_vol/h/t2/数据夹"
echo x >"$r_vol/h/t2/数据.txt"
echo x >"$r_vol/h/t2/数据夹/ß.txt"
echo x >"$r_vol/h/t2/plain.txt"
nm_sees_tree "names: the program sees the folder it is to remove, name for name" 64 'H:\t2' "$r_vol/h/t2"
out=$(r_util remove 'H:\t2'; echo "status $?")
nm_expect "names: a folder holding non-ANSI names is removed, exit status 0" "$out" "removed: yes" "status 0"
r_left=$(cd "$r_vol/h/t2" && find . | sort | tr '\n' ' ')
[ "$r_left" = ". " ] && wine_pass "names: nothing is left in the folder" ||
    wine_fail "names: nothing is left in the folder" "$r_left"

nm_stop_prefix
