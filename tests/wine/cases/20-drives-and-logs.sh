# Drives of every type mapped into the prefix, a secured-space folder on a
# fixed one, and the library's drive routines run against them.
nm_new_prefix drives

vol="$WINEPREFIX/vol"
mkdir -p "$vol"/{d,e,f,g}
for letter in d e f g; do ln -sfn "$vol/$letter" "$WINEPREFIX/dosdevices/$letter:"; done
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n"d:"="cdrom"\r\n"e:"="floppy"\r\n"f:"="network"\r\n"g:"="hd"\r\n' \
    >"$WINEPREFIX/drives.reg"
"$WINE64" regedit /S "$WINEPREFIX/drives.reg" >/dev/null 2>&1
"$WINESERVER" -w >/dev/null 2>&1
"$WINESERVER" -k >/dev/null 2>&1  # drive types are read when the server starts

secured="$vol/g/Nullmark Secured Space"
mkdir -p "$secured"
truncate -s 10000000 "$secured/a.T~P"
truncate -s 20000000 "$secured/b.T~P"
truncate -s 30000000 "$secured/c.T~P"  # above the pruning limit
truncate -s 26214400 "$secured/limit.T~P"
truncate -s 5 "$secured/other.txt"

# C: and Z: are fixed too but hold no secured space, so the list built from
# the drives has G: alone (its host file system has far more than 480 MiB free).
NM_EXPECT_DRIVE_TYPES="D:5 E:2 F:4 G:3 Q:1" \
NM_EXPECT_SECURED="G:56214400" \
NM_EXPECT_DRIVE_LIST="G" \
    nm_gtest "drive types, secured space and the built drive list" "$NM_BIN/nm_configured_drives.exe"

if [ ! -e "$secured/c.T~P" ] && [ -e "$secured/limit.T~P" ] && [ -e "$secured/other.txt" ]; then
    wine_pass "secured space: only the file above the limit was deleted"
else
    wine_fail "secured space: only the file above the limit was deleted" "$(ls -l "$secured")"
fi

nm_stop_prefix
