#!/usr/bin/env bash
# Fuzzes the assembler (or the language server) for a bounded time from the seed corpus.
#
#   fuzz/run.sh FUZZER WORK_DIR SECONDS SEED_DIR [DICT]
#
# DICT defaults to the assembler's dictionary, orvasm.dict.
#
# New inputs collect in WORK_DIR/corpus. Any crash, leak, timeout,
# sanitizer report or out-of-memory ends the run with status 1, and every
# input that caused one is printed with xxd so that the log alone is enough
# to reproduce it.
set -uo pipefail

fuzzer=$1
work=$2
seconds=$3
seeds=$4
dict=${5:-"$(dirname "$0")/orvasm.dict"}

mkdir -p "$work/corpus" "$work/findings"
rm -f "$work"/findings/*

"$fuzzer" "$work/corpus" "$seeds" \
    -dict="$dict" \
    -max_total_time="$seconds" \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -max_len=8192 \
    -print_final_stats=1 \
    -artifact_prefix="$work/findings/" 2>&1 | tail -n 100
status=${PIPESTATUS[0]}

found=0
for input in "$work"/findings/*; do
    [ -e "$input" ] || continue
    found=1
    echo "== finding: $(basename "$input")"
    xxd "$input"
done
if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    echo "fuzzing failed (status $status)"
    exit 1
fi
echo "fuzzing found nothing in ${seconds}s"
