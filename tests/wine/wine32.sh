# The Wine suite's 32-bit checks, here or in the emulated machine.  Sourced
# by run-suite once NM_WINE_ROOT is set; uses its nm_stop_prefix, wine_fail
# and winepath_of.

# 32-bit checks.  Where this kernel runs 32-bit programs they run at once.
# Where it refuses them (or NM_VM32=1 asks), each is queued with a copy of its
# prefix as it stands, and all of them run at the end of the suite, one after
# the other, in one boot of the emulated machine (scripts/vm32).
NM_VM32_QUEUE="$NM_WINE_ROOT/vm32-queue"
rm -rf "$NM_VM32_QUEUE"
nm_wine32_where=here
nm_wine32_native || nm_wine32_where=vm32
nm_vm32_queued=0
nm_vm32_run=("$NM_ROOT/scripts/vm32" run)  # COMMAND...: COMMAND in the machine

# nm_wine32_check NAME FUNCTION [ARG...]: FUNCTION ARGS... runs the checks in
# the current prefix, its processes stopped first (in the emulated machine
# none of them would be there), so it starts whatever it needs itself.  A
# queued check takes the suite's functions and variables with it, and finds
# its copy of the prefix in $WINEPREFIX.
nm_wine32_check() {
    local name=$1
    shift
    nm_stop_prefix
    if [ "$nm_wine32_where" = here ]; then
        "$@"
        return
    fi
    nm_vm32_queued=$((nm_vm32_queued + 1))
    local job
    job="$NM_VM32_QUEUE/$(printf %02d "$nm_vm32_queued")"
    mkdir -p "$job" && nm_copy_prefix "$WINEPREFIX" "$job/prefix"
    # Drives mapped to folders of the prefix are the copy's own.
    local link target
    for link in "$job/prefix/dosdevices/"*; do
        target=$(readlink "$link") || continue
        [[ $target == "$WINEPREFIX"/* ]] && ln -sfn "$job/prefix${target#"$WINEPREFIX"}" "$link"
    done
    {
        declare -p $(compgen -v | grep -E '^([a-z][A-Za-z0-9_]*|NM_[A-Z0-9_]+|WINE[A-Z0-9_]*)$') 2>/dev/null
        declare -f
        printf 'export WINEPREFIX=%q\n' "$job/prefix"
        echo 'nm_wine32_where=here wine_passed=0 wine_failed=0'
        printf 'echo %q\n' "wine $name (32-bit, emulated machine):"
        printf '%q ' "$@"
        echo
        echo 'nm_stop_prefix'
        echo 'echo "wine: $wine_passed passed, $wine_failed failed"'
    } >"$job/check.sh"
    echo "  note  $name: queued for the emulated 32-bit machine"
}

# Runs the queued checks in one boot and counts what they report.
nm_vm32_run_queue() {
    [ "$nm_vm32_queued" -gt 0 ] || return 0
    echo "wine 32-bit checks in the emulated machine ($nm_vm32_queued queued):"
    local started=$SECONDS out line counted=0
    out=$(NM_VM32_KEEP=$NM_WINE_ROOT "${nm_vm32_run[@]}" \
        bash -c 'for check in "$1"/*/check.sh; do bash "$check"; done' - "$NM_VM32_QUEUE" 2>&1)
    while IFS= read -r line; do
        if [[ $line =~ ^wine:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
            wine_passed=$((wine_passed + BASH_REMATCH[1]))
            wine_failed=$((wine_failed + BASH_REMATCH[2]))
            counted=$((counted + 1))
        else
            printf '%s\n' "$line"
        fi
    done <<<"$out"
    [ "$counted" = "$nm_vm32_queued" ] ||
        wine_fail "32-bit checks: $((nm_vm32_queued - counted)) of $nm_vm32_queued did not report from the emulated machine"
    echo "  time  $((SECONDS - started)) s (boot included)"
    rm -rf "$NM_VM32_QUEUE"
    nm_vm32_queued=0
}

# A prefix made where 32-bit programs could not start (or before wine32 was
# installed) has an empty syswow64, and no 32-bit program starts in it
# ("could not load kernel32.dll").  Its 32-bit half is the 32-bit setup's
# section of wine.inf, run by the 32-bit rundll32 in bootstrap mode (so that
# it may load the built-in DLLs whose files it is about to write), here or in
# the emulated machine.
nm_wine32_complete_prefix() {
    local prefix=$1 half
    [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ] && return 0
    half=(env WINEBOOTSTRAPMODE=1 "$WINE32" 'C:\windows\syswow64\rundll32.exe'
          setupapi.dll,InstallHinfSection Wow64Install 128 "$(winepath_of /usr/share/wine/wine.inf)")
    if [ "$nm_wine32_where" = here ]; then
        WINEPREFIX="$prefix" "${half[@]}" >/dev/null 2>&1
        WINEPREFIX="$prefix" "$WINESERVER" -w
    else
        echo "wine: the template prefix's 32-bit half, in the emulated machine"
        WINEPREFIX="$prefix" NM_VM32_KEEP=$prefix "${nm_vm32_run[@]}" \
            bash -c '"${@:2}" >/dev/null 2>&1; "$1" -w' - "$WINESERVER" "${half[@]}"
    fi
    [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]
}
