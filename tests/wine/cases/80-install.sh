# The packages as a user installs them: msiexec puts the DLL in place and
# registers it, and the extension is then reached the shell's way, by its
# class identifier through COM (nmshell activate), in a new process.  Then
# repair, upgrade and removal.  The x64 package serves 64-bit and 32-bit
# processes; the x86 one 32-bit processes only, and goes to the product's
# folder ("UIL") when the product is installed.
inst_clsid='{5E2C9A71-3B04-4F6D-9A18-C7D2E40B6F53}'
inst_approved='HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
inst_uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
inst_pkgs="${NM_PACKAGES:-$NM_ROOT/build/packages}"
inst_bin32="${NM_BIN32:-$NM_ROOT/build/win32/bin}"
inst_dll32="$inst_bin32/NMShell402.dll"
inst_dll64="$NM_BIN/NMShell402.dll"
[ -f "$inst_pkgs/NMShell402-x64.msi" ] || "$NM_ROOT/scripts/package" --out "$inst_pkgs" >/dev/null
# Signed packages (scripts/package --sign) carry the signed copies of the DLLs.
if [ -f "$inst_pkgs/signed/x64/NMShell402.dll" ]; then
    inst_dll32="$inst_pkgs/signed/x86/NMShell402.dll"
    inst_dll64="$inst_pkgs/signed/x64/NMShell402.dll"
    echo "  note  the packages are signed"
fi

# inst_same NAME EXPECTED GOT: the two texts are equal, line for line.
inst_same() {
    if [ "$2" = "$3" ]; then wine_pass "$1"; else wine_fail "$1" "$(diff <(echo "$2") <(echo "$3"))"; fi
}
inst_property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v p="$2" '$1 == p { print $2 }'; }

# --- The packages' tables, as msiinfo shows them. -------------------------
# Root (0 HKCR, 2 HKLM), key, name, value of each bitness's registration.
inst_rows() {
    local c=$1 handler
    printf '0\tCLSID\\%s\t\tNullmark Shell Extension\t%s\n' "$inst_clsid" "$c"
    printf '0\tCLSID\\%s\\InprocServer32\t\t[#%s]\t%s\n' "$inst_clsid" "$c" "$c"
    printf '0\tCLSID\\%s\\InprocServer32\tThreadingModel\tApartment\t%s\n' "$inst_clsid" "$c"
    for handler in '*' Directory Drive; do
        printf '0\t%s\\shellex\\ContextMenuHandlers\\Nullmark\t\t%s\t%s\n' "$handler" "$inst_clsid" "$c"
    done
    printf '2\t%s\t%s\tNullmark Shell Extension\t%s\n' "${inst_approved#HKLM\\}" "$inst_clsid" "$c"
}
inst_version=$(inst_property "$inst_pkgs/NMShell402-x64.msi" ProductVersion)
for arch in x86 x64; do
    msi="$inst_pkgs/NMShell402-$arch.msi"
    got=$(msiinfo export "$msi" Registry | tr -d '\r' | tail -n +4 | cut -f 2- | sort)
    expected=$(inst_rows NMShell402.x86; [ $arch = x64 ] && inst_rows NMShell402.x64)
    inst_same "msiinfo $arch: the registry rows, one bitness each" "$(sort <<<"$expected")" "$got"
    # File, component, file name, size, version, language; component directory and 64-bit flag.
    got=$(msiinfo export "$msi" File | tr -d '\r' | tail -n +4 | cut -f 1-6 | sort)
    got+=$'\n'$(msiinfo export "$msi" Component | tr -d '\r' | tail -n +4 | cut -f 1,3,4 | sort)
    expected=$(printf 'NMShell402.x86\tNMShell402.x86\tNMShell402.dll\t%s\t%s.0\t1033\n' "$(stat -c %s "$inst_dll32")" "$inst_version"
               [ $arch = x64 ] && printf 'NMShell402.x64\tNMShell402.x64\tNMShell402.dll\t%s\t%s.0\t1033\n' "$(stat -c %s "$inst_dll64")" "$inst_version")
    dir32=INSTALLDIR && [ $arch = x64 ] && dir32=INSTALLDIR32
    expected+=$'\n'$(printf 'NMShell402.x86\t%s\t0\n' $dir32; [ $arch = x64 ] && printf 'NMShell402.x64\tINSTALLDIR\t256\n')
    inst_same "msiinfo $arch: the DLL files with their version, in their folders" "$(sort <<<"$expected")" "$(sort <<<"$got")"
done

# --- Helpers for the prefixes. ---------------------------------------------
# msiexec ARGS...: its exit status (Wine keeps only the low 8 bits of 1603 and the like).
inst_msiexec() { timeout 300 "$WINE64" msiexec "$@" >/dev/null 2>&1; echo $?; }
# The values under a key in one registry view, one line each: KEY\NAME = TYPE DATA.
inst_values() {
    local view=$1 key=$2
    shift 2
    nm_wine reg query "$key" "$@" /reg:"$view" | awk '
        /^HKEY_/ { key = $0; next }
        /^    [^ ]/ { line = substr($0, 5); n = index(line, "    "); name = substr(line, 1, n - 1)
                      rest = substr(line, n + 4); m = index(rest, "    ")
                      if (m == 0) print key "\\" name " = " rest
                      else print key "\\" name " = " substr(rest, 1, m - 1) " " substr(rest, m + 4) }'
}
# Everything of the extension's registration in one view (64 or 32).
inst_registration() {
    local view=$1 handler
    inst_values "$view" "HKCR\\CLSID\\$inst_clsid" /s
    for handler in '*' Directory Drive; do
        inst_values "$view" "HKCR\\$handler\\shellex\\ContextMenuHandlers\\Nullmark" /s
    done
    inst_values "$view" "$inst_approved" /v "$inst_clsid"
}
# What inst_registration shows for a DLL registered at PATH.
inst_expected() {
    local handler
    echo "HKEY_CLASSES_ROOT\\CLSID\\$inst_clsid\\(Default) = REG_SZ Nullmark Shell Extension"
    echo "HKEY_CLASSES_ROOT\\CLSID\\$inst_clsid\\InprocServer32\\(Default) = REG_SZ $1"
    echo "HKEY_CLASSES_ROOT\\CLSID\\$inst_clsid\\InprocServer32\\ThreadingModel = REG_SZ Apartment"
    for handler in '*' Directory Drive; do
        echo "HKEY_CLASSES_ROOT\\$handler\\shellex\\ContextMenuHandlers\\Nullmark\\(Default) = REG_SZ $inst_clsid"
    done
    echo "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved\\$inst_clsid = REG_SZ Nullmark Shell Extension"
}
inst_regedit() {
    printf '%s\r\n' REGEDIT4 '' "$@" >"$WINEPREFIX/drive_c/seed.reg"
    nm_wine regedit /S 'C:\seed.reg' >/dev/null
}
# Seeds what is not the packages' to touch: the product's settings (under
# SOFTWARE: the 64-bit view; SOFTWARE\Wow6432Node: the 32-bit one, where a
# 32-bit product keeps them) and another extension's handler beside ours.
inst_seed_others() {
    inst_software=$1
    shift
    inst_regedit "[HKEY_LOCAL_MACHINE\\$inst_software\\Greyfell\\VI4\\Settings]" "$@" '"PROG"=".\\Nullmark"' '' \
        '[HKEY_CLASSES_ROOT\*\shellex\ContextMenuHandlers\Other]' '@="{00000000-1111-2222-3333-444444444444}"'
}
inst_others() {
    inst_values 64 "HKLM\\$inst_software\\Greyfell\\VI4\\Settings" /v PROG
    inst_values 64 'HKCR\*\shellex\ContextMenuHandlers\Other' /ve
}
inst_others_expected() {
    echo "HKEY_LOCAL_MACHINE\\$inst_software\\Greyfell\\VI4\\Settings\\PROG = REG_SZ .\\Nullmark"
    echo 'HKEY_CLASSES_ROOT\*\shellex\ContextMenuHandlers\Other\(Default) = REG_SZ {00000000-1111-2222-3333-444444444444}'
}

# The receiving component for the commands: nmtray, on its pipe, logging to C:\.
inst_start_tray() {
    local ready
    ready=$(inst_tray_count "ready on")  # the log is appended to
    (cd "$WINEPREFIX/drive_c" && timeout 600 "$WINE64" "$NM_BIN/nmtray.exe" --log nmtray.log --hex >/dev/null 2>&1 &)
    inst_wait_tray "ready on" "${ready:-0}" || wine_fail "nmtray.exe did not start"
}
inst_tray_count() { tr -d '\r' 2>/dev/null <"$WINEPREFIX/drive_c/nmtray.log" | grep -c -- "$1" || true; }
inst_wait_tray() {  # a minute at most: a cold start in the emulated machine takes seconds
    local n
    for _ in $(seq 1200); do
        n=$(inst_tray_count "$1")
        [ "${n:-0}" -gt "$2" ] && return 0
        sleep 0.05
    done
    return 1
}
inst_last_packet() { tr -d '\r' <"$WINEPREFIX/drive_c/nmtray.log" | grep '^  packet: ' | tail -n 1 | sed 's/^  packet: //'; }
# Scan Drives for Deleted Data (offset 3) on C:\: one request to NMTray (3),
# ZOVU_RUN_NULLSCAN (6), the drive letter as a one-string list.
inst_scan_packet='04 03 06 00 00 00 03 43 00 00'

# A 32-bit activation: the prefix's processes are stopped first, so it
# starts its own nmtray.
inst_activate32() {
    if [ -z "$NM_BIN32" ]; then
        wine_fail "$1: no 32-bit build given to the suite"
    else
        nm_wine32_check "$1" inst_activate32_with_tray "$@"
    fi
}
inst_activate32_with_tray() {
    inst_start_tray
    inst_activate "$1" nm_wine32 "${@:2}"
}

# inst_activate NAME RUNNER NMSHELL DLLPATH VERSION: in a new process of that
# bitness, the extension made by class identifier from DLLPATH, one menu, the
# Scan command arriving at nmtray byte for byte, the release and the unload.
inst_activate() {
    local name=$1 runner=$2 exe=$3 path=$4 version=$5 before out
    before=$(inst_tray_count '<- NMShellExt')
    out=$(cd "$WINEPREFIX/drive_c" && $runner "$exe" activate 3 'C:\')
    nm_expect "$name: made by CoCreateInstance from the registered DLL, menu and command" "$out" \
        "before activation: not loaded" \
        "CoCreateInstance(CLSCTX_INPROC_SERVER, IID_IShellExtInit): S_OK" \
        "activated: loaded from $path" \
        "file version: $version" \
        "Initialize: S_OK (1 path(s))" \
        "QueryContextMenu: S(5), 3 menu item(s)" \
        "InvokeCommand(3): S_OK" \
        "last Release: 0"
    if inst_wait_tray '<- NMShellExt' "${before:-0}" && [ "$(inst_last_packet)" = "$inst_scan_packet" ]; then
        wine_pass "$name: the command's request reached nmtray byte for byte"
    else
        wine_fail "$name: the command's request reached nmtray byte for byte" "expected: $inst_scan_packet
got:      $(inst_last_packet)"
    fi
    # Apartment-threaded and loaded into a single-threaded apartment: COM
    # frees it at the first CoFreeUnusedLibraries, without the delay it gives
    # free-threaded servers (Wine too: no CoFreeUnusedLibrariesEx(0, 0), no
    # wait).  The command's messenger thread holds its own reference until
    # it ends, normally within the command's closing wait.  When the close
    # request came before the thread had its pipe, the thread waits on:
    # nmshell then sends one more, and the DLL must go with the thread.
    if grep -qxF "after CoFreeUnusedLibraries: not loaded" <<<"$out" ||
        grep -qxF "once its thread ended: not loaded" <<<"$out"; then
        wine_pass "$name: unloaded by CoFreeUnusedLibraries once released"
        grep '^messenger thread still waiting' <<<"$out" | sed 's/^/  note  /'
    else
        wine_fail "$name: unloaded by CoFreeUnusedLibraries once released" "$out"
    fi
}
inst_not_registered() {
    local out
    out=$($2 "$3" activate 3 'C:\')
    nm_expect "$1" "$out" \
        "CoCreateInstance(CLSCTX_INPROC_SERVER, IID_IShellExtInit): REGDB_E_CLASSNOTREG" \
        "after the failure: not loaded"
}

# --- x64: both DLLs, each for the processes of its bitness. ------------------
nm_new_prefix install-x64
pf64="$WINEPREFIX/drive_c/Program Files/Nullmark/NMShell402.dll"
pf32="$WINEPREFIX/drive_c/Program Files (x86)/Nullmark/NMShell402.dll"
x64_dll64='C:\Program Files\Nullmark\NMShell402.dll'
x64_dll32='C:\Program Files (x86)\Nullmark\NMShell402.dll'
x64_msi="$inst_pkgs/NMShell402-x64.msi"
inst_seed_others SOFTWARE
rc=$(inst_msiexec /i "$(winepath_of "$x64_msi")" /qn)
if [ "$rc" = 0 ] && cmp -s "$pf64" "$inst_dll64" && cmp -s "$pf32" "$inst_dll32"; then
    wine_pass "x64: msiexec /i /qn installs the 64-bit DLL in Program Files, the 32-bit one in Program Files (x86)"
else
    wine_fail "x64: msiexec /i /qn installs the 64-bit DLL in Program Files, the 32-bit one in Program Files (x86)" \
        "exit status $rc; $(cd "$WINEPREFIX/drive_c" && find . -name NMShell402.dll)"
fi
inst_same "x64: the 64-bit registry view registers the 64-bit DLL" "$(inst_expected "$x64_dll64")" "$(inst_registration 64)"
inst_same "x64: the 32-bit registry view registers the 32-bit DLL" "$(inst_expected "$x64_dll32")" "$(inst_registration 32)"

inst_start_tray
inst_activate "x64, 64-bit process" nm_wine "$NM_BIN/nmshell.exe" "$x64_dll64" "$inst_version.0"
inst_activate32 "x64, 32-bit process" "$NM_BIN32/nmshell.exe" "$x64_dll32" "$inst_version.0"

# Repair: Wine's msiexec takes /f only for a product code and has not
# implemented that; REINSTALL=ALL with REINSTALLMODE "omus" is the same
# request (missing or older files, machine and user registry, shortcuts).
rm -f "$pf64"
nm_wine reg delete "HKCR\\CLSID\\$inst_clsid\\InprocServer32" /v ThreadingModel /f /reg:64 >/dev/null
rc=$(inst_msiexec /i "$(winepath_of "$x64_msi")" REINSTALL=ALL REINSTALLMODE=omus /qn)
if [ "$rc" = 0 ] && cmp -s "$pf64" "$inst_dll64" &&
    [ "$(inst_registration 64)" = "$(inst_expected "$x64_dll64")" ]; then
    wine_pass "x64: a repair restores a deleted DLL and a deleted value"
else
    wine_fail "x64: a repair restores a deleted DLL and a deleted value" "exit status $rc; $(ls -l "$pf64" 2>&1)
$(inst_registration 64)"
fi

# Upgrade: the same DLLs raised to the next version, in a package built as
# the project builds its own; the new product replaces the old one.
inst_next="$NM_WINE_ROOT/upgrade"
inst_next_version=$(awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }' <<<"$inst_version")
rm -rf "$inst_next" && mkdir -p "$inst_next/x86" "$inst_next/x64"
inst_raise() {  # SOURCE DEST A.B.C.D: the version resource's fixed numbers set
    perl -e 'local $/; open(my $f, "<:raw", $ARGV[0]) or die; my $d = <$f>;
             my $i = index($d, pack("V2", 0xFEEF04BD, 0x00010000)); die "no version resource\n" if $i < 0;
             my @v = split /\./, $ARGV[2]; my ($ms, $ls) = (($v[0] << 16) | $v[1], ($v[2] << 16) | $v[3]);
             substr($d, $i + 8, 16) = pack("V4", $ms, $ls, $ms, $ls);
             open(my $o, ">:raw", $ARGV[1]) or die; print $o $d' "$1" "$2" "$3"
}
inst_raise "$inst_dll32" "$inst_next/x86/NMShell402.dll" "$inst_next_version.0"
inst_raise "$inst_dll64" "$inst_next/x64/NMShell402.dll" "$inst_next_version.0"
"$NM_ROOT/scripts/package" --out "$inst_next" --dll32 "$inst_next/x86/NMShell402.dll" \
    --dll64 "$inst_next/x64/NMShell402.dll" >/dev/null
next_msi="$inst_next/NMShell402-x64.msi"
old_code=$(inst_property "$x64_msi" ProductCode)
new_code=$(inst_property "$next_msi" ProductCode)
rc=$(inst_msiexec /i "$(winepath_of "$next_msi")" /qn)
got=$(inst_values 64 "$inst_uninstall\\$old_code" /v DisplayVersion; inst_values 64 "$inst_uninstall\\$new_code" /v DisplayVersion)
if [ "$rc" = 0 ] && cmp -s "$pf64" "$inst_next/x64/NMShell402.dll" && cmp -s "$pf32" "$inst_next/x86/NMShell402.dll" &&
    [ "$got" = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$new_code\\DisplayVersion = REG_SZ $inst_next_version" ]; then
    wine_pass "x64: $inst_next_version upgrades $inst_version: both DLLs replaced, one product left"
else
    wine_fail "x64: $inst_next_version upgrades $inst_version: both DLLs replaced, one product left" "exit status $rc
$got"
fi
inst_same "x64: after the upgrade, the 64-bit view registers the new 64-bit DLL" \
    "$(inst_expected "$x64_dll64")" "$(inst_registration 64)"
inst_same "x64: after the upgrade, the 32-bit view registers the new 32-bit DLL" \
    "$(inst_expected "$x64_dll32")" "$(inst_registration 32)"
rc=$(inst_msiexec /i "$(winepath_of "$x64_msi")" /qn)
if [ "$rc" != 0 ] && cmp -s "$pf64" "$inst_next/x64/NMShell402.dll"; then
    wine_pass "x64: the older package refuses to replace the newer one"
else
    wine_fail "x64: the older package refuses to replace the newer one" "exit status $rc"
fi

rc=$(inst_msiexec /x "$(winepath_of "$next_msi")" /qn)
if [ "$rc" = 0 ] && [ ! -e "$pf64" ] && [ ! -e "$pf32" ]; then
    wine_pass "x64: msiexec /x removes both DLLs"
else
    wine_fail "x64: msiexec /x removes both DLLs" "exit status $rc; $(cd "$WINEPREFIX/drive_c" && find . -name NMShell402.dll)"
fi
inst_same "x64: removed, nothing of the registration is left in either view" "" "$(inst_registration 64; inst_registration 32)"
inst_same "x64: removed, the product's settings and other handlers stay" "$(inst_others_expected)" "$(inst_others)"
inst_not_registered "x64: removed, CoCreateInstance answers REGDB_E_CLASSNOTREG" nm_wine "$NM_BIN/nmshell.exe"

# Folders of one's own, on the command line.
rc=$(inst_msiexec /i "$(winepath_of "$x64_msi")" /qn 'INSTALLDIR=C:\Tools\Nullmark' 'INSTALLDIR32=C:\Tools32')
got=$(inst_values 64 "HKCR\\CLSID\\$inst_clsid\\InprocServer32" /ve; inst_values 32 "HKCR\\CLSID\\$inst_clsid\\InprocServer32" /ve)
expected="HKEY_CLASSES_ROOT\\CLSID\\$inst_clsid\\InprocServer32\\(Default) = REG_SZ C:\\Tools\\Nullmark\\NMShell402.dll
HKEY_CLASSES_ROOT\\CLSID\\$inst_clsid\\InprocServer32\\(Default) = REG_SZ C:\\Tools32\\NMShell402.dll"
if [ "$rc" = 0 ] && [ "$got" = "$expected" ] && cmp -s "$WINEPREFIX/drive_c/Tools/Nullmark/NMShell402.dll" "$inst_dll64" &&
    cmp -s "$WINEPREFIX/drive_c/Tools32/NMShell402.dll" "$inst_dll32"; then
    wine_pass "x64: INSTALLDIR and INSTALLDIR32 on the command line place and register both DLLs there"
else
    wine_fail "x64: INSTALLDIR and INSTALLDIR32 on the command line place and register both DLLs there" "exit status $rc
$got"
fi
# Windows takes the folders of an installed component from where it was
# installed; Wine's msi resolves them again from the properties, so they are
# given once more here.
rc=$(inst_msiexec /x "$(winepath_of "$x64_msi")" /qn 'INSTALLDIR=C:\Tools\Nullmark' 'INSTALLDIR32=C:\Tools32')
if [ "$rc" = 0 ] && [ ! -e "$WINEPREFIX/drive_c/Tools/Nullmark/NMShell402.dll" ] && [ ! -e "$WINEPREFIX/drive_c/Tools32/NMShell402.dll" ] &&
    [ -z "$(inst_registration 64; inst_registration 32)" ]; then
    wine_pass "x64: removed from those folders too"
else
    wine_fail "x64: removed from those folders too" "exit status $rc"
fi
nm_stop_prefix

# --- x86: the 32-bit DLL for 32-bit processes, into the product's folder. ----
nm_new_prefix install-x86
x86_msi="$inst_pkgs/NMShell402-x86.msi"
x86_dir="$WINEPREFIX/drive_c/Nullmark 4"
mkdir -p "$x86_dir" && echo product >"$x86_dir/nmzap4.exe"
inst_seed_others 'SOFTWARE\Wow6432Node' '"UIL"="C:\\Nullmark 4"'
rc=$(inst_msiexec /i "$(winepath_of "$x86_msi")" /qn)
if [ "$rc" = 0 ] && cmp -s "$x86_dir/NMShell402.dll" "$inst_dll32" &&
    [ -z "$(cd "$WINEPREFIX/drive_c" && find 'Program Files' 'Program Files (x86)' -name NMShell402.dll)" ]; then
    wine_pass "x86: msiexec /i /qn installs the DLL in the product's folder (UIL)"
else
    wine_fail "x86: msiexec /i /qn installs the DLL in the product's folder (UIL)" \
        "exit status $rc; $(cd "$WINEPREFIX/drive_c" && find . -name NMShell402.dll)"
fi
inst_same "x86: the 32-bit registry view registers the DLL" "$(inst_expected 'C:\Nullmark 4\NMShell402.dll')" \
    "$(inst_registration 32)"
inst_start_tray
inst_activate32 "x86, 32-bit process" "$NM_BIN32/nmshell.exe" 'C:\Nullmark 4\NMShell402.dll' "$inst_version.0"
inst_not_registered "x86: a 64-bit process finds no class (the x64 package serves those)" nm_wine "$NM_BIN/nmshell.exe"

rc=$(inst_msiexec /x "$(winepath_of "$x86_msi")" /qn)
if [ "$rc" = 0 ] && [ ! -e "$x86_dir/NMShell402.dll" ] && [ "$(cat "$x86_dir/nmzap4.exe" 2>/dev/null)" = product ]; then
    wine_pass "x86: msiexec /x removes the DLL and leaves the product's files"
else
    wine_fail "x86: msiexec /x removes the DLL and leaves the product's files" "exit status $rc; $(ls -la "$x86_dir" 2>&1)"
fi
inst_same "x86: removed, nothing of the registration is left in either view" "" "$(inst_registration 32; inst_registration 64)"
inst_same "x86: removed, the product's settings and other handlers stay" "$(inst_others_expected)" "$(inst_others)"
nm_stop_prefix

# --- x64: the 64-bit DLL follows the 32-bit product's settings. --------------
# The product is a 32-bit program: a 32-bit installation writes its settings
# and "UIL" where a 32-bit process sees HKLM\Software, the registry's 32-bit
# view (Wow6432Node to a 64-bit process).  A 64-bit Explorer's menu and its
# VUZ for a share must follow them; the 64-bit view holds nothing.
nm_new_prefix install-view
view_msi="$inst_pkgs/NMShell402-x64.msi"
view_dll='C:\Program Files\Nullmark\NMShell402.dll'
view_dir="$WINEPREFIX/drive_c/Nullmark 4"
mkdir -p "$view_dir" && cp "$NM_BIN/nmzap4.exe" "$view_dir/"
rc=$(inst_msiexec /i "$(winepath_of "$view_msi")" /qn)
[ "$rc" = 0 ] || wine_fail "view: msiexec /i /qn installs the x64 package" "exit status $rc"
inst_regedit '[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Greyfell\VI4\Settings]' \
    '"ADM"=hex:00,00,00,00' '"UIL"="C:\\Nullmark 4"'
out=$(nm_wine "$NM_BIN/nmshell.exe" --dll "$view_dll" menu 'C:\docs\a.txt')
nm_expect "view: a 64-bit process's menu grays by \"ADM\" 0 from the 32-bit view" "$out" \
    "      [0] id 1: VUZ Selected File(s) n/a  [grayed]" \
    "      [4] id 4: Scan Drives for Deleted Data n/a  [grayed]" \
    "      [6] id 5: Nullmark Configuration n/a  [grayed]"
# VUZ of a share starts nmzap4.exe from "UIL", which logs the request to C:\.
inst_regedit '[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Greyfell\VI4\Settings]' '"ADM"=hex:ff,ff,ff,ff'
out=$(cd "$WINEPREFIX/drive_c" && nm_wine "$NM_BIN/nmshell.exe" --dll "$view_dll" invoke 0 '\\server\share\a.txt')
view_request=""
for _ in $(seq 300); do
    view_request=$(tr -d '\r' 2>/dev/null <"$WINEPREFIX/drive_c/nmzap4.log" | grep ' <- ' | tail -n 1)
    [ -n "$view_request" ] && break
    sleep 0.05
done
if [ "$view_request" = 'NMVuz <- NMShellExt ZOVU_DEFAULT_MESSAGE ["CONFIRM", "\\server\share\a.txt"]' ] &&
    ! grep -q '^message box' <<<"$out"; then
    wine_pass "view: VUZ for a share in a 64-bit process starts nmzap4.exe from \"UIL\" in the 32-bit view"
else
    wine_fail "view: VUZ for a share in a 64-bit process starts nmzap4.exe from \"UIL\" in the 32-bit view" \
        "request: $view_request
$out"
fi
# nmsettings of either bitness shows and sets the one set of settings.
nm_wine "$NM_BIN/nmsettings.exe" set PP 7 >/dev/null
out=$(nm_wine "$NM_BIN/nmsettings.exe" show)
view_key='HKLM\Software\Greyfell\VI4\Settings'
got=$(inst_values 32 "$view_key" /v PP; inst_values 64 "$view_key" /v PP)
if grep -qxF 'PP = 7' <<<"$out" && [ "$got" = 'HKEY_LOCAL_MACHINE\Software\Greyfell\VI4\Settings\PP = REG_DWORD 0x7' ]; then
    wine_pass "view: 64-bit nmsettings shows and sets the settings of the 32-bit view, and none in the 64-bit one"
else
    wine_fail "view: 64-bit nmsettings shows and sets the settings of the 32-bit view, and none in the 64-bit one" "$out
$got"
fi
view_show64=$out
inst_view_show32() {
    inst_same "view: 32-bit nmsettings shows the same settings" "$view_show64" \
        "$(nm_wine32 "$NM_BIN32/nmsettings.exe" show)"
}
if [ -z "$NM_BIN32" ]; then
    wine_fail "view: 32-bit nmsettings: no 32-bit build given to the suite"
else
    nm_wine32_check "view: 32-bit nmsettings" inst_view_show32
fi
inst_msiexec /x "$(winepath_of "$view_msi")" /qn >/dev/null
nm_stop_prefix
