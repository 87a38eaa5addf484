#!/usr/bin/env bash
# The About box's web-site button on a system where no browser can be started (Wine's own
# browser switched off): Kivaglobe32 shows the box "COMPLAIN_QZ" naming the address, which the
# host's driver reads back from the window; Kivaglobe64 shows nothing, so the same read finds no
# such text. Oracle: the dialog's text as the window holds it.
# Usage: browser_complaint_check.sh KIVAHOST.EXE PLUGIN.8bf 64|32 [SHOT.png]
set -u
host=$1 plugin=$2 width=$3 shot=${4:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winebrowser.exe=d"
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
steps=(--ui-step "sleep 300" --ui-step "press 5" --ui-step "sleep 1500")
[ -n "$shot" ] && steps+=(--ui-step "shot $(winpath "$shot")")
steps+=(--ui-step "read 99" --ui-step "ok")
"$here/cmake/wine-run" "$width" "$host" --plugin "$(winpath "$plugin")" --about "${steps[@]}" \
  </dev/null >"$work/host.txt" 2>&1
if grep -q 'UI text 99 "The web browser cannot be opened' "$work/host.txt"; then shown=1; else shown=0; fi
if [ "$width" = 32 ]; then
  [ "$shown" = 1 ] || { echo "FAIL: Kivaglobe32 did not complain"; cat "$work/host.txt"; exit 1; }
  grep -q 'https://www.example.com/"' "$work/host.txt" || { echo "FAIL: the box does not name the site"; cat "$work/host.txt"; exit 1; }
else
  [ "$shown" = 0 ] || { echo "FAIL: Kivaglobe64 complained"; cat "$work/host.txt"; exit 1; }
fi
echo "browser complaint: as expected for Kivaglobe$width"
