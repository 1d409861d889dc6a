# Shared by the scripts: the tools a fresh machine may lack, and their install.
# Sourced, not run.

NM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine         # Debian's 32-bit Wine (wine32:i386), beside wine64
WINESERVER=/usr/lib/wine/wineserver

# Installs what is missing: the two MinGW-w64 compilers, Wine, and the tools
# the suites use.  Needs root (apt-get); says what failed otherwise.
nm_ensure_tools() {
    local need=()
    command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
    [ -x "$WINE64" ] || need+=(wine wine64)
    command -v cmake >/dev/null || need+=(cmake)
    command -v ninja >/dev/null || need+=(ninja-build)
    command -v clang++ >/dev/null || need+=(clang)
    [ -d /usr/src/googletest ] || need+=(googletest)
    [ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
    # the screen for Wine: a virtual display, key presses, pictures, Wine's fonts
    command -v Xvfb >/dev/null || need+=(xvfb)
    command -v xdotool >/dev/null || need+=(xdotool)
    command -v import >/dev/null || need+=(imagemagick)
    command -v xwininfo >/dev/null || need+=(x11-utils)
    [ -d /usr/share/wine/fonts ] || need+=(fonts-wine)
    command -v lnkinfo >/dev/null || need+=(liblnk-utils)
    # Real volumes for the raw-volume tests and their independent readers.
    command -v mkfs.fat >/dev/null || need+=(dosfstools)
    command -v mcopy >/dev/null || need+=(mtools)
    command -v mkntfs >/dev/null || need+=(ntfs-3g)
    # The Windows Installer packages: wixl builds them, msiinfo reads them.
    command -v wixl >/dev/null || need+=(wixl)
    command -v msiinfo >/dev/null || need+=(msitools)
    # Authenticode: the test certificates, signing and an independent verifier.
    command -v openssl >/dev/null || need+=(openssl)
    command -v osslsigncode >/dev/null || need+=(osslsigncode)
    [ ${#need[@]} -eq 0 ] && return 0
    echo "installing: ${need[*]}"
    if [ "$(id -u)" != 0 ]; then
        echo "error: ${need[*]} missing and this is not root: cannot apt-get install" >&2
        return 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >/dev/null 2>&1 || true
    if ! apt-get install -y -qq --no-install-recommends "${need[@]}" >/tmp/nm-apt.log 2>&1; then
        echo "error: apt-get install ${need[*]} failed:" >&2
        tail -n 20 /tmp/nm-apt.log >&2
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

# A 32-bit Win32 for the shipping DLL: Debian's 32-bit Wine, and, on a kernel
# that refuses 32-bit x86 programs ("Exec format error"), qemu-user's i386
# emulator registered with binfmt_misc so that every 32-bit program Wine
# starts runs through it.  Idempotent: a kernel that already runs them (or an
# emulator already registered) is left as it is.  Says what it does; one line
# on stderr when it cannot.
NM_QEMU_I386_BINFMT=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F'
nm_ensure_wine32() {
    local need=()
    [ -x "$WINE32" ] || need+=(wine32:i386)
    "$WINE32" --version >/dev/null 2>&1 || [ -x /usr/bin/qemu-i386 ] || need+=(qemu-user)
    if [ ${#need[@]} -gt 0 ]; then
        if [ "$(id -u)" != 0 ]; then
            echo "error: 32-bit Wine: ${need[*]} missing and this is not root" >&2
            return 1
        fi
        echo "installing: ${need[*]}"
        export DEBIAN_FRONTEND=noninteractive
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386
            apt-get update -qq >/dev/null 2>&1 || true
        fi
        if ! apt-get install -y -qq --no-install-recommends "${need[@]}" >/tmp/nm-apt32.log 2>&1; then
            apt-get update -qq >/dev/null 2>&1 || true
            if ! apt-get install -y -qq --no-install-recommends "${need[@]}" >/tmp/nm-apt32.log 2>&1; then
                echo "error: 32-bit Wine: apt-get install ${need[*]} failed (see /tmp/nm-apt32.log)" >&2
                return 1
            fi
        fi
    fi
    "$WINE32" --version >/dev/null 2>&1 && return 0
    local misc=/proc/sys/fs/binfmt_misc
    if [ -e "$misc/qemu-i386" ]; then
        echo "error: 32-bit Wine: qemu-i386 is registered but $WINE32 does not start" >&2
        return 1
    fi
    if [ "$(id -u)" != 0 ]; then
        echo "error: 32-bit Wine: this kernel does not run 32-bit programs and only root can register qemu-i386" >&2
        return 1
    fi
    echo "registering qemu-i386 for 32-bit programs (binfmt_misc)"
    [ -e "$misc/register" ] || mount -t binfmt_misc binfmt_misc "$misc" 2>/dev/null
    if ! { [ -e "$misc/register" ] && printf '%s' "$NM_QEMU_I386_BINFMT" >"$misc/register"; } 2>/dev/null; then
        echo "error: 32-bit Wine: cannot register qemu-i386 with binfmt_misc" >&2
        return 1
    fi
    if ! "$WINE32" --version >/dev/null 2>&1; then
        echo "error: 32-bit Wine: $WINE32 does not start even through qemu-i386" >&2
        return 1
    fi
}
