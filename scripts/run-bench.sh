#!/usr/bin/env bash
# Runs every benchmark program of a build, one after another (they time themselves and
# must not share the machine with each other). Usage: run-bench.sh [BUILD_DIR] [NAME...]
# where NAME is attach, fit, memory, category or dialog (default: all of them).
set -euo pipefail

build_dir=${1:-build/release}
shift || true
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    names=(attach fit memory category dialog)
fi

bin="$build_dir/bin"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
echo "machine: $(nproc) cores, $(uname -srm)"
status=0
for name in "${names[@]}"; do
    program="$bin/bench_$name"
    if [ ! -x "$program" ]; then
        echo "bench_$name is not built in $build_dir (configure with -DKIVCONSULT_BUILD_BENCH=ON)" >&2
        status=1
        continue
    fi
    echo
    if ! "$program"; then
        echo "bench_$name failed" >&2
        status=1
    fi
done
exit $status
