#!/usr/bin/env bash
# Installs what is missing, builds Quillmere and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_TESTS=OFF
ninja -C build
exec build/bin/quillmere "$@"
