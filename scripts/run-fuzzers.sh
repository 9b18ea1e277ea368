#!/usr/bin/env bash
# Runs every libFuzzer harness of a fuzzing build for a bounded time:
#   run-fuzzers.sh BUILD_DIR SECONDS
# Each harness starts from its committed seed corpus (fuzz/corpus/<name>, only read) and keeps
# what it learns in BUILD_DIR/corpus/<name>. A finding is saved as
# BUILD_DIR/findings/<name>-crash-... and ends the run with a failure.
set -euo pipefail
build_dir=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)

# A leak is a finding like any other, except those fuzz/lsan.supp explains; undefined
# behaviour stops the run with its stack.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

status=0
mkdir -p "$build_dir/findings"
for harness in "$build_dir"/bin/fuzz_*; do
    name=$(basename "$harness")
    seeds="$root/fuzz/corpus/$name"
    learned="$build_dir/corpus/$name"
    mkdir -p "$learned"
    echo "== $name: $seconds s"
    if ! "$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -print_final_stats=1 \
        -artifact_prefix="$build_dir/findings/$name-" "$learned" "$seeds" \
        >"$build_dir/$name.log" 2>&1; then
        echo "$name found a fault (log: $build_dir/$name.log):"
        grep -E -A 30 "ERROR:|expectation failed|runtime error|Test unit written" \
            "$build_dir/$name.log" | head -60
        status=1
    else
        grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build_dir/$name.log" || true
    fi
done
exit $status
