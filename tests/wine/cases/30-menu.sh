# The real DLL's context menu, built by nmshell.exe into a real popup menu and
# read back item by item, on Wine drives of each type and with settings
# seeded in the registry.
nm_new_prefix menu

# D: a second hard disk, E: a CD-ROM, F: a network drive, A: a floppy.
for d in a d e f; do
    mkdir -p "$WINEPREFIX/vol/$d"
    ln -sfn "$WINEPREFIX/vol/$d" "$WINEPREFIX/dosdevices/$d:"
done
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n"a:"="floppy"\r\n"d:"="hd"\r\n"e:"="cdrom"\r\n"f:"="network"\r\n' \
    >"$WINEPREFIX/drive_c/drives.reg"
nm_wine regedit /S 'C:\drives.reg' >/dev/null
nm_stop_prefix  # drive types are read when the server starts

# Settings: the key replaced by the given values (none: the defaults), in
# the registry's 32-bit view, where the 32-bit product keeps them.
nm_settings() {
    {
        printf 'REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Greyfell\\VI4\\Settings]\r\n\r\n'
        printf '[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Greyfell\\VI4\\Settings]\r\n'
        for v in "$@"; do printf '%s\r\n' "$v"; done
    } >"$WINEPREFIX/drive_c/settings.reg"
    nm_wine regedit /S 'C:\settings.reg' >/dev/null
}
nm_menu() { nm_wine "$NM_BIN/nmshell.exe" menu "$@"; }

out=$(nm_menu 'C:\docs\a.txt' 'C:\docs\b.txt')
nm_expect "menu: two files on the system disk, default settings" "$out" \
    "QueryContextMenu(indexMenu 0, idCmdFirst 1, idCmdLast 32767, uFlags 0x0): S(5)" \
    "help texts: UTF-16 (GCS_HELPTEXTW, NT family)" \
    "menu: 3 item(s)" \
    "  [0] ----------------" \
    "  [1] Nullmark >  (submenu: 7 item(s))" \
    "      [0] id 1: VUZ Selected File(s)" \
    "          help: VUZ selected file(s)" \
    "      [1] ----------------" \
    "      [2] id 2: Deep Clean Drive C:" \
    "          help: Deep Clean the selected drive" \
    "      [3] id 3: Quick Clean Drive C:" \
    "          help: Quick clean the selected drive" \
    "      [4] id 4: Scan Drives for Deleted Data" \
    "          help: Scan selected drive for deleted data" \
    "      [5] ----------------" \
    "      [6] id 5: Nullmark Configuration" \
    "          help: Nullmark 4.0 configuration settings" \
    "  [2] ----------------"

out=$(nm_menu 'C:\')
nm_expect "menu: the system drive's root cannot be VUZed" "$out" \
    "      [0] id 1: VUZ Selected File(s) n/a  [grayed]" \
    "      [2] id 2: Deep Clean Drive C:" \
    "      [3] id 3: Quick Clean Drive C:"

out=$(nm_menu 'D:\' 'A:\')
nm_expect "menu: a hard disk and a floppy root" "$out" \
    "      [0] id 1: VUZ Selected File(s)" \
    "      [2] id 2: Deep Clean Drive D:, A:" \
    "      [3] id 3: Quick Clean Drive D:, A:"

for case in 'E:\setup.exe|CD-ROM' 'F:\doc.txt|network drive' '\\server\share\f.txt|share path'; do
    out=$(nm_menu "${case%%|*}")
    nm_expect "menu: a file on a ${case#*|} cannot be cleaned" "$out" \
        "      [0] id 1: VUZ Selected File(s)" \
        "      [2] id 2: Deep Clean Drive n/a  [grayed]" \
        "      [3] id 3: Quick Clean Drive n/a  [grayed]"
done

out=$(nm_menu 'E:\')
nm_expect "menu: a CD-ROM root" "$out" \
    "      [0] id 1: VUZ Selected File(s) n/a  [grayed]" \
    "      [2] id 2: Deep Clean Drive n/a  [grayed]"

out=$(nm_menu '\\server\share')
nm_expect "menu: a share root cannot be VUZed" "$out" \
    "      [0] id 1: VUZ Selected File(s) n/a  [grayed]" \
    "      [3] id 3: Quick Clean Drive n/a  [grayed]"

for flags in 1 8; do
    out=$(nm_menu 'C:\docs\a.txt' --flags $flags)
    nm_expect "menu: uFlags $flags adds nothing" "$out" \
        "QueryContextMenu(indexMenu 0, idCmdFirst 1, idCmdLast 32767, uFlags 0x$flags): S_OK" "menu: 0 item(s)"
done
out=$(nm_menu 'C:\docs\a.txt' --flags 5)
nm_expect "menu: uFlags 5 (with CMF_EXPLORE) adds the submenu" "$out" "menu: 3 item(s)"

out=$(nm_menu 'C:\Documents and Settings\All Users\Start Menu')
nm_expect "menu: nothing over the Start Menu folder" "$out" "menu: 0 item(s)"

nm_settings '"PG"=hex:0a,00,00,00'
out=$(nm_menu 'D:\')
nm_expect "menu: PG bit 0 clear adds nothing" "$out" \
    "QueryContextMenu(indexMenu 0, idCmdFirst 1, idCmdLast 32767, uFlags 0x0): S_OK" "menu: 0 item(s)"

nm_settings '"PG"=hex:0b,00,00,00' '"ADM"=hex:f1,ff,ff,ff'
out=$(nm_menu 'D:\docs\a.txt')
nm_expect "menu: ADM bits 1-3 clear" "$out" \
    "      [0] id 1: VUZ Selected File(s) n/a  [grayed]" \
    "      [2] id 2: Deep Clean Drive D:" \
    "      [3] id 3: Quick Clean Drive D:" \
    "      [4] id 4: Scan Drives for Deleted Data n/a  [grayed]" \
    "      [6] id 5: Nullmark Configuration n/a  [grayed]"

nm_stop_prefix
