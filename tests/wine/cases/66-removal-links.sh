# Removal that stays in its folder, on a Wine drive: links inside the folder
# and roots however written.  Wine 8 makes no links of its own
# (CreateSymbolicLinkA answers TRUE and makes nothing, "mklink /j" fails), so
# the links here are Unix symbolic links in the drive folder, which Wine
# shows thus: one to a folder is FILE_ATTRIBUTE_REPARSE_POINT |
# FILE_ATTRIBUTE_DIRECTORY, and RemoveDirectoryA refuses it with
# ERROR_DIR_NOT_EMPTY, so it stays and is recorded; one to a file is a plain
# file to every Win32 call (deleting it deletes the file it leads to), which
# no Win32 program can tell apart, so none is made here.
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

nm_stop_prefix
