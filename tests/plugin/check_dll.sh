#!/usr/bin/env bash
# Checks a built .8bf as a host would see it from outside: the PE kind, the exact export list, and
# that every import is a Windows system DLL (the runtime is linked in) and, in the 64-bit one,
# that only kernel32 and the runtime's msvcrt load with it.
# Usage: check_dll.sh DLL 64|32
set -u
dll=$1 width=$2
fail=0
case $width in
  64) objdump=x86_64-w64-mingw32-objdump kind='PE32\+ executable \(DLL\).*x86-64' exports='PluginMain' ;;
  32) objdump=i686-w64-mingw32-objdump kind='PE32 executable \(DLL\).*Intel 80386' exports='ENTRYPOINT ZuvederuProc' ;;
  *) echo "usage: check_dll.sh DLL 64|32"; exit 2 ;;
esac
if ! file "$dll" | grep -Eq "$kind"; then
  echo "FAIL: $(file "$dll")"; fail=1
fi
dump=$($objdump -p "$dll")
# Export names: the rows of the name-pointer table, "[ordinal] Name".
got=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ' | sed 's/ $//')
want=$(printf '%s\n' $exports | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$got" != "$want" ]; then
  echo "FAIL: exports are '$got', expected '$want'"; fail=1
fi
system='^(kernel32|user32|gdi32|comdlg32|comctl32|shell32|wininet|advapi32|ole32|oleaut32|shlwapi|msvcrt|ws2_32|version|winmm|uxtheme)\.dll$'
while read -r imp; do
  if ! printf '%s\n' "$imp" | tr 'A-Z' 'a-z' | grep -Eq "$system"; then
    echo "FAIL: imports $imp, which is not a Windows system DLL"; fail=1
  fi
done < <(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p')
# In Kivaglobe64 the DLLs only dialogs, the browser and downloads need are imported on first
# use: a host that loads the plug-in to run a filter without windows starts none of them.
eager=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
if [ "$width" = 64 ] && [ "$eager" != "kernel32.dll msvcrt.dll " ]; then
  echo "FAIL: imports '$eager' at load time, not kernel32 and msvcrt alone"; fail=1
fi
[ $fail = 0 ] && echo "$dll: $width-bit DLL, exports '$got', system imports only"
exit $fail
