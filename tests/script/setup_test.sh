#!/usr/bin/env bash
# Setup's apt and Wine handling, with stub apt-get, dpkg, dpkg-query, sudo and Wine on PATH: the
# script's functions are sourced and run against a scratch apt tree and build folder.
set -u
here=$(cd "$(dirname "$0")" && pwd)
script="$here/../../kivaglobe"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok   $1"; }
bad() { failed=$((failed + 1)); echo "FAIL $1"; [ -f "$tmp/out" ] && sed 's/^/     | /' "$tmp/out"; }
check() { if eval "$2"; then ok "$1"; else bad "$1"; fi; }

# Stubs. apt-get's behaviour comes from files in $tmp/ctl: update-fails (the number of updates that
# fail), install-fails (always), install-fails-without-pref, wine32-uninstallable.
mkdir -p "$tmp/bin" "$tmp/ctl"
cat >"$tmp/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
ctl=$KV_TEST_CTL
echo "apt-get $*" >>"$ctl/calls"
pref=""
for a in "$@"; do case $a in Dir::Etc::preferences=*) pref=${a#*=} ;; esac; done
case " $* " in
  *" update "*)
    n=$(cat "$ctl/update-fails" 2>/dev/null || echo 0)
    if [ "$n" -gt 0 ]; then
      echo $((n - 1)) >"$ctl/update-fails"
      echo "Err:8 http://mirror.example/debian-security bookworm-security/main i386 Packages"
      echo "E: Failed to fetch http://mirror.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi
    exit 0 ;;
  *" install "*)
    [ -n "$pref" ] && cp "$pref" "$ctl/pref-used"
    [ -f "$ctl/install-fails" ] && { echo "E: Unable to correct problems, you have held broken packages."; exit 100; }
    [ -f "$ctl/install-fails-without-pref" ] && [ -z "$pref" ] && exit 100
    [ -f "$ctl/wine32-uninstallable" ] && case " $* " in *" wine32:i386 "*) exit 100 ;; esac
    echo "$*" >>"$ctl/installed"
    # qemu-user brings the emulator named in qemu-user-makes.
    case " $* " in
      *" qemu-user "*) if [ -f "$ctl/qemu-user-makes" ]; then
          q=$(cat "$ctl/qemu-user-makes")
          printf '#!/bin/sh\necho "qemu-i386 version 10.0.2 (Debian 1:10.0.2+ds-2~bpo12+1)"\n' >"$q"
          chmod +x "$q"
        fi ;;
    esac
    exit 0 ;;
esac
exit 0
STUB
printf '#!/bin/sh\nexec "$@"\n' >"$tmp/bin/sudo"
printf '#!/bin/sh\nexit 0\n' >"$tmp/bin/wineserver"
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' >"$tmp/bin/dpkg"
printf '#!/bin/sh\nexit 1\n' >"$tmp/bin/dpkg-query"
chmod +x "$tmp/bin"/*
export PATH="$tmp/bin:$PATH" KV_TEST_CTL="$tmp/ctl" KV_APT_RETRY_PAUSE=0

# A fresh shell with the script's functions, its folders pointed into $tmp.
run() {
  (
    export KV_SOURCE_ONLY=1 KV_APT_ETC="$tmp/apt" KV_OS_RELEASE="$tmp/os-release" KV_WINE_ROOT="$tmp/wineroot" \
      KV_BINFMT="$tmp/binfmt" KV_QEMU_CANDIDATES="$tmp/q/qemu-i386 $tmp/q/qemu-i386-static"
    # shellcheck disable=SC1090
    . "$script"
    set +e
    build="$tmp/build"; root="$tmp/root"; WINEPREFIX="$tmp/prefix"
    mkdir -p "$build"
    eval "$1"
  ) >"$tmp/out" 2>&1
}
reset() {
  rm -rf "$tmp/ctl" "$tmp/build" "$tmp/apt" "$tmp/prefix" "$tmp/binfmt" "$tmp/q"
  mkdir -p "$tmp/ctl" "$tmp/apt/sources.list.d" "$tmp/q"
}
echo 'VERSION_CODENAME=bookworm' >"$tmp/os-release"

# 1. Updates that keep failing for one index: retried, then the install goes on.
reset; echo 5 >"$tmp/ctl/update-fails"
run 'apt_update; install_packages cmake wine32:i386; echo "status $?"'
check "a failed index is retried three times" '[ "$(grep -c " update" "$tmp/ctl/calls")" = 3 ]'
check "a failed index followed by a good install goes on" \
  'grep -q "status 0" "$tmp/out" && grep -q "cmake wine32:i386" "$tmp/ctl/installed"'
check "the user is told setup goes on with the indexes it has" 'grep -q "going on with the indexes apt has" "$tmp/out"'

# 2. An update that recovers on its second try is not tried a third time.
reset; echo 1 >"$tmp/ctl/update-fails"
run 'apt_update; echo "suites [$failed_suites]"'
check "a recovered update stops retrying and forgets the failed suites" \
  '[ "$(grep -c " update" "$tmp/ctl/calls")" = 2 ] && grep -q "suites \[\]" "$tmp/out"'

# 3. A failed install stops setup with one sentence of what failed and what to try.
reset; touch "$tmp/ctl/install-fails"
run 'apt_update; install_packages cmake xvfb; echo "not reached"'
check "a failed install stops with the sentence" \
  '! grep -q "not reached" "$tmp/out" && grep -q "could not install the packages cmake xvfb with apt-get.*run ./kivaglobe setup again" "$tmp/out"'

# 4. Broken i386 twins while the security index is missing: the install is repeated with that
#    suite pinned below the main suite, and the user is told.
reset; echo 5 >"$tmp/ctl/update-fails"; touch "$tmp/ctl/install-fails-without-pref"
run 'apt_update; install_packages wine32:i386; echo "status $?"'
check "the missing suite is pinned below the main suite for the install" \
  'grep -q "status 0" "$tmp/out" && grep -q "^Pin: release n=bookworm-security$" "$tmp/ctl/pref-used" &&
   grep -q "^Pin-Priority: 100$" "$tmp/ctl/pref-used" && grep -q "main suite.s versions" "$tmp/out"'

# 5. wine32 that truly cannot be installed: the rest is, and test fails saying so.
reset; touch "$tmp/ctl/wine32-uninstallable"
run 'install_packages cmake wine32:i386; echo "status $?"'
check "without wine32 everything else is installed and the user is told" \
  'grep -q "status 0" "$tmp/out" && grep -qx "cmake *" <(sed "s/.*install -y -q --no-install-recommends //" "$tmp/ctl/installed") &&
   grep -q "Kivaglobe32 is built but its tests cannot run" "$tmp/out" && [ -f "$tmp/build/.no-wine32" ]'
printf '#!/bin/sh\nexit 0\n' >"$tmp/bin/ctest"; chmod +x "$tmp/bin/ctest"
run 'setup_done() { return 0; }; setup_node_readers() { :; }; cmd_build() { :; }; start_session() { :; }; cmd_test; echo "passed quietly"'
check "./kivaglobe test then fails with that sentence" \
  '! grep -q "passed quietly" "$tmp/out" && grep -q "Kivaglobe32 is built but its tests cannot run" "$tmp/out"'
rm -f "$tmp/bin/ctest"

# 6. The deb-src entry takes the address of the machine's own Debian sources.
debian_sources() {
  cat >"$tmp/apt/sources.list.d/debian.sources" <<'SRC'
Types: deb
URIs: http://security.mirror.example/debian-security
Suites: bookworm-security
Components: main

Types: deb
# a comment
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
}
reset; debian_sources
run 'add_deb_src'
check "deb822 sources: the main suite's address and keyring" \
  'grep -qx "URIs: http://mirror.example/debian" "$tmp/apt/sources.list.d/kivaglobe-src.sources" &&
   grep -qx "Types: deb-src" "$tmp/apt/sources.list.d/kivaglobe-src.sources" &&
   grep -qx "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" "$tmp/apt/sources.list.d/kivaglobe-src.sources"'
reset
printf '%s\n' 'deb http://sec.example/debian-security bookworm-security main' \
  'deb [arch=amd64 signed-by=/k.gpg] http://list.example/debian bookworm main' >"$tmp/apt/sources.list"
run 'add_deb_src'
check "sources.list: the address of the release's deb line" \
  'grep -qx "URIs: http://list.example/debian" "$tmp/apt/sources.list.d/kivaglobe-src.sources"'
run 'add_deb_src'
check "an existing deb-src entry is kept" 'grep -c . "$tmp/apt/sources.list.d/kivaglobe-src.sources" | grep -qx 4 && ! grep -q adding "$tmp/out"'

# 7. A prefix made before wine32 was installed is made again; a current one is kept.
reset; mkdir -p "$tmp/wineroot/usr/lib/wine" "$tmp/root/cmake" "$tmp/prefix"
for l in wine64 wine; do printf '#!/bin/sh\n' >"$tmp/wineroot/usr/lib/wine/$l"; chmod +x "$tmp/wineroot/usr/lib/wine/$l"; done
printf '#!/bin/sh\nmkdir -p "$WINEPREFIX"; echo made >>"$WINEPREFIX/system.reg"; echo boot >>"%s/ctl/boots"\n' "$tmp" >"$tmp/root/cmake/wine-run"
chmod +x "$tmp/root/cmake/wine-run"
touch "$tmp/prefix/system.reg"; echo "wine64 " >"$tmp/prefix/.kivaglobe-loaders"
run 'ensure_wine_prefix'
check "a prefix without 32-bit support is recreated" \
  '[ "$(cat "$tmp/ctl/boots")" = boot ] && [ "$(cat "$tmp/prefix/.kivaglobe-loaders")" = "wine64 wine " ]'
run 'ensure_wine_prefix; setup_done() { :; }'
check "a prefix made with both loaders is kept" '[ "$(grep -c boot "$tmp/ctl/boots")" = 1 ]'

# 8. A registered emulator too old for Wine (qemu 7.2 takes MAP_FIXED_NOREPLACE as a hint): a newer
#    qemu-user comes from the release's backports at the machine's Debian address, binfmt_misc runs
#    32-bit programs through it, and the prefix made under the old one no longer matches.
old_qemu() {
  mkdir -p "$tmp/binfmt"; : >"$tmp/binfmt/register"
  printf '#!/bin/sh\necho "qemu-i386 version 7.2.22 (Debian 1:7.2+dfsg-7+deb12u18)"\n' >"$tmp/q/qemu-i386-static"
  chmod +x "$tmp/q/qemu-i386-static"
  printf 'enabled\ninterpreter %s\nflags: F\n' "$tmp/q/qemu-i386-static" >"$tmp/binfmt/qemu-i386"
}
reset; debian_sources; old_qemu; echo "$tmp/q/qemu-i386" >"$tmp/ctl/qemu-user-makes"
run 'before=$(wine_loaders); setup_i386_emulation; echo "marker [$before]"'
check "the backports suite is added at the main suite's address and keyring" \
  'grep -qx "URIs: http://mirror.example/debian" "$tmp/apt/sources.list.d/kivaglobe-backports.sources" &&
   grep -qx "Suites: bookworm-backports" "$tmp/apt/sources.list.d/kivaglobe-backports.sources" &&
   grep -qx "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" "$tmp/apt/sources.list.d/kivaglobe-backports.sources"'
check "qemu-user is installed from the backports" 'grep -q -- "-t bookworm-backports qemu-user" "$tmp/ctl/installed"'
check "the old registration is removed and the new emulator registered" \
  '[ "$(cat "$tmp/binfmt/qemu-i386")" = -1 ] && grep -q ":qemu-i386:M::.*:$tmp/q/qemu-i386:F\$" "$tmp/binfmt/register"'
check "the prefix marker named the old emulator" 'grep -q "marker \[wine64 wine via $tmp/q/qemu-i386-static \]" "$tmp/out"'

# 9. An emulator Wine runs on is kept: nothing installed, nothing registered again.
reset; debian_sources; old_qemu; cp "$tmp/q/qemu-i386-static" "$tmp/q/qemu-i386"; sed -i 's/7\.2\.22/10.0.2/' "$tmp/q/qemu-i386"
printf 'enabled\ninterpreter %s\n' "$tmp/q/qemu-i386" >"$tmp/binfmt/qemu-i386"
run 'setup_i386_emulation'
check "a good emulator is kept as registered" \
  '[ ! -f "$tmp/ctl/installed" ] && [ ! -s "$tmp/binfmt/register" ] && grep -q "interpreter $tmp/q/qemu-i386$" "$tmp/binfmt/qemu-i386"'

# 10. A kernel that runs 32-bit programs itself and no emulator registered: nothing to do.
reset
run 'setup_i386_emulation; echo "done"'
check "no emulator is installed where none is needed" '[ ! -f "$tmp/ctl/installed" ] && [ ! -e "$tmp/binfmt" ] && grep -q done "$tmp/out"'

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
