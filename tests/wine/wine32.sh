# The Wine suite's 32-bit checks, here or in the emulated machine.  Sourced
# by run-suite once NM_WINE_ROOT is set; uses its nm_stop_prefix, wine_fail
# and winepath_of.

# 32-bit checks.  Where this kernel runs 32-bit programs they run at once.
# Where it refuses them (or NM_VM32=1 asks), each is queued with a copy of its
# prefix as it stands, for one boot of the emulated machine (scripts/vm32)
# that starts with the first one queued and runs them one after the other,
# each as soon as it is queued, while the suite goes on with its cases (they
# leave most of the processor idle); the suite waits for the last at its end.
# The seam's own probes are queued on every kernel, so that this path is
# tried by every run, not only where it is the only one.
NM_VM32_QUEUE="$NM_WINE_ROOT/vm32-queue"
rm -rf "$NM_VM32_QUEUE"
nm_wine32_where=here
nm_wine32_native || nm_wine32_where=vm32
# "yes" inside the emulated machine: a check of thousands of rounds (a soak)
# runs fewer of them there, with the same program and the same bounds.
nm_wine32_emulated=""
nm_vm32_queued=0
nm_vm32_names=()  # each queued check's name, by its number less one
nm_vm32_run=("$NM_ROOT/scripts/vm32" run)  # COMMAND...: COMMAND in the machine
nm_vm32_machine=""  # "started" once the first check is queued
nm_vm32_shell=$BASHPID  # the suite's shell: the queue's count lives there

# nm_wine32_check NAME FUNCTION [ARG...]: FUNCTION ARGS... runs the checks in
# the current prefix, its processes stopped first (in the emulated machine
# none of them would be there), so it starts whatever it needs itself.
nm_wine32_check() {
    if [ "$nm_wine32_where" = here ]; then
        nm_stop_prefix
        local _counted=$((wine_passed + wine_failed))
        "${@:2}"
        # One that checked nothing (a name mistyped, an early return) passed nothing.
        [ $((wine_passed + wine_failed)) -gt "$_counted" ] || wine_fail "$1: checked nothing"
        return 0
    fi
    nm_vm32_queue "$@"
}

# nm_vm32_queue NAME FUNCTION [ARG...]: FUNCTION ARGS... queued for the
# emulated machine whatever this kernel runs, with a copy of the prefix as it
# stands.  The check is a new bash there: it gets the suite's shell options,
# functions and variables, and every path in the prefix that they name, as
# the drives do, names the same path in the copy.  The seam's own locals start
# with "_": the check must see a case's variable, not a local of the same name.
nm_vm32_queue() {
    local _name=$1 _job _link _target _to _from _real _froms _number _arg
    shift
    # A subshell's count is its own: its check would take the number of the
    # suite's next one, and one of the two would be lost.  So would its
    # failure: the suite's shell counts it from the queue's folder.
    if [ "$BASHPID" != "$nm_vm32_shell" ]; then
        mkdir -p "$NM_VM32_QUEUE" && builtin printf '%s\n' "$_name" >>"$NM_VM32_QUEUE/refused"
        echo "  note  $_name: not queued from a subshell: a failure at the suite's end"
        return 1
    fi
    nm_stop_prefix
    builtin printf -v _number %02d $((nm_vm32_queued + 1))
    _job="$NM_VM32_QUEUE/$_number"
    _to="$_job/prefix"
    if ! { mkdir -p "$_job" && nm_copy_prefix "$WINEPREFIX" "$_to"; }; then
        wine_fail "$_name: not queued: cannot copy the prefix into $_job"
        rm -rf "$_job"
        return 1
    fi
    # The prefix as the case may have written it: without a trailing slash,
    # and, where it is reached through a link, by its physical path too.
    _from=$WINEPREFIX
    while [[ $_from == ?*/ ]]; do _from=${_from%/}; done
    _froms=("$_from")
    _real=$(CDPATH="" builtin cd -P -- "$WINEPREFIX" 2>/dev/null && builtin pwd -P) &&
        [ "$_real" != "$_from" ] && _froms+=("$_real")
    # find, not a glob: a case may have set noglob or nullglob
    while IFS= read -r _link; do
        _target=$(readlink "$_link") || continue
        nm_vm32_repoint "$_to" "$_target" "${_froms[@]}"
        [ "$_nm_repointed" = "$_target" ] || ln -sfn "$_nm_repointed" "$_link"
    done < <(find "$_to/dosdevices" -mindepth 1 -maxdepth 1 -type l)
    {
        set +o
        shopt -p
        nm_vm32_variables "$_to" "${_froms[@]}"
        # a function may hold a path of the prefix written out (one made by eval)
        nm_vm32_repoint "$_to" "$(declare -f)" "${_froms[@]}"
        builtin printf '%s\n' "$_nm_repointed"
        # the folder the check would run in here (the copy's, if in the prefix)
        nm_vm32_repoint "$_to" "$PWD" "${_froms[@]}"
        builtin printf 'builtin cd -- %q || exit 1\n' "$_nm_repointed"
        builtin echo 'nm_wine32_where=here nm_wine32_emulated=yes wine_passed=0 wine_failed=0'
        builtin printf 'builtin echo %q\n' "wine $_name (32-bit, emulated machine):"
        for _arg; do  # the function, then its arguments: re-pointed as values are
            nm_vm32_repoint "$_to" "$_arg" "${_froms[@]}"
            builtin printf '%q ' "$_nm_repointed"
        done
        builtin echo
        builtin echo 'nm_stop_prefix'
        # The report names this run and this check, so that no line a check
        # prints (a program's, or one like the suite's own total) passes for it.
        builtin printf 'builtin printf %q "$wine_passed" "$wine_failed"\n' \
            "$nm_vm32_report $_number: %s passed, %s failed\n"
    } >"$_job/check.sh"
    # Whole before the machine may look at it.
    : >"$_job.ready"
    nm_vm32_queued=$((nm_vm32_queued + 1))
    nm_vm32_names+=("$_name")
    echo "  note  $_name: queued for the emulated 32-bit machine"
    [ -n "$nm_vm32_machine" ] || nm_vm32_start
}

# The machine's side of the queue: check NN runs once NN.ready is there; the
# run ends when the next one is not and "end" is.  Its root is shared
# without revalidation, which is safe here: the machine only ever looks up a
# name that is missing (a mark not yet made) afresh, and a job's files are
# all written before its mark.
nm_vm32_runner='
queue=$1 number=1
while :; do
    job=$(printf "%s/%02d" "$queue" "$number")
    until [ -e "$job.ready" ]; do
        [ -e "$queue/end" ] && { [ -e "$job.ready" ] || exit 0; }
        sleep 1
    done
    started=$SECONDS
    timeout -k 10 "${NM_VM32_CHECK_LIMIT:-1800}" bash "$job/check.sh" ||
        [ $? != 124 ] || echo "  FAIL  $job: stopped after ${NM_VM32_CHECK_LIMIT:-1800} s"
    echo "  time  $((SECONDS - started)) s"
    number=$((number + 1))
done'

# Boots the machine in the background for the queue.  It is not a job of the
# suite's shell (a case's bare `wait` must not wait for it): a watcher that
# the suite's shell does not own runs it, keeps its exit status beside the
# queue, and ends it when the shell that started it is gone, however that
# shell ended (an error, a signal, a case's own EXIT trap in place of any
# of ours).
nm_vm32_start() {
    nm_vm32_started=$SECONDS
    local suite=$BASHPID
    rm -f "$NM_VM32_QUEUE/machine.status"
    ( (
        NM_VM32_KEEP=$NM_WINE_ROOT "${nm_vm32_run[@]}" bash -c "$nm_vm32_runner" - "$NM_VM32_QUEUE" \
            >"$NM_VM32_QUEUE/machine.out" 2>&1 &
        machine=$!
        while kill -0 "$machine" 2>/dev/null; do
            if ! kill -0 "$suite" 2>/dev/null; then
                : >"$NM_VM32_QUEUE/end"
                kill "$machine" 2>/dev/null
            fi
            sleep 1
        done
        wait "$machine"
        echo $? >"$NM_VM32_QUEUE/machine.status"
    ) </dev/null >/dev/null 2>&1 & )
    nm_vm32_machine=started
}

# What starts a queued check's report: unique to this run.
nm_vm32_report="vm32 report $(cat /proc/sys/kernel/random/uuid 2>/dev/null || echo "$$.$SECONDS.$SRANDOM")"

# What a queued check carries: the suite's variables, not bash's own, but for
# IFS, which a case may set for the checks it queues as for the rest.
nm_vm32_carried='^([a-z][A-Za-z0-9_]*|NM_[A-Z0-9_]+|WINE[A-Z0-9_]*|IFS)$'

# nm_vm32_variables TO FROM...: declarations of the variables a queued check
# carries, each value (each element of an array) re-pointed from the prefix
# (each FROM, one way of writing it) to its copy TO.
nm_vm32_variables() {
    (
        set +u  # some are declared without a value
        _to=$1
        shift
        _names=()
        while IFS= read -r _name; do
            [[ $_name =~ $nm_vm32_carried ]] && _names+=("$_name")
        done < <(compgen -v)
        for _name in "${_names[@]}"; do
            if [[ -R $_name ]]; then  # a name for another variable, carried itself
                declare -p "$_name"
                continue
            fi
            declare -n _var=$_name
            _attributes=${_var@a}
            _changed=no
            _values=()
            if [[ $_attributes == *[aA]* ]]; then
                _keys=("${!_var[@]}")
                _newKeys=()
                for _key in "${_keys[@]}"; do
                    nm_vm32_repoint "$_to" "${_var[$_key]}" "$@"
                    [ "$_nm_repointed" = "${_var[$_key]}" ] || _changed=yes
                    _values+=("$_nm_repointed")
                    # an associative array's keys are texts too: a path may be one
                    _newKeys+=("$_key")
                    if [[ $_attributes == *A* ]]; then
                        nm_vm32_repoint "$_to" "$_key" "$@"
                        [ "$_nm_repointed" = "$_key" ] || _changed=yes
                        _newKeys[-1]=$_nm_repointed
                    fi
                done
            else
                nm_vm32_repoint "$_to" "$_var" "$@"
                [ "$_nm_repointed" = "$_var" ] || _changed=yes
                _values=("$_nm_repointed")
            fi
            if [ "$_changed" = no ]; then
                declare -p "$_name" 2>/dev/null
            elif [[ $_attributes == *[aA]* ]]; then  # written out: a readonly one cannot be assigned
                builtin printf 'declare -%s %s=(' "$_attributes" "$_name"
                for _i in "${!_keys[@]}"; do builtin printf '[%q]=%q ' "${_newKeys[_i]}" "${_values[_i]}"; done
                builtin printf ')\n'
            else
                builtin printf 'declare -%s %s=%q\n' "${_attributes:--}" "$_name" "${_values[0]}"
            fi
            unset -n _var
        done
        # An exported variable of another name reaches the check through the
        # environment the queue runs with: one that names the prefix is
        # carried, re-pointed (the folder the check runs in is set apart).
        while IFS= read -r _name; do
            [[ $_name =~ $nm_vm32_carried || $_name == PWD || $_name == OLDPWD ]] && continue
            nm_vm32_repoint "$_to" "${!_name}" "$@"
            [ "$_nm_repointed" = "${!_name}" ] || builtin printf 'declare -x %s=%q\n' "$_name" "$_nm_repointed"
        done < <(compgen -e)
    )
}

# nm_vm32_repoint TO VALUE FROM...: VALUE with every path in the folder FROM
# made the same path in TO, in _nm_repointed: FROM itself or a path below it,
# alone or inside a longer text, with slashes or with backslashes (a Z: path).
# A name that only begins or ends like FROM ("FROM-other", "FROM.old",
# "/mnt/FROM") is another folder.  Each FROM is another way to write it.
nm_vm32_repoint() {
    local _to=$1 _from
    _nm_repointed=$2
    shift 2
    for _from; do
        nm_vm32_replace_folder "$_from" "$_to"
        nm_vm32_replace_folder "${_from//\//\\}" "${_to//\//\\}"
    done
}
nm_vm32_replace_folder() {  # FROM TO: in _nm_repointed
    [[ $_nm_repointed == *"$1"* ]] || return 0
    local _mark _pieces _piece _previous _i
    # Each FROM marked by a byte the text does not hold, then the text split
    # there: linear in the text (a loop of ${text#*FROM} is quadratic, and a
    # case's output of some 100 KB took minutes).
    for _mark in $'\1' $'\2' $'\3' $'\4' $'\5' $'\6' $'\7' ""; do
        [[ -n $_mark && $_nm_repointed != *"$_mark"* ]] && break
    done
    if [ -n "$_mark" ]; then
        mapfile -d "$_mark" -t _pieces <<<"${_nm_repointed//"$1"/$_mark}"
        _pieces[-1]=${_pieces[-1]%$'\n'}
    else  # every mark taken: cut the text at each FROM, slower
        local _rest=$_nm_repointed
        _pieces=()
        while [[ $_rest == *"$1"* ]]; do
            _piece=${_rest%%"$1"*}
            _pieces+=("$_piece")
            _rest=${_rest:${#_piece}+${#1}}
        done
        _pieces+=("$_rest")
    fi
    _nm_repointed=${_pieces[0]}
    _previous=${_pieces[0]: -1}
    for ((_i = 1; _i < ${#_pieces[@]}; _i++)); do
        _piece=${_pieces[_i]}
        if [[ $_previous == [A-Za-z0-9._~+-] || $_piece == [A-Za-z0-9._~+-]* ]]; then
            _nm_repointed+=$1$_piece
        else
            _nm_repointed+=$2$_piece
        fi
        if [ -n "$_piece" ]; then _previous=${_piece: -1}; else _previous=${1: -1}; fi
    done
}

# Waits for the machine to run the last queued check, and counts what they
# report: each check once, by the line that names this run and the check.
nm_vm32_run_queue() {
    local refused
    if [ -f "$NM_VM32_QUEUE/refused" ]; then
        while IFS= read -r refused; do
            wine_fail "$refused: not queued: a check is queued from the suite's own shell, not from a subshell"
        done <"$NM_VM32_QUEUE/refused"
        rm -f "$NM_VM32_QUEUE/refused"
    fi
    [ "$nm_vm32_queued" -gt 0 ] || return 0
    echo "wine 32-bit checks in the emulated machine ($nm_vm32_queued queued):"
    local waited=$SECONDS out line counted=0 number reported=" "
    local report="^(.*)$nm_vm32_report ([0-9]+): ([0-9]+) passed, ([0-9]+) failed$"
    : >"$NM_VM32_QUEUE/end"
    until [ -e "$NM_VM32_QUEUE/machine.status" ]; do sleep 1; done
    nm_vm32_machine=""
    out=$(cat "$NM_VM32_QUEUE/machine.out")
    while IFS= read -r line; do
        if [[ $line =~ $report ]]; then
            [ -z "${BASH_REMATCH[1]}" ] || printf '%s\n' "${BASH_REMATCH[1]}"
            number=$((10#${BASH_REMATCH[2]}))
            if ((number < 1 || number > nm_vm32_queued)) || [[ $reported == *" $number "* ]]; then
                wine_fail "32-bit checks: a second report, or one for no check queued: ${BASH_REMATCH[0]}"
                continue
            fi
            reported+="$number "
            wine_passed=$((wine_passed + BASH_REMATCH[3]))
            wine_failed=$((wine_failed + BASH_REMATCH[4]))
            counted=$((counted + 1))
            ((BASH_REMATCH[3] + BASH_REMATCH[4] > 0)) ||
                wine_fail "${nm_vm32_names[number - 1]}: checked nothing in the emulated machine"
        else
            printf '%s\n' "$line"
        fi
    done <<<"$out"
    [ "$counted" = "$nm_vm32_queued" ] ||
        wine_fail "32-bit checks: $((nm_vm32_queued - counted)) of $nm_vm32_queued did not report from the emulated machine"
    echo "  time  $((SECONDS - nm_vm32_started)) s from the first queued (boot included), $((SECONDS - waited)) s after the last case"
    rm -rf "$NM_VM32_QUEUE"
    nm_vm32_queued=0
    nm_vm32_names=()
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
        local started=$SECONDS
        WINEPREFIX="$prefix" NM_VM32_KEEP=$prefix "${nm_vm32_run[@]}" \
            bash -c '"${@:2}" >/dev/null 2>&1; "$1" -w' - "$WINESERVER" "${half[@]}"
        echo "  time  $((SECONDS - started)) s (boot included)"
    fi
    [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]
}
