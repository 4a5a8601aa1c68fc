#!/usr/bin/env bash
# Installs what building and testing Quillmere needs on Debian 12, when it is
# missing. Usage: scripts/install-deps.sh [build|test]
set -euo pipefail

purpose=${1:-build}

build_packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev
  libssl-dev ca-certificates
  # HTML mail is read through libxml2's HTML parser.
  libxml2-dev
  # OAuth 2.0 sign-in: libcurl for the token endpoint, nlohmann-json for its
  # answers; passwords and refresh tokens in the desktop keyring via libsecret.
  libcurl4-openssl-dev nlohmann-json3-dev libsecret-1-dev
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins qt6-translations-l10n
  # Japanese text, and the glyphs it lacks (emoji, Latin, Greek, Hangul ...).
  libgl-dev fonts-noto-cjk fonts-noto-color-emoji fonts-dejavu-core
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  # The sanitizer build and the fuzzers: clang with libFuzzer.
  clang libclang-rt-14-dev
  python3 openssl tzdata
  dovecot-core dovecot-pop3d fetchmail
  postfix msmtp
  mblaze
  xvfb xauth xdotool x11-utils imagemagick openbox trayer
  dbus dbus-x11 at-spi2-core python3-pyatspi locales-all
  desktop-file-utils xdg-utils
  # The package check: lintian, AppStream's validator, man for the pages.
  lintian appstream man-db
  # The keyring tests run a private GNOME Keyring on a private session bus.
  gnome-keyring libsecret-tools
)

packages=("${build_packages[@]}")
if [ "$purpose" = test ]; then
  packages+=("${test_packages[@]}")
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Postfix is only run privately by the tests: no system configuration, no
# question asked while installing.
if printf '%s\n' "${missing[@]}" | grep -qx postfix; then
  echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
