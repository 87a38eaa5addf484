#!/usr/bin/env bash
# The temporary-folder files through the stand-in host and the tree's own plug-in, under Wine:
# a run on a fresh temporary folder writes the memory-dot map (104 bytes: 40 and 25 zero
# flags), and a later run reads the flags and writes them back unchanged. That run plays a
# recorded action with its dialog, which the plug-in accepts: it pushes the entry state to an
# undo file and caches the planet, and the next run without a recorded action starts from it.
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
    --out "$(winpath "$work/out.png")" "$@" >"$work/host.txt" 2>&1
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
cached="$temp/Kivaglobe cached settings C"
# Other runs' files are put back at the end.
mkdir "$work/saved"
for f in "$map" "$cached" "$temp/Kivaglobe undo 0" "$temp/Kivaglobe undo 1"; do
  [ -e "$f" ] && cp "$f" "$work/saved/"
done
rm -f "$map" "$cached" "$temp/Kivaglobe undo 0" "$temp/Kivaglobe undo 1"
want="$work/want"

if [ "$width" = 64 ]; then
  run || { echo "FAIL: the host run failed"; cat "$work/host.txt"; fail=1; }
  python3 -c "import struct,sys; sys.stdout.buffer.write(struct.pack('>26I', 40, *[0]*25))" >"$want"
  if ! cmp -s "$map" "$want"; then echo "FAIL: a fresh map is not 40 and 25 zero flags"; xxd "$map" | head; fail=1; fi
fi

python3 -c "import struct,sys; sys.stdout.buffer.write(struct.pack('>26I', 40, *[n % 3 == 0 for n in range(25)]))" >"$want"
cp "$want" "$map"
touch -d '2001-01-01' "$map"
run --dialog --ui-step ok --set "storm count=7" || { echo "FAIL: the second host run failed"; cat "$work/host.txt"; fail=1; }
if ! cmp -s "$map" "$want"; then echo "FAIL: the flags did not survive a run"; xxd "$map" | head; fail=1; fi
if [ "$(stat -c %Y "$map")" -lt 1000000000 ] || [ "$(date -r "$map" +%Y)" = 2001 ]; then
  echo "FAIL: the map was not written at the end of the run"; fail=1
fi


# The accepted planet was cached, and the entry state went to an undo file.
[ -s "$cached" ] || { echo "FAIL: no cached settings after a run accepted with its dialog"; fail=1; }
ls "$temp"/Kivaglobe\ undo\ [01] >/dev/null 2>&1 || { echo "FAIL: no undo file after the dialog's push"; fail=1; }
run --record "$(winpath "$work/act.txt")" || { echo "FAIL: the third host run failed"; cat "$work/host.txt"; fail=1; }
# The storm count's key, as the recorded action writes it: "KEY type value".
if ! grep -qE '^0017 long 7\r?$' "$work/act.txt" 2>/dev/null; then
  echo "FAIL: a run without a recorded action did not start from the cached settings"; cat "$work/act.txt"; fail=1
fi

rm -f "$map" "$cached" "$temp/Kivaglobe undo 0" "$temp/Kivaglobe undo 1"
cp "$work/saved/"* "$temp/" 2>/dev/null
[ $fail = 0 ] && echo "memory-dot map: written at the end of the run, 25 flags kept; cached settings used ($width-bit)"
exit $fail
