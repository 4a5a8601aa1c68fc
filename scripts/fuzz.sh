#!/usr/bin/env bash
# Runs one libFuzzer target of the core for longer than the tests do.
#   scripts/fuzz.sh TARGET SECONDS   fuzz TARGET (e.g. filing) for SECONDS
#   scripts/fuzz.sh list             name the targets
# Builds the sanitizer build first when needed (build-sanitize, or the
# folder in QUILLMERE_FUZZ_BUILD). What the fuzzer learns is kept in that
# build for the next run; an input that breaks an invariant is left there
# too, and the script then fails.
set -euo pipefail
cd "$(dirname "$0")/.."

targets() { for source in tests/fuzz/fuzz_*.cpp; do basename "$source" .cpp | sed 's/^fuzz_//'; done; }
usage() {
  echo "usage: scripts/fuzz.sh TARGET SECONDS | scripts/fuzz.sh list" >&2
  echo "targets: $(targets | tr '\n' ' ')" >&2
  exit 2
}

[[ $# -eq 1 && $1 == list ]] && { targets; exit 0; }
[[ $# -eq 2 && $2 =~ ^[1-9][0-9]*$ ]] || usage
name=$1 seconds=$2
[[ " $(targets | tr '\n' ' ') " == *" $name "* ]] || usage

build=${QUILLMERE_FUZZ_BUILD:-build-sanitize}
if ! grep -qs '^QUILLMERE_FUZZ:BOOL=ON' "$build/CMakeCache.txt"; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLMERE_SANITIZE=ON \
    -DQUILLMERE_CORE_ONLY=ON -DQUILLMERE_TESTS=ON -DQUILLMERE_BENCH=OFF -DQUILLMERE_FUZZ=ON
fi
ninja -C "$build" "fuzz_$name"

# The seed folder of tests/data that tests/fuzz/CMakeLists.txt names for it.
seeds=$(sed -n "s/^set(fuzz_seeds_$name \(.*\))$/\1/p" tests/fuzz/CMakeLists.txt)
seeds=tests/data/${seeds:-fuzz/$name}
corpus=$build/tests/fuzz/fuzz_$name.long-corpus
findings=$build/tests/fuzz/fuzz_$name.findings
mkdir -p "$corpus" "$findings"
echo "fuzz_$name for $seconds s; corpus: $corpus, findings: $findings"
status=0
ASAN_OPTIONS=detect_leaks=1 "$build/bin/fuzz_$name" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
  -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$seeds" || status=$?
if [[ $status -ne 0 ]]; then
  echo "fuzz_$name found a fault; the input is in $findings:" >&2
  ls -t "$findings" | head -n 3 >&2
fi
exit $status
