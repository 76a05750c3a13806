#!/bin/sh
# A short, bounded libFuzzer run starting from the committed seeds. A crash,
# a sanitizer report or a violated property makes libFuzzer exit non-zero.
# Usage: run_fuzz.sh FUZZER SEED_DIR WORK_DIR   (FUZZ_SECONDS, FUZZ_SEED override)
set -eu
fuzzer=$1
seeds=$2
work=$3
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
# New inputs go to the scratch corpus, never into the committed seeds.
exec "$fuzzer" -max_total_time="${FUZZ_SECONDS:-20}" -runs=5000000 -seed="${FUZZ_SEED:-1}" \
    -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds"
