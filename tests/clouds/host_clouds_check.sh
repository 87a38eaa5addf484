#!/usr/bin/env bash
# Real clouds through the stand-in host and the tree's own plug-in, under Wine. A cloud cache
# for source 0 is put into the plug-in's temporary folder (a picture whose first half of rows is
# full cloud and whose second half is clear) and the planet is rendered in the cloud mask mode
# with real clouds on: the mask must be bright in the planet's rows that show the picture's
# bright rows and dark in the others, and differ from the mask with real clouds off. A lit globe wearing a swirled cloud
# picture is left in OUTDIR, to be looked at.
# Usage: host_clouds_check.sh KIVAHOST.EXE PLUGIN.8bf 64|32 OUTDIR
set -u
host=$1 plugin=$2 width=$3 outdir=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }
work=$(mktemp -d)
temp=$("$here/cmake/wine-run" 64 cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
case $temp in
  [Cc]:\\*) temp="$WINEPREFIX/drive_c/$(printf '%s' "${temp#??}" | tr '\\' '/')" ;;
esac
[ -d "$temp" ] || { echo "FAIL: no temporary folder ($temp)"; exit 1; }
cache="$temp/Kivaglobe cached clouds 00"
# Another run's cache is put back at the end.
[ -e "$cache" ] && cp "$cache" "$work/saved"
restore() {
  if [ -e "$work/saved" ]; then cp "$work/saved" "$cache"; else rm -f "$cache"; fi
  rm -rf "$work"
}
trap restore EXIT

render() {
  local out=$1
  shift
  "$here/cmake/wine-run" "$width" "$host" --plugin "$(winpath "$plugin")" --out "$(winpath "$out")" "$@" \
    >"$work/host.txt" 2>&1 || { echo "FAIL: the host run failed"; cat "$work/host.txt"; return 1; }
}
fail=0
python3 "$here/tests/clouds/make_cloud_cache.py" "$cache" halves
render "$work/on.png" --size 96x96 --mode "cloud mask" --set "real clouds=1" --set "downloaded clouds=0" || fail=1
render "$work/off.png" --size 96x96 --mode "cloud mask" --set "real clouds=0" --set "downloaded clouds=0" || fail=1
if [ $fail = 0 ]; then
  convert "$work/on.png" -colorspace gray -depth 8 "gray:$work/on.gray"
  convert "$work/off.png" -colorspace gray -depth 8 "gray:$work/off.gray"
  python3 - "$work/on.gray" "$work/off.gray" <<'PY' || fail=1
import sys
on = open(sys.argv[1], "rb").read()
off = open(sys.argv[2], "rb").read()
n = 96
def band(rows):
    px = [on[y * n + x] for y in rows for x in range(36, 60)]
    return sum(px) / len(px)
# The sphere's y grows toward the top of the shown planet and the picture's v grows with it:
# the picture's first rows (its cloudy half) lie on the lower half of the planet.
cloudy, clear = band(range(56, 72)), band(range(24, 40))
print("cloud mask, columns 36-59: rows 56-71 mean %.1f, rows 24-39 mean %.1f" % (cloudy, clear))
ok = True
if not (cloudy > 150 and clear < 40):
    print("FAIL: the mask is not bright where the picture is bright and dark where it is clear")
    ok = False
if on == off:
    print("FAIL: real clouds on and off give the same mask")
    ok = False
sys.exit(0 if ok else 1)
PY
fi
python3 "$here/tests/clouds/make_cloud_cache.py" "$cache" swirls
mkdir -p "$outdir"
cp "$work/on.png" "$outdir/real_clouds_mask_$width.png" 2>/dev/null
render "$outdir/real_clouds_globe_$width.png" --size 320x320 --set "real clouds=1" --set "downloaded clouds=0" || fail=1
[ $fail = 0 ] && echo "real clouds through the host: pass"
exit $fail
