# Shared by the scripts: the tools a fresh machine may lack, and their install.
# Sourced, not run.

NM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE64=/usr/lib/wine/wine64
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
