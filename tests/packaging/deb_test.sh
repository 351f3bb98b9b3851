#!/usr/bin/env bash
# deb_test.sh BUILD_DIR SCRATCH: makes the .deb from the build, checks what it
# holds and declares, unpacks it with dpkg -x and runs vantrel-cli --help from it.
set -euo pipefail
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch/root"
# gzip keeps packing the (large, sanitizer-built) programs quick.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/vantrel_*.deb)
fail=0
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/vantrel ./usr/bin/vantrel-cli ./usr/bin/vantrel-mkv ./usr/share/applications/vantrel.desktop \
  ./usr/share/applications/vantrel-mkv.desktop ./usr/share/icons/hicolor/64x64/apps/vantrel-mkv.png \
  ./usr/share/man/man1/vantrel-mkv.1.gz \
  ./usr/share/icons/hicolor/64x64/apps/vantrel.png ./usr/share/man/man1/vantrel-cli.1.gz \
  ./usr/share/doc/vantrel/cli-json.md; do
  grep -q " $f\$" <<<"$contents" || { echo "missing from the package: $f"; fail=1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
grep -q mkvtoolnix <<<"$(dpkg-deb -f "$deb" Recommends)" || { echo "mkvtoolnix is no Recommends"; fail=1; }
grep -q ';' <<<"$(dpkg-deb -f "$deb" Description)" && { echo "the Description holds a list separator"; fail=1; }
for p in libqt6widgets6 libjpeg62-turbo libstdc++6; do
  grep -q "$p" <<<"$depends" || { echo "not declared in Depends ($depends): $p"; fail=1; }
done
dpkg -x "$deb" "$scratch/root"
help=$("$scratch/root/usr/bin/vantrel-cli" --help)
grep -q '^usage: vantrel-cli ' <<<"$help" || { echo "vantrel-cli --help from the package printed: $help"; fail=1; }
grep -q '^  chapters ' <<<"$help" || { echo "vantrel-cli --help lists no chapters command"; fail=1; }
man -l "$scratch/root/usr/share/man/man1/vantrel-cli.1.gz" 2>/dev/null | grep -q 'EXIT STATUS' ||
  { command -v man >/dev/null && { echo "the man page does not render"; fail=1; }; }
exit $fail
