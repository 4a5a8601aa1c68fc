#!/usr/bin/env bash
# Installs the Debian package of the build system-wide, as a user would
# (apt-get install ./quillmere_*.deb, which fetches what it depends on), and
# starts the installed quillmere by the menu entry's command in a private X
# server with a fresh home, until its window shows. Before that, lintian
# finds no error in the package, the AppStream metadata validates, and the
# manual pages, copyright file, changelog and bash completion are installed
# and agree with the programs. Fails loudly on any error.
# Usage: scripts/check-package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
fail() { echo "check-package: FAIL: $*" >&2; exit 1; }

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

(cd "$build_dir" && rm -f quillmere_*.deb && cpack -G DEB) || fail "cpack"
debs=("$build_dir"/quillmere_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package in $build_dir"
deb=$(realpath "${debs[0]}")

# lintian: no error; whatever else it says is shown.
lintian_status=0
lintian_output=$(lintian --fail-on error --display-info "$deb" 2>&1) || lintian_status=$?
grep -v 'running with root privileges' <<<"$lintian_output" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors in $deb"

export DEBIAN_FRONTEND=noninteractive
# --reinstall: a package of the same version installed before is replaced too.
$sudo apt-get install --reinstall -y -q "$deb" || fail "apt-get install $deb"

[ -x /usr/bin/quillmere ] || fail "/usr/bin/quillmere not installed"
desktop=/usr/share/applications/quillmere.desktop
[ -f "$desktop" ] || fail "$desktop not installed"
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
/usr/bin/quillmere --version | grep -q '^quillmere ' || fail "quillmere --version"

version=$(dpkg-deb -f "$deb" Version)
doc=/usr/share/doc/quillmere
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright" ||
  fail "$doc/copyright is missing or not machine-readable"
[[ $(zcat "$doc/changelog.gz") == "quillmere ($version) "* ]] || fail "$doc/changelog.gz does not begin with $version"
metainfo=/usr/share/metainfo/org.quillmere.Quillmere.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"
grep -q "<release version=\"$version\"" "$metainfo" || fail "$metainfo names no release $version"

# The manual pages hold each line of the programs' --help (the command
# reference is made from it), whitespace aside.
help_in_page() {
  local page=$1 text line
  shift
  [ -f "/usr/share/man/man1/$page.1.gz" ] || fail "no manual page $page(1)"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=1000 man -P cat "$page" | tr -s '[:space:]' ' ')
  while IFS= read -r line; do
    line=$(tr -s '[:space:]' ' ' <<<"$line" | sed 's/^ //; s/ $//')
    [ -z "$line" ] || grep -qF -- "$line" <<<"$text" || fail "man $page lacks \"$line\" of \"$* --help\""
  done < <("$@" --help)
}
help_in_page quillmere-cli /usr/bin/quillmere-cli
help_in_page quillmere-cli /usr/bin/quillmere-cli account
help_in_page quillmere /usr/bin/quillmere
help_in_page quillmere-notepad /usr/bin/quillmere-notepad

bash tests/package/test_completion.sh /usr/share/bash-completion/completions/quillmere-cli /usr/bin/quillmere-cli ||
  fail "bash completion of quillmere-cli"

# The menu entry's command, without its %u: as the menu starts it.
command=$(sed -n 's/^Exec=//p' "$desktop" | sed 's/ *%[uUfF]//')
[ "$command" = quillmere ] || fail "unexpected Exec command: $command"

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# The window, run on a throwaway X server. xdotool waits for the title;
# the program is then stopped as a session end stops it.
cat >"$home/run.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
command=$1
"$command" >"$HOME/quillmere.log" 2>&1 &
pid=$!
if ! timeout 30 xdotool search --sync --name Quillmere >/dev/null; then
  echo "no Quillmere window within 30 s" >&2
  cat "$HOME/quillmere.log" >&2
  kill "$pid" 2>/dev/null || true
  exit 1
fi
kill -TERM "$pid"
wait "$pid"
INNER
chmod +x "$home/run.sh"
env -i HOME="$home" PATH=/usr/bin:/bin LANG=ja_JP.UTF-8 \
  xvfb-run -a -s "-screen 0 1280x800x24" "$home/run.sh" "$command" || fail "the installed quillmere did not show its window"

# An installed copy keeps its data in the user's data directory.
[ -f "$home/.local/share/quillmere/quillmere.ini" ] || fail "no data in ~/.local/share/quillmere/"
[ ! -e /usr/bin/quillmere.ini ] || fail "the installed copy wrote its data beside itself"
echo "check-package: $deb installs and starts"
