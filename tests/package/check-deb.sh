#!/usr/bin/env bash
# Checks a built Debian package without installing it: its control fields, its file list, the
# desktop entry it carries, and that its program answers --version from an unpacked copy.
#   check-deb.sh PACKAGE.deb VERSION
set -euo pipefail
deb=$1
version=$2
fail() { echo "check-deb: $*" >&2; exit 1; }

[ "$(basename "$deb")" = "vantiro_${version}_amd64.deb" ] || fail "file name $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vantiro ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
for needed in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 \
              libqcustomplot2.1-qt6 qt6-qpa-plugins libsqlite3-0 libzstd1 libpq5; do
  grep -qF "$needed " <<<"$depends, " || grep -qF "$needed," <<<"$depends," ||
    fail "Depends lacks $needed: $depends"
done
grep -q qt6-translations-l10n <<<"$(field Recommends)" || fail "Recommends lacks the translations"
grep -q fonts-wqy-microhei <<<"$(field Recommends)" || fail "Recommends lacks a CJK font"

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for expected in \
    ./usr/bin/vantiro ./usr/bin/vantiro-convert ./usr/bin/vantiro-monitor ./usr/bin/vantiro-archive \
    ./usr/bin/recorder-sim ./usr/share/man/man1/vantiro-archive.1.gz \
    ./usr/share/applications/vantiro.desktop \
    ./usr/share/icons/hicolor/scalable/apps/vantiro.svg \
    ./usr/share/icons/hicolor/16x16/apps/vantiro.png \
    ./usr/share/icons/hicolor/48x48/apps/vantiro.png \
    ./usr/share/icons/hicolor/256x256/apps/vantiro.png \
    ./usr/share/vantiro/guide/index.html \
    ./usr/share/man/man1/vantiro.1.gz ./usr/share/man/man1/vantiro-convert.1.gz \
    ./usr/share/man/man1/vantiro-monitor.1.gz ./usr/share/man/man1/recorder-sim.1.gz \
    ./usr/share/doc/vantiro/copyright; do
  grep -qxF "$expected" <<<"$files" || fail "missing $expected"
done
# Every picture the guide shows is in the package.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
for image in $(grep -o 'src="images/[^"]*"' "$unpacked/usr/share/vantiro/guide/index.html" |
               sed 's/src="//; s/"$//'); do
  [ -f "$unpacked/usr/share/vantiro/guide/$image" ] || fail "the guide's $image is missing"
done
# Nothing outside /usr, no tests or benchmarks, no path of the machine it was built on.
bad=$(grep -vE '^\./(usr(/.*)?)?$' <<<"$files" || true)
[ -z "$bad" ] || fail "files outside /usr: $bad"
! grep -qE 'test|bench|fuzz' <<<"$(grep '^./usr/bin/' <<<"$files")" || fail "a test program is packaged"

desktop="$unpacked/usr/share/applications/vantiro.desktop"
grep -qx 'Exec=vantiro %f' "$desktop" || fail "desktop Exec"
grep -qx 'Icon=vantiro' "$desktop" || fail "desktop Icon"
grep -q '^Comment\[zh_CN\]=' "$desktop" || fail "no Chinese comment"
grep -q '^MimeType=.*text/csv' "$desktop" || fail "desktop MimeType"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop"; fi

out=$("$unpacked/usr/bin/vantiro" --version)
[ "$out" = "Vantiro $version" ] || fail "vantiro --version says: $out"
# An answer that cannot be written is a failure, not a success.
if "$unpacked/usr/bin/vantiro" --help >/dev/full 2>/dev/null; then fail "--help into a full disk exits 0"; fi
gzip -t "$unpacked"/usr/share/man/man1/*.1.gz || fail "a man page does not unpack"
echo "check-deb: $(basename "$deb") is sound"
