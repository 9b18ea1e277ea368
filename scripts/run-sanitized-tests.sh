#!/usr/bin/env bash
# Runs the test suites of a sanitizer build: run-sanitized-tests.sh BUILD_DIR [ctest args...]
# A report from a program a test starts (advisory-server, the capture program) does not fail
# the test by itself: the program may report only as it exits, after the test has its answer.
# Its report is in the test's output, so the log of the whole run is searched as well.
set -euo pipefail
build_dir=$1
shift

cd "$build_dir"
status=0
ctest --output-on-failure --timeout 600 "$@" || status=$?

log=Testing/Temporary/LastTest.log
pattern='ERROR: (Address|Leak|Thread|UndefinedBehavior)Sanitizer|WARNING: ThreadSanitizer|runtime error: '
if [ -f "$log" ] && grep -Eq "$pattern" "$log"; then
    echo "sanitizer reports in $build_dir/$log:"
    grep -En -A 12 "$pattern" "$log" | head -200
    status=1
fi
exit $status
