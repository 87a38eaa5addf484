#!/usr/bin/env bash
# The layered document through the tree's plug-in, as a user makes it from the dialog: what the
# previews leave behind must not reach it. The planet has city lights, whose brightness is drawn
# at random while the layers render. For 8- and 16-bit documents, kivahost.exe exports
# once at the dialog's opening and once after two zoom steps in, two pans, the map mode changed
# and changed back and a zoom step out, each with its preview; the two documents must be the
# same bytes. Both must also hold the layers and the merged picture that psd_export_tool writes
# for the same planet without host or dialog (its document carries an ICC profile and no mode
# keyword, so the comparison starts at the layer and mask section). 32-bit documents do not
# come through this host: the plug-in's property list enables 8- and 16-bit modes only.
# Usage: psd_state_check.sh HOST.exe PLUGIN.8bf TOOL.exe 64|32 OUTDIR RUNNER...
set -u
host=$1 plugin=$2 tool=$3 width=$4 out=$5
shift 5
runner=("$@")
if [ -z "${DISPLAY:-}" ]; then
  echo "SKIPPED: the plug-in's dialog needs a display (run under ./kivaglobe test or with Xvfb)"
  exit 77
fi
W=1000 H=64
fail=0
no() { echo "FAIL: $*"; fail=1; }
rm -rf "$out"
mkdir -p "$out/tool"
win() { echo "Z:${1//\//\\}"; }

# One session with the dialog at DEPTH bits: the STEPS, then the export into OUTDIR/NAME.psd.
# Arguments: NAME DEPTH STEPS...
export_through_dialog() {
  local name=$1 depth=$2
  shift 2
  local doc="$out/$name.psd" steps="$out/$name.txt"
  { printf '%s\n' "$@"; printf '%s\n' "press 71" "file $(win "$doc")" "wait-for 34" cancel; } >"$steps"
  "${runner[@]}" "$host" --plugin "$plugin" --size ${W}x$H --depth "$depth" --mode "lit map" --set "cities=80" --dialog \
    --ui "$(win "$steps")" >"$out/$name.log" 2>&1
  grep -q 'UI failed' "$out/$name.log" && no "$name: $(grep 'UI failed' "$out/$name.log")"
  [ -s "$doc" ] || no "$name: no document"
}

"${runner[@]}" "$tool" "$(win "$out/tool")" $W $H cities=80 >"$out/tool.log" 2>&1 || no "the export tool failed: $(tail -n 2 "$out/tool.log")"
for depth in 8 16; do
  export_through_dialog fresh$depth $depth wait-preview
  # The document fits the preview at 1/3: two steps in reach 100%, where it can be panned.
  export_through_dialog busy$depth $depth wait-preview "click 32" wait-preview "click 32" wait-preview "read 34" \
    "drag 18 -60 -40" wait-preview "select 73 0" wait-preview "drag 18 25 10" wait-preview "click 33" \
    wait-preview "select 73 2" wait-preview "read 34"
  grep -q 'UI text 34 "100%"' "$out/busy$depth.log" || no "busy$depth: the zoom did not reach 100%"
  grep -q 'UI text 34 "50%"' "$out/busy$depth.log" || no "busy$depth: the zoom step out did not give 50%"
  if ! cmp -s "$out/fresh$depth.psd" "$out/busy$depth.psd"; then
    no "$depth-bit: the export after the previews differs from the fresh one: $(cmp "$out/fresh$depth.psd" "$out/busy$depth.psd" 2>&1)"
  fi
  python3 - "$out/fresh$depth.psd" "$out/tool/layers$depth.psd" <<'PY' || no "$depth-bit: the plug-in's layers differ from the tool's"
import struct, sys
def layers(path):
    b = open(path, 'rb').read()
    at = 26
    for _ in range(2):   # the colour mode data, the image resources
        at += 4 + struct.unpack('>I', b[at:at + 4])[0]
    return b[at:]
a, b = layers(sys.argv[1]), layers(sys.argv[2])
if a != b:
    first = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
    print('layer and mask sections of %d and %d bytes differ from byte %d' % (len(a), len(b), first))
    sys.exit(1)
PY
done
# Kivaglobe32's documents against Kivaglobe64's, when that tree has made them.
if [ "$width" = 32 ]; then
  other=${out/\/win32\//\/win64\/}
  for name in fresh8 busy8 fresh16 busy16; do
    if [ -s "$other/$name.psd" ]; then
      cmp -s "$out/$name.psd" "$other/$name.psd" || no "$name.psd differs from Kivaglobe64's"
    else
      echo "note: no $other/$name.psd of Kivaglobe64 to compare with"
    fi
  done
fi
[ $fail = 0 ] && echo "1 passed, 0 failed: Kivaglobe$width's documents do not depend on the previews"
exit $fail
