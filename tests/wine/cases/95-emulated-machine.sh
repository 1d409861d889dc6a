# The way into the emulated machine, tried by every run: one check queued for
# it whatever this kernel runs (where it runs 32-bit programs, the only one;
# elsewhere it joins the others in the same boot).  It holds what every queued
# check relies on: it runs in that machine, a path the case captured leads into
# the check's copy of the prefix, bash there is the suite's bash (<(...) works),
# a 32-bit program there sees the file the check made, and the program's
# failing exit status comes through the pipe that cleans its output.
if [ -z "$NM_BIN32" ]; then
    echo "  note  no 32-bit build given: the way into the emulated machine is not tried"
    return
fi
nm_new_prefix emulated-machine
q_drive="$WINEPREFIX/vol/q"
mkdir -p "$q_drive"
ln -sfn "$q_drive" "$WINEPREFIX/dosdevices/q:"
q_boot=$(cat /proc/sys/kernel/random/boot_id)

q_probes() {
    local token out
    if [ "$(cat /proc/sys/kernel/random/boot_id)" != "$q_boot" ]; then
        wine_pass "the check runs in another machine's boot"
    else
        wine_fail "the check runs in another machine's boot" "boot $q_boot, the suite's own"
    fi
    if [[ $q_drive == "$WINEPREFIX"/* ]]; then
        wine_pass "a path the case captured leads into the check's copy of the prefix"
    else
        wine_fail "a path the case captured leads into the check's copy of the prefix" "$q_drive, not in $WINEPREFIX"
    fi
    if [ "$(cat <(echo through) 2>&1)" = through ]; then
        wine_pass "bash's <(...) reads what it names, as the suite's checks use it"
    else
        wine_fail "bash's <(...) reads what it names, as the suite's checks use it" "$(ls -l /dev/fd 2>&1)"
    fi
    token="made by the check, boot $(cat /proc/sys/kernel/random/boot_id)"
    echo "$token" >"$q_drive/probe.txt"
    out=$(cd "$WINEPREFIX/drive_c" && nm_wine32 cmd /c 'type Q:\probe.txt & exit 7'; echo "status $?")
    nm_expect "a 32-bit program sees the file the check made, and its exit status 7 comes through the pipe" "$out" \
        "$token" "status 7"
}
nm_vm32_queue "the way into the emulated machine" q_probes
