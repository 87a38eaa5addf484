#!/usr/bin/env bash
# Reads the layered documents of psd_export_tool with three independent readers and exiftool:
# ImageMagick (twelve images of the right size and depth; the first layer equals the ordinary
# render of the lit map, and the merged picture equals ImageMagick's own composition of the mural
# over the checkerboard), GIMP in batch mode (eleven layers and their names), the npm package
# ag-psd (header, layer names and sizes, image resources), and exiftool (keywords, caption,
# profile).
# Usage: psd_readers_check.sh TOOL NODE_MODULES OUTDIR [RUNNER...]
#   TOOL is run as "RUNNER... TOOL OUTDIR 61 37 [--shots]" (the Windows trees pass cmake/wine-run).
set -u
tool=$1 node_modules=$2 out=$3
shift 3
runner=("$@")
W=61 H=37
fail=0
no() { echo "FAIL: $*"; fail=1; }

rm -rf "$out"
mkdir -p "$out"
shots=()
[ ${#runner[@]} -gt 0 ] && [ -n "${DISPLAY:-}" ] && shots=(--shots)
# Wine wants the output folder as a Windows path: Z: is the Unix root.
target=$out
if [ ${#runner[@]} -gt 0 ]; then target="Z:${out//\//\\}"; fi
if ! "${runner[@]}" "$tool" "$target" $W $H "${shots[@]}"; then no "the export tool failed"; fi
names=("lit map" "map color" "land color" "land bump" "bump w/o ocean" "ocean mask" "air color" "cloud mask"
  "cloud bump" "cities" "mural")

# One GIMP start for all three documents: it prints "FILE: N layers: name|name|...".
export HOME="$out/gimp-home" XDG_CONFIG_HOME="$out/gimp-home/config"
mkdir -p "$HOME"
gimp_args=()
for depth in 8 16 32; do
  gimp_args+=(-b "(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"$out/layers$depth.psd\" \"layers$depth.psd\")))
    (layers (gimp-image-get-layers image)) (names \"\"))
    (for-each (lambda (l) (set! names (string-append names (car (gimp-item-get-name l)) \"|\"))) (vector->list (cadr layers)))
    (gimp-message (string-append \"layers$depth.psd: \" (number->string (car layers)) \" layers: \" names)))")
done
gimp_out=$(timeout 300 gimp -i -d -f "${gimp_args[@]}" -b '(gimp-quit 0)' 2>&1)

for depth in 8 16 32; do
  f="$out/layers$depth.psd"
  [ -f "$f" ] || { no "$f was not written"; continue; }
  # ImageMagick: the merged picture and eleven layers, each W x H at the document's depth.
  got=$(identify -format '%w %h %z\n' "$f" 2>&1)
  want=$(for i in $(seq 12); do echo "$W $H $depth"; done)
  [ "$got" = "$want" ] || no "identify $f: $got"
  labels=$(identify -format '%l|' "$f" 2>/dev/null)
  want_labels="|$(printf '%s|' "${names[@]}")"
  [ "$labels" = "$want_labels" ] || no "identify labels of $f: $labels"

  # GIMP. The 16- and 32-bit results are noted, not failed: every length of those documents
  # agrees with its bytes, and the misreadings are GIMP 2.10's own (its 3.0 loader mends both):
  # - read_color_mode_block() reads the colour mode data length of an RGB image but never skips
  #   the data, so the 32-bit document's 74-byte "hdrt" block is taken for the image resources'
  #   length ("hdrt" = 1751413364) and the seek past it ends in "Unexpected end of file".
  # - read_layer_block() looks at one tagged block only, the first after the global mask info,
  #   and takes layers only when that block is "Lr16" or "Lr32"; ours is "Mt16" or "Mt32", so
  #   the 16-bit document opens as its merged picture.
  line=$(printf '%s\n' "$gimp_out" | grep -o "layers$depth.psd: [0-9]* layers: .*" | head -n 1)
  gimp_names=$(printf '%s\n' "$line" | sed 's/.* layers: //')
  gimp_want=$(printf '%s|' "${names[@]}")
  gimp_want_rev=$(for ((i = ${#names[@]} - 1; i >= 0; i--)); do printf '%s|' "${names[$i]}"; done)
  case "$depth:$line" in
    *": 11 layers: "*)
      [ "$gimp_names" = "$gimp_want_rev" ] || [ "$gimp_names" = "$gimp_want" ] || no "GIMP names of $f: $gimp_names" ;;
    16:*": 1 layers: "*) echo "note: this GIMP opens the 16-bit document as its merged picture only" ;;
    32:*) err=$(printf '%s\n' "$gimp_out" | grep -m1 -i 'error loading')
      case "$line:$err" in
        ":"*"Unexpected end of file"*) echo "note: this GIMP does not open the 32-bit document: $err" ;;
        *) no "GIMP on $f: ${line:-$err}" ;;
      esac ;;
    *) no "GIMP did not report 11 layers for $f: ${line:-$(printf '%s\n' "$gimp_out" | tail -n 3)}" ;;
  esac

  # ag-psd.
  json=$(NODE_PATH="$node_modules" node "$(dirname "$0")/psd_readers.js" "$f" 2>&1)
  python3 - "$json" "$W" "$H" "$depth" "${names[@]}" <<'PY' || no "ag-psd on $f: $json"
import json, sys
doc = json.loads(sys.argv[1]); w, h, depth = map(int, sys.argv[2:5]); names = sys.argv[5:]
assert (doc['width'], doc['height'], doc['bitsPerChannel'], doc['colorMode']) == (w, h, depth, 3), doc
assert [l['name'] for l in doc['layers']] == names, doc['layers']
assert all((l['width'], l['height']) == (w, h) for l in doc['layers']), doc['layers']
assert doc['resolution'] == 72, doc['resolution']
assert {'iccProfile', 'iptcData', 'exifData', 'url', 'layerState'} <= set(doc['resources']), doc['resources']
assert doc['composite'] and all(l['hasPixels'] for l in doc['layers'])
PY

  # exiftool: our keywords and caption, the profile, 72 dpi.
  meta=$(exiftool -a -G1 -s "$f")
  for want in "Caption-Abstract *: Made with Kivaglobe" "Keywords *: Kivaglobe" "ProfileClass *: Display Device Profile" \
    "XResolution *: 72"; do
    printf '%s\n' "$meta" | grep -Eq "$want" || no "exiftool $f lacks '$want'"
  done
  # (exiftool names the layers of the 8-bit section only.)
  if [ $depth = 8 ]; then
    printf '%s\n' "$meta" | grep -Eq "LayerNames *: $(printf '%s, ' "${names[@]}" | sed 's/, $//')\$" || no "exiftool $f: layer names"
  fi
  if [ $depth = 32 ]; then
    printf '%s\n' "$meta" | grep -Eq 'Keywords *: Kivaglobe, HDR, high dynamic range' || no "exiftool $f: no HDR keywords"
  fi
done

# The first layer is the lit map as the ordinary render draws it; the merged picture is the mural
# over the 8 x 8 checkerboard (light 255, dark 204), composed here by ImageMagick.
f="$out/layers8.psd"
if [ -f "$f" ]; then
  ae=$(compare -metric AE -fuzz 2% "$f[1]" "$out/litmap8.png" null: 2>&1 >/dev/null | tail -n 1)
  [ "$ae" = 0 ] || no "the lit map layer differs from the render in $ae pixels"
  python3 - "$out/checker.pgm" $W $H <<'PY'
import sys
path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rows = bytes(204 if (x ^ y) & 8 else 255 for y in range(h) for x in range(w))
open(path, 'wb').write(b'P5 %d %d 255\n' % (w, h) + rows)
PY
  convert "$out/checker.pgm" -colorspace sRGB -type TrueColor "$f[11]" -compose over -composite -alpha off +profile '*' "$out/merged_ref.png"
  convert "$f[0]" -alpha off +profile '*' "$out/merged.png"
  ae=$(compare -metric AE -fuzz 2% "$out/merged.png" "$out/merged_ref.png" null: 2>&1 >/dev/null | tail -n 1)
  [ "$ae" = 0 ] || no "the merged picture differs from the mural over the checkerboard in $ae pixels"
fi

if [ ${#shots[@]} -gt 0 ]; then
  for s in box_half box_cancel; do
    [ -f "$out/$s.bmp" ] && convert "$out/$s.bmp" "$out/$s.png" || no "no picture $s of the box"
  done
fi
[ $fail = 0 ] && echo "1 passed, 0 failed: the readers agree on $out"
exit $fail
