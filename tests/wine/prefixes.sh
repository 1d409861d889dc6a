# The Wine suite's prefixes: the template, and each case file's prefixes made
# from it, kept only while they are worth a look.  Sourced by run-suite once
# NM_WINE_ROOT and NM_WINE_TEMPLATE are set; uses its wine_fail.

# What the template was made by: another Wine would update a prefix made from
# it at its first start, rewriting the system folders' files that the
# prefixes share.
nm_template_maker() { "$WINE64" --version 2>&1; stat -c %Y /usr/share/wine/wine.inf 2>&1; }
NM_WINE_TEMPLATE_STAMP="$NM_WINE_ROOT/template.made-by"
nm_template_current() {
    [ -f "$NM_WINE_TEMPLATE/system.reg" ] && [ "$(cat "$NM_WINE_TEMPLATE_STAMP" 2>/dev/null)" = "$(nm_template_maker)" ]
}
# The template as it stands is the one the run's prefixes share: what made
# it, and the time from which any change to its system files is a fault.
nm_template_in_use() {
    nm_template_maker >"$NM_WINE_TEMPLATE_STAMP"
    touch "$NM_WINE_ROOT/template.in-use"
}
# Whether any shared system file of the template changed during the run: one
# that a case wrote in place, through its prefix's link.  Such a template is
# made anew by the next run.
nm_check_template() {
    local changed
    changed=$(find "$NM_WINE_TEMPLATE/drive_c/windows/system32" "$NM_WINE_TEMPLATE/drive_c/windows/syswow64" \
        -type f -newer "$NM_WINE_ROOT/template.in-use" 2>/dev/null | head -n 20)
    [ -z "$changed" ] && return 0
    rm -f "$NM_WINE_TEMPLATE_STAMP"
    wine_fail "$1: the template's shared system files are unchanged" "written in place:
$changed"
}

# nm_copy_prefix FROM TO: a prefix of its own, whose system32 and syswow64
# share FROM's files (hard links: 1.2 GB of the 1.3 GB a prefix holds), while
# everything else (registry, drive_c's other folders) is copied.  Wine only
# reads the system folders' files once a prefix is made, and what it does
# write there it writes as new files, which leaves FROM's alone; a case that
# wrote into a shared file in place would show in the template's times
# (nm_check_template).
nm_copy_prefix() {
    local from=$1 to=$2
    cp -al "$from" "$to" || return 1
    find "$to" -type f -links +1 \
        ! -path "$to/drive_c/windows/system32/*" ! -path "$to/drive_c/windows/syswow64/*" \
        -exec sh -c 'for f; do cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f" || exit 1; done' - {} +
}

# A fresh prefix for one case file, made from the run's template.
nm_case_prefixes=()
nm_kept_prefixes=()
nm_new_prefix() {
    export WINEPREFIX="$NM_WINE_ROOT/prefix-$1"
    rm -rf "$WINEPREFIX"
    nm_copy_prefix "$NM_WINE_TEMPLATE" "$WINEPREFIX"
    nm_case_prefixes+=("$WINEPREFIX")
}
# The current prefix outlives its case even when the case passes (for runs by
# hand after the suite).
nm_keep_prefix() { nm_kept_prefixes+=("$WINEPREFIX"); }
# After a case file: its prefixes' servers stopped, and the prefixes removed
# when it passed.  NM_WINE_SYSTEM_WRITES=FILE lists into FILE the system
# files that each case made or replaced (its own now, no longer shared).
nm_end_case() {
    local passed=$1 p
    for p in "${nm_case_prefixes[@]}"; do
        WINEPREFIX="$p" "$WINESERVER" -k >/dev/null 2>&1
        WINEPREFIX="$p" "$WINESERVER" -w >/dev/null 2>&1
        [ -n "${NM_WINE_SYSTEM_WRITES:-}" ] &&
            find "$p/drive_c/windows/system32" "$p/drive_c/windows/syswow64" -type f -links 1 -printf '%p %s\n' \
                2>/dev/null | sed "s|^$p/|$(basename "$p") |" >>"$NM_WINE_SYSTEM_WRITES"
        if [ "$passed" = yes ] && [ -z "${NM_WINE_KEEP:-}" ] && [[ " ${nm_kept_prefixes[*]} " != *" $p "* ]]; then
            rm -rf "$p"
        else
            echo "  kept  $p"
        fi
    done
    nm_case_prefixes=()
    nm_kept_prefixes=()
}
