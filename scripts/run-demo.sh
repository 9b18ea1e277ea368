#!/usr/bin/env bash
# Runs the demo host from a build tree: in a window when there is a display, otherwise
# unattended under a private X server (--script), printing what it did.
#   scripts/run-demo.sh BUILD_DIR [feedback-host options...]
# For example, to refresh the README's picture:
#   scripts/run-demo.sh build/release --script --screenshot docs/screenshot.png
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR [feedback-host options...]" >&2
    exit 2
fi
build_dir=$1
shift
host="$build_dir/bin/feedback-host"
if [ ! -x "$host" ]; then
    echo "$host is missing: build first (make build)" >&2
    exit 1
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$host" "$@"
fi

if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "no display and no xvfb-run: install xvfb (make deps) or run with a display" >&2
    exit 1
fi
case " $* " in
    *" --script "*) ;;
    *) set -- --script "$@" ;;
esac
echo "no display: running the scripted demo on a private X server"
status=0
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$host" "$@" || status=$?
if [ "$status" -eq 0 ]; then
    echo "demo passed"
else
    echo "demo failed (exit code $status)" >&2
fi
exit "$status"
