#!/usr/bin/env bash
# The keyboard is never the application's hostage: with an editor's window in front, another X
# client presses the expand shortcut, then grabs the keyboard and types into its own grab. The
# key must arrive within the hold's limit of the press (one second, and a quarter for the
# scheduler), however the application is doing:
#   stalled    its main thread stands still (as while it loads or saves a large library), the
#              other threads running on;
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

# stalled: the main thread stands still for ten seconds, the other threads run on
/usr/bin/python3 "$here/stall_thread.py" "$app_pid" 10 >"$work/stall.log" 2>&1 & staller=$!
pids+=($staller)
if wait_until 10 grep -q stalled "$work/stall.log"; then
    probe press-and-type "$limit" || fail "stalled: the keyboard was held"
else
    fail "stalled: the main thread could not be stalled: $(cat "$work/stall.log")"
fi
wait "$staller"
call_expand() {
    gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
        --method com.orvanta.Quillet.Expand 'for item in items' "{'extension': <'swift'>}" | grep -q 'items {'
}
wait_until 30 call_expand || fail "stalled: quillet-app did not answer once its main thread went on"

kill -TERM "$app_pid"
wait_until 30 sh -c "! kill -0 $app_pid" || fail "quillet-app did not end on SIGTERM"
grep -qE 'Aborted|Segmentation|terminate called' "$app_log" && fail "quillet-app broke"
[ "$failures" -eq 0 ] && echo "the keyboard was free within $limit s of every press"
exit $((failures > 0))
