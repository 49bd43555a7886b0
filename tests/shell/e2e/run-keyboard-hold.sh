#!/usr/bin/env bash
# The keyboard is never the application's hostage: with an editor's window in front, another X
# client presses the expand shortcut, then grabs the keyboard and types into its own grab. The
# key must arrive within the hold's limit of the press (one second, and a quarter for the
# scheduler), however the application is doing:
#   stalled    its main thread waits on the library's lock, which another process holds, while
#              it saves an import;
#   suspended  it was stopped with SIGTSTP, as Ctrl+Z in its terminal stops it; continued, it
#              holds the shortcut again.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- run-keyboard-hold.sh BIN
set -uo pipefail

bin=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../AppSession.sh"
limit=1.25
probe() { timeout 30 /usr/bin/python3 "$here/keyboard_free.py" "$@"; }
library=$XDG_DATA_HOME/com.orvanta.Quillet/bundles.qlbundles
lock=$XDG_DATA_HOME/com.orvanta.Quillet/.bundles.qlbundles.lock
app_pid=

gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null
export NO_AT_BRIDGE=0 GTK_MODULES=gail:atk-bridge
openbox >/dev/null 2>&1 & pids+=($!)
wait_until 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || { fail "no window manager"; exit 1; }
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"
printf 'let x = 1' >"$work/main.swift"
mousepad --disable-server "$work/main.swift" >"$work/editor.log" 2>&1 & pids+=($!)
wait_until 30 sh -c "/usr/bin/python3 '$here/atspi_text.py' read | grep -q '\"title\": \"[^\"]*main.swift'" ||
    { fail "the editor never had the focus"; exit 1; }

# Job control: the application gets a process group of its own under this shell, as from a
# terminal, so that SIGTSTP stops it (the kernel ignores it in an orphaned group).
set -m
"$bin/quillet-app" >"$app_log" 2>&1 &
app_pid=$!
set +m
pids+=($app_pid)
wait_until 60 name_owned || { fail "quillet-app did not take its D-Bus name"; exit 1; }
wait_until 30 test -s "$library" || { fail "no library was installed"; exit 1; }
wait_until 20 probe shortcut-taken || { fail "quillet-app never took the expand shortcut"; exit 1; }
state() { awk '{ print $3 }' "/proc/$app_pid/stat"; }

# suspended
kill -TSTP "$app_pid"
if wait_until 10 sh -c "[ \"\$(awk '{ print \$3 }' /proc/$app_pid/stat)\" = T ]"; then
    probe press-and-type "$limit" || fail "suspended: the keyboard was held"
    kill -CONT "$app_pid"
    wait_until 10 sh -c "[ \"\$(awk '{ print \$3 }' /proc/$app_pid/stat)\" != T ]" || fail "suspended: never went on"
    wait_until 10 probe shortcut-taken || fail "suspended: the shortcut was not taken again after SIGCONT"
else
    fail "suspended: SIGTSTP did not stop quillet-app (state $(state))"
    kill -CONT "$app_pid"
fi

# stalled
/usr/bin/python3 -c 'import fcntl, sys, time
lock = open(sys.argv[1], "a")
fcntl.flock(lock, fcntl.LOCK_EX)
time.sleep(60)' "$lock" & locker=$!
pids+=($locker)
wait_until 10 sh -c "grep -q '^[0-9]*: FLOCK' /proc/locks" || fail "stalled: the lock was never taken"
printf '{"name": "Imported while locked", "expanders": []}' >"$work/locked.qlbundle"
timeout 90 gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
    --method com.orvanta.Quillet.OpenFiles "['$work/locked.qlbundle']" >/dev/null 2>&1 & pids+=($!)
# The application waits on the lock: its request stands behind the holder's.
if wait_until 20 sh -c "grep -q -- '-> FLOCK  ADVISORY  WRITE $app_pid ' /proc/locks"; then
    probe press-and-type "$limit" || fail "stalled: the keyboard was held"
else
    fail "stalled: quillet-app never waited on the lock: $(cat /proc/locks)"
fi
kill "$locker"
wait_until 30 grep -q 'Imported while locked' "$library" || fail "stalled: the import was not saved after the lock"

kill -TERM "$app_pid"
wait_until 30 sh -c "! kill -0 $app_pid" || fail "quillet-app did not end on SIGTERM"
grep -qE 'Aborted|Segmentation|terminate called' "$app_log" && fail "quillet-app broke"
[ "$failures" -eq 0 ] && echo "the keyboard was free within $limit s of every press"
exit $((failures > 0))
