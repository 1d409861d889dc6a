# Shared by the scripts: the tools a fresh machine may lack, and their install.
# Sourced, not run.

NM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine         # Debian's 32-bit Wine (wine32:i386), beside wine64
WINESERVER=/usr/lib/wine/wineserver

# What the host builds and their tests need; nm_ensure_tools installs it too.
nm_host_tools_missing() {
    command -v cmake >/dev/null || echo cmake
    command -v ninja >/dev/null || echo ninja-build
    command -v clang++ >/dev/null || echo clang
    [ -d /usr/src/googletest ] || echo googletest
    # Real volumes for the raw-volume tests and their independent readers.
    command -v mkfs.fat >/dev/null || echo dosfstools
    command -v mcopy >/dev/null || echo mtools
    command -v mkntfs >/dev/null || echo ntfs-3g
}
nm_ensure_host_tools() {
    local need
    mapfile -t need < <(nm_host_tools_missing)
    nm_apt_install "${need[@]}"
}

# Installs what is missing: the two MinGW-w64 compilers, Wine, and the tools
# the suites use.  Needs root (apt-get); says what failed otherwise.
nm_ensure_tools() {
    local need=()
    command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
    [ -x "$WINE64" ] || need+=(wine wine64)
    mapfile -t -O ${#need[@]} need < <(nm_host_tools_missing)
    # the screen for Wine: a virtual display, key presses, pictures, Wine's fonts
    command -v Xvfb >/dev/null || need+=(xvfb)
    command -v xdotool >/dev/null || need+=(xdotool)
    command -v import >/dev/null || need+=(imagemagick)
    command -v xwininfo >/dev/null || need+=(x11-utils)
    [ -d /usr/share/wine/fonts ] || need+=(fonts-wine)
    command -v lnkinfo >/dev/null || need+=(liblnk-utils)
    # The Windows Installer packages: wixl builds them, msiinfo reads them.
    command -v wixl >/dev/null || need+=(wixl)
    command -v msiinfo >/dev/null || need+=(msitools)
    # Authenticode: the test certificates, signing and an independent verifier.
    command -v openssl >/dev/null || need+=(openssl)
    command -v osslsigncode >/dev/null || need+=(osslsigncode)
    # Emulated processors: the i686 DLL's guard below its floor, and the
    # emulated machine for 32-bit programs.
    command -v qemu-system-i386 >/dev/null || need+=(qemu-system-x86)
    nm_apt_install "${need[@]}"
}

# nm_apt_install PACKAGE...: installs them, saying so; nothing when none.
nm_apt_install() {
    local need=("$@")
    [ ${#need[@]} -eq 0 ] && return 0
    echo "installing: ${need[*]}"
    if [ "$(id -u)" != 0 ]; then
        echo "error: ${need[*]} missing and this is not root: cannot apt-get install" >&2
        return 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    local log="$NM_ROOT/build/logs/apt.log"
    mkdir -p "$NM_ROOT/build/logs"
    apt-get update -qq >/dev/null 2>&1 || true
    if ! apt-get install -y -qq --no-install-recommends "${need[@]}" >"$log" 2>&1; then
        echo "error: apt-get install ${need[*]} failed:" >&2
        tail -n 20 "$log" >&2
        return 1
    fi
}

# Configures and builds one preset, output to build/logs/build-PRESET.log.
nm_build() {
    local preset=$1 log="$NM_ROOT/build/logs/build-$1.log"
    mkdir -p "$NM_ROOT/build/logs"
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; } >"$log" 2>&1; then
        echo "build $preset: FAILED (see $log)"
        grep -E "error|FAILED" "$log" | head -n 20
        return 1
    fi
    echo "build $preset: ok"
}

# A 32-bit Win32 for the shipping DLL: Debian's 32-bit Wine, run by this
# kernel where it runs 32-bit x86 programs, and otherwise by the emulated
# machine of scripts/vm32 (which also serves when NM_VM32=1 asks for it on a
# kernel that could run them).  Idempotent; says what it does, and one line
# on stderr when it cannot.
nm_ensure_wine32() {
    if [ ! -x "$WINE32" ]; then
        if [ "$(id -u)" != 0 ]; then
            echo "error: 32-bit Wine: wine32:i386 missing and this is not root" >&2
            return 1
        fi
        echo "installing: wine32:i386"
        export DEBIAN_FRONTEND=noninteractive
        local log="$NM_ROOT/build/logs/apt-wine32.log"
        mkdir -p "$NM_ROOT/build/logs"
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386
            apt-get update -qq >/dev/null 2>&1 || true
        fi
        if ! apt-get install -y -qq --no-install-recommends wine32:i386 >"$log" 2>&1; then
            apt-get update -qq >/dev/null 2>&1 || true
            if ! apt-get install -y -qq --no-install-recommends wine32:i386 >"$log" 2>&1; then
                echo "error: 32-bit Wine: apt-get install wine32:i386 failed (see $log)" >&2
                return 1
            fi
        fi
    fi
    nm_wine32_native && return 0
    if ! "$NM_ROOT/scripts/vm32" setup; then
        echo "error: 32-bit Wine: this kernel does not run 32-bit programs and the emulated machine cannot be set up" >&2
        return 1
    fi
}
# Whether 32-bit programs run on this kernel itself (and NM_VM32 does not
# send them to the emulated machine).
nm_wine32_native() { [ -z "${NM_VM32:-}" ] && "$WINE32" --version >/dev/null 2>&1; }

# nm_release_copy IN OUT: the file as it goes out, in packages and signed
# releases: without its symbol table and debug sections (the build's own
# file keeps them for the debugger).  The binutils of the file's own
# architecture, read from its PE header; the header's time stamp stays the
# link's (strip would write the present time), so the same build always
# gives the same copy.  A file that has neither goes out as it is: a signed
# one keeps its signature.
nm_release_copy() {
    local header machine stamp symbols arch
    # The COFF header: machine, sections, time stamp, symbol table, symbols.
    header=$(perl -e 'open(my $f, "<:raw", $ARGV[0]) or exit 1; seek($f, 0x3C, 0); read($f, my $b, 4);
                      seek($f, unpack("V", $b) + 4, 0); read($f, $b, 16); my ($m, $n, $t, $p, $s) = unpack("v v V V V", $b);
                      printf "%04x %u %u\n", $m, $t, $s' "$1") || return 1
    read -r machine stamp symbols <<<"$header"
    case $machine in
    014c) arch=i686 ;;
    8664) arch=x86_64 ;;
    *) echo "nm_release_copy: $1 is not a PE image for x86 or x64" >&2; return 1 ;;
    esac
    if [ "$symbols" = 0 ] && ! "$arch-w64-mingw32-objdump" -h "$1" | grep -q ' \.debug_'; then
        cp "$1" "$2"
    else
        SOURCE_DATE_EPOCH=$stamp "$arch-w64-mingw32-strip" --strip-all -o "$2" "$1"
    fi
}
