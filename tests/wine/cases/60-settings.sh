# nmsettings.exe against Wine's registry: a .reg import shown in the
# product's texts, a set read back with regedit's export.
nm_new_prefix settings

# The sample as the 32-bit product keeps it: in the registry's 32-bit view.
sed 's/\\software\\Greyfell\\/\\Software\\Wow6432Node\\Greyfell\\/' "$NM_ROOT/tests/data/settings-sample.reg" \
    >"$WINEPREFIX/drive_c/sample.reg"
"$WINE64" regedit /S 'C:\sample.reg' >/dev/null 2>&1
# Whole days from the recorded deep clean (7 March 2003) to today.
age=$(( ($(date -d "$(date +%F)" +%s) - $(date -d 2003-03-07 +%s)) / 86400 ))
out=$(nm_wine "$NM_BIN/nmsettings.exe" show)
nm_expect "show: the imported values in the product's texts" "$out" \
    "ADM = 0 2" \
    "DCCDA = C: deep 03/07/03 9:05 PM, quick None, setting 1" \
    "DCE = (missing)" \
    "DCLC = 7 days, off" \
    "DCG = (missing)" \
    "DCSL = Mondays at 9:00 AM; Daily at 6:05 PM" \
    "DCSI = 3 days, 0 seconds at 9:30 PM" \
    "DCT = A:1" \
    "DSL = C:5" \
    "ENST = Fri Mar 7, 2003 9:05:09 PM" \
    "PP = 16909060" \
    'PPH = C:\pp' \
    "Base Top = -2" \
    "LLC = (missing)" \
    "deep clean due = no" \
    "earliest deep clean = Fri Mar 7, 2003 9:05:09 PM" \
    "deep clean overdue = yes ($age days)" \
    "update check due = yes"

export_settings() {
    rm -f "$WINEPREFIX/export.reg"
    "$WINE64" regedit /E "$(winepath_of "$WINEPREFIX/export.reg")" \
        'HKEY_LOCAL_MACHINE\Software\Wow6432Node\Greyfell\VI4\Settings' >/dev/null 2>&1
    iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/export.reg" 2>/dev/null | tr -d '\r\357\273\277'
}
out=$(nm_wine "$NM_BIN/nmsettings.exe" set DCLC "7 days, on"
      nm_wine "$NM_BIN/nmsettings.exe" set ENST "Sun Jan 5, 2003 9:07:03 AM"
      nm_wine "$NM_BIN/nmsettings.exe" set PP 5
      nm_wine "$NM_BIN/nmsettings.exe" set dsl "C:5 D:2")
nm_expect "set: the saved texts and statuses" "$out" \
    "DCLC = 7 days, on" "ENST = Sun Jan 5, 2003 9:07:03 AM" "PP = 5" "DSL = C:5 D:2" "status = 0"
nm_expect "set: the exact bytes in the registry" "$(export_settings)" \
    '"DCLC"=hex:0f' '"ENST"=hex:03,00,05,00,09,07,03,00' '"PP"=dword:00000005' '"DSL"=hex:02,00,05,43,02,44'

"$WINE64" "$NM_BIN/nmsettings.exe" set DCO 300 >/dev/null 2>&1
status=$?
if [ $status -eq 2 ] && ! export_settings | grep -q '"DCO"'; then
    wine_pass "set: a value out of range is refused with status 2, nothing written"
else
    wine_fail "set: a value out of range is refused with status 2, nothing written" "status $status"
fi

nm_stop_prefix
