#!/usr/bin/env bash
# run_fuzzer.sh FUZZER SCRATCH SEEDS RUNS INPUT_SECONDS
# Runs a libFuzzer target for RUNS inputs, starting from the files in SEEDS
# (never written) and keeping what it finds in SCRATCH (made afresh). Fails
# on a crash, a sanitizer report, a leak or an input slower than
# INPUT_SECONDS, and leaves the input that did it in SCRATCH.
set -euo pipefail
fuzzer=$1 scratch=$2 seeds=$3 runs=$4 input_seconds=$5
rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"
exec "$fuzzer" -runs="$runs" -timeout="$input_seconds" -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 -artifact_prefix="$scratch/" "$scratch" "$seeds"
