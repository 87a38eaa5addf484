#!/usr/bin/env bash
# The batch refresh of queued presets through Kivaglobe64's dialog in the stand-in host: three
# presets saved through the dialog and a 400-byte binary whose first word is 7, all named
# ".q9q". A batch cancelled as it starts stops after its first file; a whole batch refreshes the
# presets and leaves the binary alone; each ends with one message giving the counts. Oracles:
# the folder's names and the binary's bytes on disk, and the message as its window holds it.
# Usage: batch_host_check.sh KIVAHOST.EXE PLUGIN.8bf [SHOT.png]
set -u
host=$1 plugin=$2 shot=${3:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
q=$work/queue
mkdir "$q"
Q=$(winpath "$q")
fail=0
run() {
  local args=()
  for step in "$@"; do args+=(--ui-step "$step"); done
  "$here/cmake/wine-run" 64 "$host" --plugin "$(winpath "$plugin")" --size 120x90 --dialog "${args[@]}" \
    </dev/null >"$work/host.txt" 2>&1
}
names() { (cd "$q" && ls | tr '\n' ' '); }

run "wait-preview" "press 26" "file $Q\\a.q9q" "sleep 300" "press 26" "file $Q\\b.q9q" "sleep 300" \
    "press 26" "file $Q\\c.q9q" "sleep 300" "cancel"
python3 -c "import sys; sys.stdout.buffer.write(bytes([0, 0, 0, 7]) + bytes(range(256)) + bytes(140))" >"$q/notes.q9q"
cp "$q/notes.q9q" "$work/notes"
[ "$(names)" = "a.q9q b.q9q c.q9q notes.q9q " ] || { echo "FAIL: the presets were not saved: $(names)"; cat "$work/host.txt"; exit 1; }

# Cancel at once: the Cancel waits in the queue until the first file is done.
run "wait-preview" "cclick 119" "file $Q\\a.q9q" "cancel" "sleep 2000" "read 65535" "ok" "sleep 300" "cancel"
[ "$(names)" = "a.q5q b.q9q c.q9q notes.q9q " ] || { echo "FAIL: a cancelled batch left $(names)"; fail=1; }
grep -q 'UI text 65535 "The batch refresh was stopped.' "$work/host.txt" ||
  { echo "FAIL: no message that the batch was stopped"; cat "$work/host.txt"; fail=1; }
grep -q '1 refreshed, 0 skipped (read-only, unreadable or not a preset), 0 failed."' "$work/host.txt" ||
  { echo "FAIL: the stopped batch's counts"; cat "$work/host.txt"; fail=1; }

steps=("wait-preview" "cclick 119" "file $Q\\a.q5q" "sleep 3000")
[ -n "$shot" ] && steps+=("shot $(winpath "$shot")")
run "${steps[@]}" "read 65535" "ok" "sleep 300" "cancel"
[ "$(names)" = "a.q5q b.q5q c.q5q notes.q9q " ] || { echo "FAIL: a whole batch left $(names)"; fail=1; }
cmp -s "$q/notes.q9q" "$work/notes" || { echo "FAIL: the binary was written over"; fail=1; }
grep -q '3 refreshed, 1 skipped (read-only, unreadable or not a preset), 0 failed."' "$work/host.txt" ||
  { echo "FAIL: the whole batch's counts"; cat "$work/host.txt"; fail=1; }
[ "$fail" = 0 ] && echo "batch refresh through the plug-in: as expected"
exit "$fail"
