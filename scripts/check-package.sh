#!/usr/bin/env bash
# Installs the Debian package of the build system-wide, as a user would
# (apt-get install ./quillmere_*.deb, which fetches what it depends on), and
# starts the installed quillmere by the menu entry's command in a private X
# server with a fresh home, until its window shows. Fails loudly on any
# error. Usage: scripts/check-package.sh [BUILD_DIR]
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
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get install -y -q "$deb" || fail "apt-get install $deb"

[ -x /usr/bin/quillmere ] || fail "/usr/bin/quillmere not installed"
desktop=/usr/share/applications/quillmere.desktop
[ -f "$desktop" ] || fail "$desktop not installed"
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
/usr/bin/quillmere --version | grep -q '^quillmere ' || fail "quillmere --version"

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
