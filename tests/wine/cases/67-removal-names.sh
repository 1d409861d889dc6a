# Removal by exact names on a Wine drive.  The names are made on the Unix
# side, where any name can be: the narrow calls show them through the code
# page's best-fit table ("..／outside" is listed as "../outside"), and a
# trailing dot or space is dropped from the last name of a path, so a walk
# that turned listed names back into paths could reach folders outside or
# miss entries.  Wine lists no Unix link that leads nowhere, and shows a Unix
# link to a file as the file itself: neither is made here.
nm_new_prefix removal-names

n_vol="$WINEPREFIX/vol"
mkdir -p "$n_vol/n"
ln -sfn "$n_vol/n" "$WINEPREFIX/dosdevices/n:"
# nmutil of the build of this bitness (64 or 32), in a folder of its own log.
n_util() {
    local bits=$1 run
    shift
    run=$(mktemp -d "$WINEPREFIX/drive_c/run.XXXXXX") || return 125
    (cd "$run" && if [ "$bits" = 32 ]; then nm_wine32 "$NM_BIN32/nmutil.exe" "$@"; else nm_wine "$NM_BIN/nmutil.exe" "$@"; fi)
}
# Every file and folder below $1 but those below $1/$2 (and $1/$3), with the
# bytes of each file.
n_snapshot() {
    local skip=(-path "./$2" -prune)
    [ -n "${3:-}" ] && skip+=(-o -path "./$3" -prune)
    (cd "$1" && find . \( "${skip[@]}" \) -o -printf '%y %p\n' | LC_ALL=C sort &&
        find . \( "${skip[@]}" \) -o -type f -exec md5sum {} + | LC_ALL=C sort)
}

# The reproductions, in a folder of their own for each bitness.  The program
# of that bitness first lists the drive: every check after it that finds
# nothing left, or the outside unchanged, is about a tree the program saw.
n_reproductions() {
    local bits=$1 top="$n_vol/n/r$1" before out left stream

    # look-alikes of "..\" and "../" lead out of the folder when listed names become paths
    mkdir -p "$top/clean/..／outside" "$top/outside/sub"
    echo a >"$top/outside/a.txt"
    echo b >"$top/outside/sub/b.txt"
    echo v >"$top/victim.txt"
    echo x >"$top/clean/..＼victim.txt"
    echo y >"$top/clean/..／outside/in.txt"
    # a trailing dot or space, a full-width letter beside its ASCII twin
    mkdir -p "$top/t2/abc." "$top/t2/sp "
    echo 1 >"$top/t2/abc./f"
    echo 2 >"$top/t2/sp /f"
    echo 3 >"$top/t2/a.txt"
    echo 4 >"$top/t2/ａ.txt"
    # a file at the drive's root, for the streams below
    echo keep >"$n_vol/n/keep.txt"
    nm_sees_tree "$bits-bit: the program sees the drive's trees, name for name, before removing" \
        "$bits" 'N:\' "$n_vol/n"

    # The five removals side by side, each in a folder of its own (its own
    # log): in the emulated machine a 32-bit program takes some ten seconds
    # to start.  A stream of the root folder names the root itself.
    before=$(n_snapshot "$top" clean t2)
    local streams=('N:\:$I30:$INDEX_ALLOCATION' '\\?\N:\:$I30:$INDEX_ALLOCATION' "N:\\r$bits\\t2:\$I30:\$INDEX_ALLOCATION")
    local runs="$WINEPREFIX/runs-$bits" i folders=("N:\\r$bits\\clean" "N:\\r$bits\\t2" "${streams[@]}")
    mkdir -p "$runs"
    for i in "${!folders[@]}"; do
        (n_util "$bits" remove "${folders[i]}" >"$runs/$i"; echo "status $?" >>"$runs/$i") &
    done
    wait

    nm_expect "$bits-bit look-alikes: the folder's contents go, exit status 0" "$(cat "$runs/0")" "removed: yes" \
        "status 0"
    [ "$(n_snapshot "$top" clean t2)" = "$before" ] &&
        wine_pass "$bits-bit look-alikes: the folder and file outside are byte-identical" ||
        wine_fail "$bits-bit look-alikes: the folder and file outside are byte-identical" \
            "$(diff <(echo "$before") <(n_snapshot "$top" clean t2))"
    left=$(cd "$top/clean" && find . | sort | tr '\n' ' ')
    [ "$left" = ". " ] && wine_pass "$bits-bit look-alikes: nothing is left in the folder" ||
        wine_fail "$bits-bit look-alikes: nothing is left in the folder" "$left"

    nm_expect "$bits-bit exact names: trailing dots and spaces go too, exit status 0" "$(cat "$runs/1")" \
        "removed: yes" "status 0"
    left=$(cd "$top/t2" && find . | sort | tr '\n' ' ')
    [ "$left" = ". " ] && wine_pass "$bits-bit exact names: nothing is left in the folder" ||
        wine_fail "$bits-bit exact names: nothing is left in the folder" "$left"

    for i in 0 1 2; do
        stream=${streams[i]}
        nm_expect "$bits-bit streams: '$stream' refused with the root record" "$(cat "$runs/$((i + 2))")" \
            "removed: no" "Drive: $stream" "Problem: Cleaning the root directory of a drive is not allowed!" "status 1"
    done
    [ -f "$n_vol/n/keep.txt" ] && [ -d "$top/t2" ] && wine_pass "$bits-bit streams: the drive's files are still there" ||
        wine_fail "$bits-bit streams: the drive's files are still there" "$(cd "$n_vol/n" && find . | sort)"
}
n_reproductions 64
[ -n "$NM_BIN32" ] && nm_wine32_check "removal names, 32-bit" n_reproductions 32

# --- property: seeded random trees of hostile names, with links and hard
# links to folders and files outside; after each removal everything outside
# is unchanged, and everything inside is gone, or it stays with the answer
# "no" and a record (only links, which Wine follows, desktop.ini files and
# the folders holding them may stay).
n_seed=${NM_REMOVAL_SEED:-$((RANDOM * 32768 + RANDOM))}
n_trees=${NM_REMOVAL_TREES:-200}
n_prop="$n_vol/n/prop"
mkdir -p "$n_prop/outside/sub" "$n_prop/outside/empty" "$n_prop/park"
echo outside >"$n_prop/outside/a.txt"
echo deeper >"$n_prop/outside/sub/b.txt"
echo read-only >"$n_prop/outside/ro.txt"
echo hidden >"$n_prop/outside/ro-hidden.txt"
chmod 444 "$n_prop/outside/ro.txt" "$n_prop/outside/ro-hidden.txt"
"$WINE64" cmd /c "attrib +h +r N:\\prop\\outside\\ro-hidden.txt" >/dev/null 2>&1
echo victim >"$n_prop/victim.txt"
n_names=("..／outside" "..＼victim.txt" "..／..／outside" "．．" "．" "..." "ａ.txt" "a.txt" "A.TXT" "abc." "sp "
    "x. ." "：\$I30" "Ｃ：＼outside" "desktop.ini" "ｄesktop.ini" "DATA" "data" "ｄａｔａ" "c:x" "数据" "ß.txt")
n_long="ｌｏｎｇ name ＼ part ..／"  # 20 characters, 44 bytes
n_links=("$n_prop/outside" "$n_prop/outside/sub" "$n_prop/outside/empty")
n_make_tree() {  # DIR DEPTH
    local dir=$1 depth=$2 count=$((RANDOM % 7 + 2)) i name kind
    for ((i = 0; i < count; i++)); do
        name=${n_names[RANDOM % ${#n_names[@]}]}
        ((RANDOM % 3 == 0)) && name="$((RANDOM % 10))$name"
        [ -e "$dir/$name" ] || [ -L "$dir/$name" ] && continue
        kind=$((RANDOM % 28))
        if ((kind >= 12 && kind < 19 && depth < 4)); then
            mkdir "$dir/$name" && n_make_tree "$dir/$name" $((depth + 1))
        elif ((kind == 19 || kind == 20)); then
            ln "$n_prop/outside/a.txt" "$dir/$name"
        elif ((kind == 21)); then
            ln -s "${n_links[RANDOM % ${#n_links[@]}]}" "$dir/$name"
        elif ((kind == 22)); then  # second names of read-only files outside
            ln "$n_prop/outside/$( ((RANDOM % 2)) && echo ro.txt || echo ro-hidden.txt)" "$dir/$name"
        elif ((kind == 23)); then  # a link beside names that hold its name and a backslash
            ln -s "${n_links[RANDOM % ${#n_links[@]}]}" "$dir/lnk$i" && echo x >"$dir/lnk$i\\victim.txt" &&
                mkdir "$dir/lnk$i\\sub"
        elif ((kind == 24)); then  # file links, absolute and relative
            ln -s "$n_prop/outside/a.txt" "$dir/$name" && ln -s "../../outside/sub/b.txt" "$dir/r$name"
        elif ((kind == 25)); then  # a folder and a link to the outside that differ only in case
            mkdir "$dir/Twin$i" && echo x >"$dir/Twin$i/f" && ln -s "${n_links[RANDOM % ${#n_links[@]}]}" "$dir/tWIN$i"
        else
            printf '%s' "$name" >"$dir/$name"
        fi
    done
}
n_check_tree() {  # INDEX ANSWER RECORDS: prints what is wrong, nothing when right
    local tree="$n_prop/p$1" answer=$2 records=$3 left
    if [ "$answer" = yes ]; then
        # A link that leads nowhere (a relative file link made at the top of
        # a tree) is neither listed nor opened by Wine: invisible to every
        # Win32 call, so no removal can see it, nor record it.
        left=$(cd "$tree" && find . -mindepth 1 ! -xtype l ! -path './desktop.ini' ! -path './swap' ! -path './swap/*')
        [ -z "$left" ] || echo "p$1: answered yes but left: $left"
        return
    fi
    [ "$records" -gt 0 ] || echo "p$1: answered no without a record"
    # What Wine shows as a plain file may be a link to one; a name holding a
    # backslash is never opened; Wine names a handle opened by a name of dots
    # alone as another entry, so it stays with what it holds; the swapped
    # folder is another program's.
    left=$(cd "$tree" && find . -mindepth 1 ! -type l ! -type d ! -name desktop.ini ! -name '*\\*' \
        ! -regex '.*/[. ]*' ! -regex '.*/[. ]*/.*' ! -path './swap' ! -path './swap/*')
    [ -z "$left" ] || echo "p$1: files left: $left"
    while IFS= read -r -d '' folder; do
        [[ "$folder" == ./swap* || "$folder" == *\\* || "$folder" =~ /[.\ ]*(/|$) ]] && continue
        [ -n "$(find "$tree/$folder" -mindepth 1 \( -type l -o -name desktop.ini -o -name '*\\*' -o -regex '.*/[. ]*' \) \
            -print -quit)" ] ||
            echo "p$1: a folder left with nothing that had to stay: $folder"
    done < <(cd "$tree" && find . -mindepth 1 -type d -print0)
}

RANDOM=$n_seed
n_started=$SECONDS
for ((t = 0; t < n_trees; t++)); do
    mkdir -p "$n_prop/p$t"
    n_make_tree "$n_prop/p$t" 0
    if ((t % 4 == 0)); then  # paths past 260 characters: 14 names of 20 characters
        n_deep="$n_prop/p$t"
        for ((d = 0; d < 14; d++)); do n_deep+="/$n_long$d"; done
        mkdir -p "$n_deep" && echo deep >"$n_deep/end.txt"
    fi
done
n_before=$(n_snapshot "$n_vol/n" 'prop/p*')
n_before+=$'\n'$(stat -c '%a %n' "$n_prop"/outside/*)$'\n'$(python3 -c 'import os,sys
print(sorted((p, [(a, os.getxattr(p, a)) for a in os.listxattr(p)]) for p in sys.argv[1:]))' "$n_prop"/outside/*)
# Every fifth tree has a folder "swap" that another program keeps swapping
# for a link to the outside and back while the removals run.
for ((t = 0; t < n_trees; t += 5)); do mkdir -p "$n_prop/p$t/swap/in" && echo x >"$n_prop/p$t/swap/in/f"; done
n_swapper() {
    local t
    while [ ! -e "$n_prop/park/stop" ]; do
        for ((t = 0; t < n_trees; t += 5)); do
            if [ -L "$n_prop/p$t/swap" ]; then
                rm "$n_prop/p$t/swap" && mv "$n_prop/park/p$t" "$n_prop/p$t/swap"
            elif [ -d "$n_prop/p$t/swap" ]; then
                mv "$n_prop/p$t/swap" "$n_prop/park/p$t" 2>/dev/null && ln -s "$n_prop/outside" "$n_prop/p$t/swap"
            fi
        done
        sleep 0.02
    done
}
n_swapper &
n_swapper_pid=$!
n_out=$(cd "$WINEPREFIX/drive_c" && rm -f NMActionLog.txt && NM_WINE_TIMEOUT=600 nm_wine "$NM_BIN/nm_remove_trees.exe" 'N:\prop' "$n_trees")
touch "$n_prop/park/stop"
wait "$n_swapper_pid"
n_problems=""
[ "$(grep -c '^p[0-9]* ' <<<"$n_out")" = "$n_trees" ] || n_problems+="the removals did not all answer"$'\n'
while read -r tree answer records; do
    n_problems+=$(n_check_tree "${tree#p}" "$answer" "${records#records=}")$'\n'

done <<<"$n_out"
n_after=$(n_snapshot "$n_vol/n" 'prop/p*')
n_after+=$'\n'$(stat -c '%a %n' "$n_prop"/outside/*)$'\n'$(python3 -c 'import os,sys
print(sorted((p, [(a, os.getxattr(p, a)) for a in os.listxattr(p)]) for p in sys.argv[1:]))' "$n_prop"/outside/*)
if [ "$n_after" != "$n_before" ]; then
    n_problems+="outside changed: $(diff <(echo "$n_before") <(echo "$n_after") | head -n 10)"
fi
n_problems=$(grep -v '^$' <<<"$n_problems")
if [ -z "$n_problems" ]; then
    wine_pass "property: $n_trees hostile trees (seed $n_seed, $(grep -c ' no ' <<<"$n_out") answered no), outside unchanged, inside gone or recorded, $((SECONDS - n_started)) s"
else
    wine_fail "property: $n_trees hostile trees, seed $n_seed (NM_REMOVAL_SEED=$n_seed repeats it)" "$n_problems"
fi

nm_stop_prefix
