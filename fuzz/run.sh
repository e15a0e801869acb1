#!/usr/bin/env bash
# Fuzzes one harness for a bounded time, or every harness for a number of
# inputs.
#
#   fuzz/run.sh FUZZER WORK_DIR SECONDS SEED_DIR... [-dict=DICT]
#   fuzz/run.sh --campaign BUILD_DIR [INPUTS [JOBS]]
#
# The first form fuzzes FUZZER for SECONDS from the seed directories (the
# kept corpus among them); DICT defaults to the assembler's dictionary,
# orvasm.dict. New inputs collect in WORK_DIR/corpus.
#
# The campaign (BUILD_DIR is the fuzz preset's, build-fuzz) runs each
# harness built there, JOBS at a time (one per core by default), for its
# share of INPUTS (ten million by default; the faster the harness, the
# larger its share) from the seeds and fuzz/corpus/NAME, then merges what
# each found into fuzz/corpus/NAME, the smallest set of inputs that with
# the seeds keeps the coverage reached, and prints per harness the inputs
# run, the coverage and the kept corpus. Commit fuzz/corpus afterwards.
#
# Any crash, leak, timeout, sanitizer report or out-of-memory ends the run
# with status 1, and every input that caused one is printed with xxd so that
# the log alone is enough to reproduce it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# Freed memory is reused soon (a short quarantine) and never handed back,
# and new blocks are not filled: without this, mapping and unmapping pages
# costs more than most assemblies.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:max_malloc_fill_size=0:allocator_release_to_os_interval_ms=-1}

# Prints and counts what a run left in WORK/findings; status 1 if anything.
report_findings() {
    local work=$1 status=$2 found=0
    for input in "$work"/findings/*; do
        [ -e "$input" ] || continue
        found=1
        echo "== finding: $(basename "$input")"
        xxd "$input" | head -n 64
    done
    [ "$status" -eq 0 ] && [ "$found" -eq 0 ]
}

# fuzz FUZZER WORK DICT LIMIT SEED_DIR...: LIMIT is -max_total_time=S or -runs=N.
fuzz() {
    local fuzzer=$1 work=$2 dict=$3 limit=$4
    shift 4
    mkdir -p "$work/corpus" "$work/findings" "$work/tmp"
    rm -f "$work"/findings/*
    TMPDIR="$work/tmp" "$fuzzer" "$work/corpus" "$@" \
        -dict="$dict" "$limit" \
        -timeout=10 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$work/findings/" >"$work/log" 2>&1
    local status=$?
    rm -rf "$work/tmp"
    tail -n 40 "$work/log"
    report_findings "$work" "$status"
}

# Which harnesses a campaign runs: name, share of the inputs in
# thousandths, executable, dictionary, seeds. The assembler runs some
# five times as many inputs a second as the others.
harnesses() {
    local build=$1
    echo "assembler 800 $build/fuzz/orvasm_fuzz $here/orvasm.dict $build/fuzz/seeds"
    echo "lsp 100 $build/fuzz/orvasm_fuzz_lsp $here/lsp.dict $here/lsp_seeds"
    echo "outputs 100 $build/fuzz/orvasm_fuzz_outputs $here/orvasm.dict $build/fuzz/seeds"
}

# merge FUZZER WORK SEEDS KEPT: KEPT becomes the smallest set of inputs that,
# with the seeds (which are not copied), reaches every edge that KEPT and
# what the run found reach. Edges only, not how often each is taken: that
# keeps the corpus to some tens of KiB.
merge() {
    local exe=$1 work=$2 seeds=$3 kept=$4
    rm -rf "$work/merged" && mkdir -p "$work/merged"
    for seed in "$seeds"/*; do cp "$seed" "$work/merged/seed-$(basename "$seed")"; done
    "$exe" -set_cover_merge=1 -use_counters=0 -max_len=8192 "$work/merged" "$kept" "$work/corpus" >"$work/merge.log" 2>&1
    rm -f "$work"/merged/seed-* "$kept"/*
    cp "$work"/merged/* "$kept"/ 2>/dev/null
}

# campaign_harness NAME RUNS EXE DICT SEEDS KEPT WORK: one harness's share,
# merged into KEPT; its summary line goes to WORK/summary.
campaign_harness() {
    local name=$1 runs=$2 exe=$3 dict=$4 seeds=$5 kept=$6 work=$7 start=$SECONDS status=0
    echo "== $name: $runs inputs from $seeds and $kept"
    fuzz "$exe" "$work" "$dict" -runs="$runs" "$kept" "$seeds" || status=1
    local ran cov
    ran=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$work/log" | tail -n 1)
    merge "$exe" "$work" "$seeds" "$kept"
    echo "$name: ${ran:-0} inputs in $((SECONDS - start)) s, ${cov:-no coverage}; kept $(ls "$kept" | wc -l) inputs, $(du -sk "$kept" | cut -f1) KiB" >"$work/summary"
    return "$status"
}

# Runs the harnesses JOBS at a time, each on its own core; what each
# printed is shown when it ends, so that the logs do not interleave.
campaign() {
    local build=$1 total=${2:-10000000} jobs=${3:-$(nproc)} failed=0 shares names=()
    shares=$(harnesses "$build" | while read -r _ share exe _; do [ -x "$exe" ] && echo "+$share"; done)
    shares=$((0 $shares))
    [ "$shares" -gt 0 ] || { echo "no harness built in $build"; return 1; }
    while read -r name share exe dict seeds; do
        [ -x "$exe" ] || { echo "== $name: not built, left out"; continue; }
        local work="$build/fuzz/campaign/$name" kept="$here/corpus/$name"
        mkdir -p "$kept"
        rm -rf "$work" && mkdir -p "$work"
        names+=("$name")
        while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || failed=1; done
        { campaign_harness "$name" $((total * share / shares)) "$exe" "$dict" "$seeds" "$kept" "$work" >"$work/out" 2>&1
          local status=$?; cat "$work/out"; exit "$status"; } &
    done < <(harnesses "$build")
    while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || failed=1; done
    echo "== campaign"
    for name in "${names[@]}"; do cat "$build/fuzz/campaign/$name/summary" 2>/dev/null || echo "$name: no summary"; done
    return "$failed"
}

if [ "${1:-}" = "--campaign" ]; then
    campaign "$(realpath -m "$2")" "${3:-}" "${4:-}"
    exit $?
fi

# Paths made absolute: the language server's harness changes directory.
fuzzer=$(realpath -m "$1") work=$(realpath -m "$2") seconds=$3
shift 3
dict="$here/orvasm.dict"
seeds=()
for arg in "$@"; do
    case $arg in
    -dict=*) dict=$(realpath -m "${arg#-dict=}") ;;
    *) seeds+=("$(realpath -m "$arg")") ;;
    esac
done
if fuzz "$fuzzer" "$work" "$dict" -max_total_time="$seconds" "${seeds[@]}"; then
    echo "fuzzing found nothing in ${seconds}s"
else
    echo "fuzzing failed"
    exit 1
fi
