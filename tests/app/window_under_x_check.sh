#!/bin/bash
# The desktop window opens under a real X server (Xvfb) with nothing on stderr, and SIGTERM
# closes it the way Exit does: exit code 0 and the settings written.
# Usage: window_under_x_check.sh TRACORA_PROGRAM. Exit 77 (skipped) without xvfb-run/xwininfo,
# 1 with TRACORA_REQUIRE_ORACLES set.
set -u
program=$1
# shellcheck source=../../tools/oracle_tools.sh
. "$(dirname "$0")/../../tools/oracle_tools.sh"
require_programs xvfb-run "the Debian package xvfb" xwininfo "the Debian package x11-utils"

work=$(mktemp -d)
trap '[ -n "${KEEP_WORK:-}" ] && echo "$work" || rm -rf "$work"' EXIT
export TRACORA_CONFIG_DIR=$work/config
# A desktop session has a runtime folder; without one Qt warns about its absence.
mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime

xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$1" 2>"$2/stderr" &
    pid=$!
    # Wait (60 s at most) for the main window to be mapped.
    for _ in $(seq 600); do
        if xwininfo -root -tree 2>/dev/null | grep -q "\"Tracora [0-9]*\.[0-9][0-9], COM1\""; then
            break
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    xwininfo -root -tree | grep "\"Tracora " >"$2/windows"
    kill -TERM "$pid"
    wait "$pid"
    echo $? >"$2/code"
' check "$program" "$work"

status=0
if ! grep -q '"Tracora [0-9]*\.[0-9][0-9], COM1"' "$work/windows"; then
    echo "the main window did not appear"; status=1
fi
if [ "$(cat "$work/code" 2>/dev/null)" != 0 ]; then
    echo "exit code $(cat "$work/code" 2>/dev/null), expected 0"; status=1
fi
if [ -s "$work/stderr" ]; then
    echo "stderr was not empty:"; cat "$work/stderr"; status=1
fi
if [ ! -f "$work/config/settings.ini" ]; then
    echo "the settings were not saved at exit"; status=1
fi
exit $status
