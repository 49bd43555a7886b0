#!/usr/bin/env bash
# Runs a test command in an X display and a session bus of its own:
#   in-session.sh [--config-file=FILE] -- COMMAND...
# and then ends whatever the session left behind. A service the bus started for the
# application (a portal, a notification daemon) may still be starting when the bus goes, and
# would hold the test's output open until CTest's timeout, failing a test that passed.
set -uo pipefail

bus_options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do bus_options+=("$1"); shift; done
shift

# A session and process group of their own, which the activated services inherit.
setsid xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session "${bus_options[@]}" -- "$@" &
group=$!
wait "$group"
status=$?

# Whether a process of the group still runs (one that has ended but is not yet reaped does not).
group_runs() { ps -e -o pgid=,stat= | awk -v group="$group" '$1 == group && $2 !~ /^Z/ { found = 1 } END { exit !found }'; }

kill -TERM -- "-$group" 2>/dev/null
for _ in $(seq 40); do
    group_runs || exit "$status"
    sleep 0.05
done
kill -KILL -- "-$group" 2>/dev/null
exit "$status"
