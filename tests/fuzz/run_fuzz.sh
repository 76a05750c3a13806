#!/bin/sh
# A short, bounded libFuzzer run starting from the committed corpus. A crash,
# a sanitizer report or a violated property makes libFuzzer exit non-zero.
# Usage: run_fuzz.sh FUZZER CORPUS_DIR WORK_DIR   (FUZZ_SECONDS overrides the time)
set -eu
fuzzer=$1
committed=$2
work=$3
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
# New inputs go to the scratch corpus, never into the committed one.
exec "$fuzzer" -max_total_time="${FUZZ_SECONDS:-20}" -runs=5000000 \
    -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "$committed"
