#!/usr/bin/env bash
# gallery_pages_check.sh FOLDER -- reads every gallery page under FOLDER (one page per
# subfolder, as the road test of files_tests writes them) with independent readers:
#
#   tidy -q -e     no errors, and no warnings beyond those the page layout itself implies:
#                  the frame tables share the id "Table_01" and carry a height attribute, the
#                  frame images have no alt text, the filler cells hold empty paragraphs and
#                  bold runs, and a page without pictures has an empty table;
#   Chromium       the page loaded in a frame of a small checker page: every image of the page
#                  must have loaded (complete, with a natural width), and the page is
#                  photographed as FOLDER/<page>.png;
#   identify       every picture and frame image decodes.
set -u
folder=$(cd "$1" && pwd) || { echo "FAIL: no folder $1"; exit 1; }
fail=0
complain() { echo "FAIL: $*"; fail=1; }

allowed='Table_01" already defined|proprietary attribute "height"|lacks "alt" attribute|trimming empty <p>|trimming empty <b>|trimming empty <font>|trimming empty <table>|trimming empty <div>|<table> lacks "summary" attribute'

profile=$(mktemp -d "$folder/chromium-profile.XXXXXX")
trap 'rm -rf "$profile"' EXIT
chromium_run() {
  local args=(--headless --disable-gpu --no-first-run --user-data-dir="$profile" --allow-file-access-from-files
              --virtual-time-budget=10000)
  [ "$(id -u)" = 0 ] && args+=(--no-sandbox)
  timeout 120 chromium "${args[@]}" "$@" 2>/dev/null
}

# file:// address of a path, percent-encoded byte by byte.
file_url() { python3 -c 'import sys, urllib.parse; print("file://" + urllib.parse.quote(sys.argv[1]))' "$1"; }

pages=0
while IFS= read -r -d '' page; do
  pages=$((pages + 1))
  dir=$(dirname "$page")
  name=$(basename "$dir")

  # tidy reads the page as the page says: ISO-8859-1.
  warnings=$(tidy -q -e -latin1 "$page" 2>&1)
  status=$?
  [ $status -le 1 ] || complain "$name: tidy reports errors: $warnings"
  unexpected=$(printf '%s\n' "$warnings" | grep -E 'Warning|Error' | grep -Ev "$allowed")
  [ -z "$unexpected" ] || complain "$name: unexpected tidy messages: $unexpected"
  printf '%s: tidy:\n%s\n' "$name" "$(printf '%s\n' "$warnings" | sed 's/^line [0-9]* column [0-9]* - //' | sort | uniq -c)"

  # The browser: a checker page frames the gallery page and reports its images.
  checker="$dir/../check-$pages.html"
  cat >"$checker" <<HTML
<!DOCTYPE html><html><body><iframe id="f" width="1200" height="900" src="$(file_url "$page")"></iframe>
<script>
document.getElementById("f").onload = function () {
  var images = this.contentDocument.images, broken = [];
  for (var i = 0; i < images.length; i++)
    if (!images[i].complete || images[i].naturalWidth === 0) broken.push(images[i].getAttribute("src"));
  var out = document.createElement("pre");
  out.id = "result";
  out.textContent = "IMAGES " + images.length + " BROKEN " + broken.length + " " + broken.join(" ");
  document.body.appendChild(out);
};
</script></body></html>
HTML
  dom=$(chromium_run --dump-dom "$(file_url "$checker")")
  result=$(printf '%s\n' "$dom" | grep -o 'IMAGES [0-9]* BROKEN [0-9]*[^<]*')
  echo "$name: chromium: $result"
  case "$result" in
    "IMAGES "*" BROKEN 0"*) ;;
    *) complain "$name: images that did not load: ${result:-no result from the browser}" ;;
  esac
  count=${result#IMAGES }
  count=${count%% *}
  frames=$(grep -o '<img ' "$page" | wc -l)
  [ "${count:-0}" = "$frames" ] || complain "$name: the browser saw ${count:-0} images, the page has $frames"
  chromium_run --screenshot="$dir.png" --window-size=1400,1000 "$(file_url "$page")" >/dev/null
  rm -f "$checker"

  for picture in "$dir"/web_images/*; do
    identify "$picture" >/dev/null 2>&1 || complain "$name: $(basename "$picture") does not decode"
  done
done < <(find "$folder" -name '*.html' -not -name 'check-*' -print0 | sort -z)

[ $pages -ge 5 ] || complain "expected at least 5 pages under $folder, found $pages"
exit $fail
