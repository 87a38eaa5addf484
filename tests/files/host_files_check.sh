#!/usr/bin/env bash
# The temporary-folder files through the stand-in host and the tree's own plug-in, under Wine:
# a run on a fresh temporary folder writes the memory-dot map (104 bytes: 40 and 25 zero
# flags), and a later run reads the flags and writes them back unchanged.
# Usage: host_files_check.sh KIVAHOST.EXE PLUGIN.8bf 64|32
set -u
host=$1 plugin=$2 width=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run() {
  "$here/cmake/wine-run" "$width" "$host" --plugin "$(winpath "$plugin")" --size 40x30 \
    --out "$(winpath "$work/out.png")" >"$work/host.txt" 2>&1
}
fail=0

# The plug-in's temporary folder, as Wine answers GetTempPathA for this prefix.
temp=$("$here/cmake/wine-run" 64 cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
# Drive C of a prefix is its drive_c folder.
case $temp in
  [Cc]:\\*) temp="$WINEPREFIX/drive_c/$(printf '%s' "${temp#??}" | tr '\\' '/')" ;;
esac
[ -d "$temp" ] || { echo "FAIL: no temporary folder ($temp)"; exit 1; }
map="$temp/Kivaglobe memdot map 3"
saved="$work/saved-map"
[ -e "$map" ] && cp "$map" "$saved"
rm -f "$map"
want="$work/want"

if [ "$width" = 64 ]; then
  run || { echo "FAIL: the host run failed"; cat "$work/host.txt"; fail=1; }
  python3 -c "import struct,sys; sys.stdout.buffer.write(struct.pack('>26I', 40, *[0]*25))" >"$want"
  if ! cmp -s "$map" "$want"; then echo "FAIL: a fresh map is not 40 and 25 zero flags"; xxd "$map" | head; fail=1; fi
fi

python3 -c "import struct,sys; sys.stdout.buffer.write(struct.pack('>26I', 40, *[n % 3 == 0 for n in range(25)]))" >"$want"
cp "$want" "$map"
touch -d '2001-01-01' "$map"
run || { echo "FAIL: the second host run failed"; cat "$work/host.txt"; fail=1; }
if ! cmp -s "$map" "$want"; then echo "FAIL: the flags did not survive a run"; xxd "$map" | head; fail=1; fi
if [ "$(stat -c %Y "$map")" -lt 1000000000 ] || [ "$(date -r "$map" +%Y)" = 2001 ]; then
  echo "FAIL: the map was not written at the end of the run"; fail=1
fi

rm -f "$map"
[ -e "$saved" ] && cp "$saved" "$map"
[ $fail = 0 ] && echo "memory-dot map: written at the end of the run, 25 flags kept ($width-bit)"
exit $fail
