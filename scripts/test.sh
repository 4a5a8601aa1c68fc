#!/usr/bin/env bash
# Installs what is missing, builds Quillmere and runs every test: once in a
# normal build, once more for the core under AddressSanitizer and
# UndefinedBehaviorSanitizer, built with clang, with the libFuzzer targets
# run for a bounded number of inputs each.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test

jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_TESTS=ON -DQUILLMERE_BENCH=ON
ninja -C build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")
# The package of this build, installed system-wide and started.
scripts/check-package.sh build

CC=clang CXX=clang++ cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLMERE_SANITIZE=ON \
  -DQUILLMERE_CORE_ONLY=ON -DQUILLMERE_TESTS=ON -DQUILLMERE_BENCH=OFF -DQUILLMERE_FUZZ=ON
ninja -C build-sanitize -j "$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$jobs")

# The share of the tests: code lines (neither blank nor only a comment) of
# tests/ without its data, against src/.
code_lines() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.py' -o -name '*.sh' -o -name '*.cmake' \
    -o -name 'CMakeLists.txt' \) -print0 | xargs -0 cat | sed -E 's/^[[:space:]]+//' |
    grep -c -v -E '^$|^//|^#( |$)|^/\*|^\*'
}
src_lines=$(code_lines src)
test_lines=$(code_lines tests -not -path 'tests/data/*')
echo "All tests passed."
echo "code lines: src $src_lines, tests $test_lines ($((100 * test_lines / src_lines))%)"
