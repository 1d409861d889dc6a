# FAT volumes made by mkfs.fat and mtools, each on a drive whose device is
# its image: nmutil volume reads them through the real volume device and
# must agree with minfo and fsck.fat; the raw-volume unit tests run against
# one of them.
nm_new_prefix volumes

nm_map_volumes
vol="$WINEPREFIX/vol"
made="$vol/made"
cp "$vol/k/.fat12.img" "$vol/r.img"
mkdir -p "$vol/r"
mv "$vol/r.img" "$vol/r/.raw.img"
ln -sfn "$vol/r" "$WINEPREFIX/dosdevices/r:"
ln -sfn "$vol/r/.raw.img" "$WINEPREFIX/dosdevices/r::"
"$WINESERVER" -k >/dev/null 2>&1  # drives are read when the server starts

NM_RAW_VOLUME_DRIVE=R nm_gtest "raw volume device (Win32 calls only)" "$NM_BIN/nm_raw_volume_tests.exe"

# The figure of KEY in an expected.txt line.
figure() { sed -nE "s/.* $1=([^ ]*).*/\1/p" <<<"$2"; }

# One sector as nmutil dumps it: "OFFSET: 16 bytes" in upper-case hex.
dump_sector() {
    echo "sector $2:"
    od -A d -t x1 -v -j $(($2 * 512)) -N 512 "$1" |
        awk 'NF > 1 { printf "%04X:", ($1 - '$(($2 * 512))'); for (i = 2; i <= NF; i++) printf " %s", toupper($i); printf "\n" }'
}

while read -r line; do
    read -r image letter fsname type _ <<<"$line"
    [ "$type" = 1 ] && continue
    lower=${letter,,}
    img="$vol/$lower/.$image"
    # The FAT's first sector: chains of every length, a different picture on each volume.
    fat=$(figure reserved "$line")
    out=$(nm_wine "$NM_BIN/nmutil.exe" volume "$letter:" --free --read-sector "$fat")
    want_type=FAT$type
    mapfile -t sector < <(dump_sector "$img" "$fat")
    [ ${#sector[@]} -eq 33 ] || sector+=("(the image's sector could not be dumped)")
    nm_expect "$image: type, geometry and free clusters as minfo and fsck.fat say" "$out" \
        "type: $want_type" "access method: 4" \
        "bytes per sector: $(figure bps "$line")" "sectors per cluster: $(figure spc "$line")" \
        "reserved sectors: $(figure reserved "$line")" "FAT size: $(figure fatsize "$line")" \
        "root entries: $(figure rootentries "$line")" "cluster count: $(figure clusters "$line")" \
        "free clusters: $(figure free "$line")"
    nm_expect "$image: FAT sector read through \\\\.\\$letter: as the image holds it" "$out" "${sector[@]}"

    before=$(fsck.fat -n "$img" 2>&1 | tail -n 1)
    out=$(nm_wine "$NM_BIN/nmutil.exe" volume "$letter:" --blank-label)
    at=$([ "$type" = 32 ] && echo 71 || echo 43)
    label=$(od -A n -t x1 -j "$at" -N 11 "$img" | tr -d ' \n')
    after=$(fsck.fat -n "$img" 2>&1 | tail -n 1)
    if grep -qxF "label: blanked" <<<"$out" && [ "$label" = 2020202020202020202020 ] && [ "$before" = "$after" ]; then
        wine_pass "$image: label blanked, files and clusters as before"
    else
        wine_fail "$image: label blanked, files and clusters as before" "$out
label bytes: $label
fsck before: $before
fsck after:  $after"
    fi
done <"$made/expected.txt"

line=$(grep ' NTFS ' "$made/expected.txt")
out=$(nm_wine "$NM_BIN/nmutil.exe" volume O: --free)
nm_expect "ntfs.img: identified and measured through the volume device" "$out" \
    "type: NTFS" "bytes per sector: 512" "sectors per cluster: $(figure spc "$line")" \
    "cluster count: $(figure clusters "$line")"
echo "  note  ntfs.img: Wine answers FSCTL_GET_VOLUME_BITMAP with error 50, so NTFS free clusters are counted on the host only (nmutil says: $(grep '^free clusters' <<<"$out"))"

nm_stop_prefix
