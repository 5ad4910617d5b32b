#!/usr/bin/env bash
# Makes the two things a Windows user downloads, from a build of the 32-bit
# product:
#
#   ZARL-<version>-win32.zip   one folder ZARL-<version>/: ZARL.exe without its
#                              symbols, the help file and its contents file, the
#                              HTML manual (manual/), README.txt and the licence
#                              texts, all with CRLF line ends where text
#   ZARL-<version>-setup.exe   the per-user installer of the same files (NSIS)
#
#   package.sh SOURCE_DIR BUILD_DIR OUT_DIR STRIP VERSION VERSION_NUMBERS
#
# Reproducible: the same commit gives the same bytes. Every file gets the
# commit's time (SOURCE_DATE_EPOCH when set, else the time of the source
# tree's last commit), the zip lists its files in a fixed order without the
# extra Unix fields, in UTC, and makensis gets SOURCE_DATE_EPOCH too.
set -euo pipefail

[ $# -eq 6 ] || {
    echo "usage: $0 SOURCE_DIR BUILD_DIR OUT_DIR STRIP VERSION VERSION_NUMBERS" >&2
    exit 2
}
source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
out_dir=$3
strip=$4
version=$5
version_numbers=$6

for tool in zip makensis "$strip"; do
    command -v "$tool" >/dev/null || {
        echo "package: $tool is missing (run scripts/install-deps.sh)" >&2
        exit 1
    }
done

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || true)
    # Outside a git checkout: a fixed time rather than today's.
    [ -n "$SOURCE_DATE_EPOCH" ] || SOURCE_DATE_EPOCH=1767225600 # 2026-01-01 00:00 UTC
fi
export SOURCE_DATE_EPOCH

name=ZARL-$version
mkdir -p "$out_dir"
out_dir=$(cd "$out_dir" && pwd)
stage_root=$out_dir/stage
stage=$stage_root/$name
zip_file=$out_dir/$name-win32.zip
setup_file=$out_dir/$name-setup.exe

rm -rf "$stage_root"
mkdir -p "$stage/manual"
"$strip" -o "$stage/ZARL.exe" "$build_dir/ZARL.exe"
cp "$build_dir/docs/ZARL.HLP" "$build_dir/docs/ZARL.CNT" "$stage/"
cp "$build_dir/docs/html/"*.html "$stage/manual/"
[ -f "$stage/manual/index.html" ] || {
    echo "package: the HTML manual has no index.html" >&2
    exit 1
}

# Text for Windows: CRLF line ends, the version filled in.
crlf() {
    sed -e "s/@VERSION@/$version/g" -e 's/\r$//' -e 's/$/\r/' "$1" >"$2"
}
crlf "$source_dir/packaging/README.txt" "$stage/README.txt"
crlf "$source_dir/LICENSE" "$stage/LICENSE.txt"
crlf "$source_dir/packaging/THIRD-PARTY-NOTICES.txt" "$stage/THIRD-PARTY-NOTICES.txt"

# Modes and times that depend on nothing but the commit.
find "$stage_root" -type d -exec chmod 755 {} +
find "$stage_root" -type f -exec chmod 644 {} +
find "$stage_root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

rm -f "$zip_file"
(cd "$stage_root" && find "$name" -print | LC_ALL=C sort |
    TZ=UTC zip -X -q -9 -@ "$zip_file")
touch -d "@$SOURCE_DATE_EPOCH" "$zip_file"

payload_kb=$(du -sk --apparent-size "$stage" | cut -f1)
rm -f "$setup_file"
makensis -V2 -INPUTCHARSET UTF8 \
    "-DVERSION=$version" "-DVERSION_NUMBERS=$version_numbers" \
    "-DSTAGE=$stage" "-DICON=$source_dir/res/ZARL.ico" \
    "-DOUTFILE=$setup_file" "-DPAYLOAD_KB=$((payload_kb + 64))" \
    "$source_dir/packaging/zarl.nsi"
touch -d "@$SOURCE_DATE_EPOCH" "$setup_file"

ls -l "$zip_file" "$setup_file"
