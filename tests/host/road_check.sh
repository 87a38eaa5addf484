#!/usr/bin/env bash
# The whole road as a user runs it: kivahost.exe under Wine renders the default planet through
# the tree's plug-in and writes the PNG. Checked from outside:
#   - 64-bit: a run without windows loads no windowing DLL (Wine's loader trace): user32,
#     gdi32, comdlg32, comctl32, shell32 and wininet load on first use only, and the desktop
#     process is not started; the load-time imports of the host are the runtime's and kernel32
#     only (objdump);
#   - ImageMagick reads the PNG as the asked size, 8-bit RGB, at most a third of the raw bytes;
#   - the progress line: every update a whole "[bar] NNN%" after a carriage return, the bar's
#     filled part matching the per cent, the per cents rising.
# Usage: road_check.sh ROOT HOST.exe PLUGIN.8bf 64|32
set -u
root=$1 host=$2 plugin=$3 width=$4
case $width in
  64) objdump=x86_64-w64-mingw32-objdump ;;
  32) objdump=i686-w64-mingw32-objdump ;;
  *) echo "usage: road_check.sh ROOT HOST.exe PLUGIN.8bf 64|32"; exit 2 ;;
esac
fail=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

imports=$($objdump -p "$host" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
if [ "$width" = 64 ] && [ "$imports" != "kernel32.dll msvcrt.dll " ]; then
  echo "FAIL: the host imports '$imports' at load time, not kernel32 and msvcrt alone"; fail=1
fi

size=320x240
WINEDEBUG=+loaddll "$root/cmake/wine-run" "$width" "$host" --plugin "$plugin" --size $size --out "$work/planet.png" \
  >"$work/out.txt" 2>"$work/err.txt"
status=$?
if [ $status != 0 ]; then
  echo "FAIL: the host ended with status $status"; cat "$work/out.txt"; fail=1
fi

loaded=$(grep -o 'Loaded L"[^"]*"' "$work/err.txt" | sed 's/.*\\//; s/"$//' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
case " $loaded" in
  *" kivaglobe$width.8bf "*) ;;
  *) echo "FAIL: the loader trace does not show the plug-in: '$loaded'"; fail=1 ;;
esac
windowing="user32.dll gdi32.dll comdlg32.dll comctl32.dll shell32.dll wininet.dll explorer.exe"
[ "$width" = 64 ] || windowing=""   # the 32-bit builds import them the usual way
for dll in $windowing; do
  case " $loaded" in
    *" $dll "*) echo "FAIL: a run without windows loaded $dll"; fail=1 ;;
  esac
done

info=$(identify -format '%w %h %[depth] %[channels]' "$work/planet.png" 2>&1)
if [ "$info" != "320 240 8 srgb" ]; then
  echo "FAIL: ImageMagick reads the PNG as '$info'"; fail=1
fi
bytes=$(stat -c %s "$work/planet.png" 2>/dev/null || echo 0)
raw=$((320 * 240 * 3))
if [ "$bytes" -le 0 ] || [ $((bytes * 3)) -gt $raw ]; then
  echo "FAIL: the PNG takes $bytes bytes, more than a third of the raw $raw"; fail=1
fi

# The progress line, as the user's terminal gets it (the loader's trace lines taken out).
progress=$(sed -E 's/[0-9a-f]{4}:trace:.*$//' "$work/err.txt" | tr -d '\n' | tr '\r' '\n' | sed '/^$/d')
last=-1 count=0
while IFS= read -r update; do
  count=$((count + 1))
  if ! [[ $update =~ ^\[([#.]{40})\]\ +([0-9]+)%$ ]]; then
    echo "FAIL: progress update '$update' is not '[bar] NNN%'"; fail=1; continue
  fi
  bar=${BASH_REMATCH[1]} percent=${BASH_REMATCH[2]}
  filled=${bar%%.*}
  if [ ${#filled} != $((percent * 40 / 100)) ] || [[ ${bar:${#filled}} == *'#'* ]]; then
    echo "FAIL: progress bar '$bar' does not show $percent%"; fail=1
  fi
  if [ "$percent" -le "$last" ]; then
    echo "FAIL: progress went from $last% to $percent%"; fail=1
  fi
  last=$percent
done <<<"$progress"
if [ $count -lt 5 ] || [ "$last" -lt 90 ]; then
  echo "FAIL: $count progress updates, the last at $last%"; fail=1
fi

[ $fail = 0 ] && echo "road: $size through Kivaglobe$width, PNG $bytes bytes of $raw, $count progress updates"
exit $fail
