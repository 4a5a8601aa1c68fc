#!/usr/bin/env bash
# The desktop integration of an installed copy: the menu entry passes
# desktop-file-validate, and the Debian package built from this build holds
# the programs, the help text, the manual, the menu entry and the icon, the
# manual pages, changelog, copyright, AppStream metadata and completion (and
# nothing of the tests), with Depends naming Qt and what the program loads
# at run time.
# Usage: test_package.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

source_dir=$1
build_dir=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop-file-validate "$source_dir/resources/quillmere.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=quillmere %u' "$source_dir/resources/quillmere.desktop" || fail "Exec line"
grep -qx 'MimeType=x-scheme-handler/mailto;' "$source_dir/resources/quillmere.desktop" || fail "MimeType line"
grep -q '^Name\[ja\]=' "$source_dir/resources/quillmere.desktop" || fail "no Japanese name"
grep -q '^Comment\[ja\]=' "$source_dir/resources/quillmere.desktop" || fail "no Japanese comment"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build_dir" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; fail "cpack"; }
version=$(sed -n 's/^project(quillmere VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
deb="$out/quillmere_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no package $deb (made: $(ls "$out"))"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/quillmere ./usr/bin/quillmere-cli ./usr/bin/quillmere-notepad \
            ./usr/share/quillmere/quillmere.txt ./usr/share/quillmere/quillmere.htm \
            ./usr/share/applications/quillmere.desktop \
            ./usr/share/icons/hicolor/scalable/apps/quillmere.svg \
            ./usr/share/man/man1/quillmere.1.gz ./usr/share/man/man1/quillmere-cli.1.gz \
            ./usr/share/man/man1/quillmere-notepad.1.gz \
            ./usr/share/doc/quillmere/copyright ./usr/share/doc/quillmere/changelog.gz \
            ./usr/share/metainfo/org.quillmere.Quillmere.metainfo.xml \
            ./usr/share/bash-completion/completions/quillmere-cli; do
  grep -qx -- "$path" <<<"$contents" || fail "$path missing from the package"
done
if grep -E 'test_|gtest|gmock|/e2e/|bench_' <<<"$contents"; then
  fail "the package holds tests or benchmarks"
fi
files=$(grep -vc '/$' <<<"$contents")
[ "$files" -eq 14 ] || fail "expected 14 files, the package holds $files: $contents"

# The help text is installed in the form the program reads: CP932 with CR LF.
mkdir "$out/root"
dpkg-deb -x "$deb" "$out/root"
cmp -s "$out/root/usr/share/quillmere/quillmere.txt" "$build_dir/bin/quillmere.txt" || fail "help text differs from the build's"
desktop-file-validate "$out/root/usr/share/applications/quillmere.desktop" || fail "installed desktop file"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6core6 libqt6network6 libssl3 libxml2 qt6-qpa-plugins libqt6svg6 fonts-noto-cjk fonts-noto-color-emoji xdg-utils; do
  grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = quillmere ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"
echo "package ok: $deb"
