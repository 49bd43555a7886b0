#!/usr/bin/env bash
# The keyboard is never the application's hostage: with an editor's window in front, another X
# client presses the expand shortcut, then grabs the keyboard and types into its own grab. The
# key must arrive within the hold's limit of the press (one second, and a quarter for the
# scheduler), however the application is doing. It runs as a job of a terminal of its own, whose
# output stops background jobs (`stty tostop`), as from a shell:
#   suspended   it was stopped with SIGTSTP, as Ctrl+Z in its terminal stops it; continued, it
#               holds the shortcut again;
#   background  put in the background, a press outlasts its hold while the main thread stands
#               still: the line it then writes to the terminal stops the application, with the
#               keyboard free; brought to the foreground, it goes on and holds the shortcut
#               again;
#   stalled     its main thread stands still (as while it loads or saves a large library), the
#               other threads running on;
#   taken while stopped  another client takes the shortcut while the application is stopped:
#               continued, it tells the user the shortcut is not available.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- run-keyboard-hold.sh BIN
set -uo pipefail

bin=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../AppSession.sh"
limit=1.25
probe() { timeout 30 /usr/bin/python3 "$here/keyboard_free.py" "$@"; }
library=$XDG_DATA_HOME/com.orvanta.Quillet/bundles.qlbundles
notifications=$work/notifications.log

gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null
export NO_AT_BRIDGE=0 GTK_MODULES=gail:atk-bridge
openbox >/dev/null 2>&1 & pids+=($!)
wait_until 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || { fail "no window manager"; exit 1; }
# What the application tells the user lands here, never in a notification daemon of the machine.
/usr/bin/python3 "$here/editor_cases.py" --notification-server "$notifications" >"$work/notification-server.log" 2>&1 &
pids+=($!)
wait_until 10 test -e "$notifications" || { fail "the test's notification server did not start"; exit 1; }
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"
printf 'let x = 1' >"$work/main.swift"
mousepad --disable-server "$work/main.swift" >"$work/editor.log" 2>&1 & pids+=($!)
wait_until 30 sh -c "/usr/bin/python3 '$here/atspi_text.py' read | grep -q '\"title\": \"[^\"]*main.swift'" ||
    { fail "the editor never had the focus"; exit 1; }

# The job starts in the foreground of its terminal, where it may write; what it writes lands in
# the job's log.
/usr/bin/python3 "$here/background_job.py" --foreground "$work" "$bin/quillet-app" & job=$!
pids+=($job)
app_log=$work/job.log
wait_until 20 test -s "$work/job.pid" || { fail "the terminal's job did not start"; exit 1; }
app_pid=$(cat "$work/job.pid")
wait_until 60 name_owned || { fail "quillet-app did not take its D-Bus name"; exit 1; }
wait_until 30 test -s "$library" || { fail "no library was installed"; exit 1; }
wait_until 20 probe shortcut-taken || { fail "quillet-app never took the expand shortcut"; exit 1; }
state() { awk '{ print $3 }' "/proc/$app_pid/stat"; }
stopped() { [ "$(state)" = T ]; }
running() { [ "$(state)" != T ]; }
# Whether another process group than the application's has its terminal's foreground.
in_background() { [ "$(awk '{ print $8 }' "/proc/$app_pid/stat")" != "$app_pid" ]; }
stall() {
    /usr/bin/python3 "$here/stall_thread.py" "$app_pid" "$1" >"$work/stall.log" 2>&1 & staller=$!
    pids+=($staller)
    wait_until 10 grep -q stalled "$work/stall.log"
}

# suspended
kill -TSTP "$app_pid"
if wait_until 10 stopped; then
    probe press-and-type "$limit" || fail "suspended: the keyboard was held"
    kill -CONT "$app_pid"
    wait_until 10 running || fail "suspended: never went on"
    wait_until 10 probe shortcut-taken || fail "suspended: the shortcut was not taken again after SIGCONT"
else
    fail "suspended: SIGTSTP did not stop quillet-app (state $(state))"
    kill -CONT "$app_pid"
fi

# background: Ctrl+Z and `bg`, then a press that outlasts its hold while the main thread stands
# still; the warning it leaves is written once the main thread goes on. Before any other press,
# whose lines could stop the job before this one.
kill -TSTP "$app_pid"
wait_until 10 stopped || fail "background: Ctrl+Z did not stop quillet-app (state $(state))"
kill -USR2 "$job"
wait_until 10 in_background || fail "background: the job never left the foreground"
running || fail "background: quillet-app stopped before the press (state $(state)): $(tail -n 3 "$app_log")"
if stall 3; then
    probe press-and-type "$limit" || fail "background: the keyboard was held at the press"
    wait "$staller"
    if wait_until 10 stopped; then
        probe press-and-type "$limit" || fail "background: the keyboard was held once writing had stopped quillet-app"
        kill -USR1 "$job" # fg
        wait_until 10 running || fail "background: brought to the foreground, quillet-app did not go on"
        wait_until 10 probe shortcut-taken || fail "background: in the foreground again, the shortcut was not taken"
        probe press-and-type "$limit" || fail "background: in the foreground again, the keyboard was held"
    else
        fail "background: writing to the terminal did not stop quillet-app (state $(state), threads:" \
            "$(cat /proc/$app_pid/task/*/stat | awk '{ print $3 }' | tr '\n' ' '))"
        probe press-and-type "$limit" || fail "background: after the long press the keyboard was held"
        kill -USR1 "$job"
    fi
else
    fail "background: the main thread could not be stalled: $(cat "$work/stall.log")"
fi
wait_until 10 running

# stalled: the main thread stands still for ten seconds, the other threads run on
if stall 10; then
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

# taken while stopped: another client takes the shortcut meanwhile (last: the shortcut is the
# other client's from then on)
told=$(wc -l <"$notifications")
kill -TSTP "$app_pid"
if wait_until 10 stopped; then
    probe take-shortcut >"$work/taker.log" 2>&1 & taker=$!
    pids+=($taker)
    wait_until 10 grep -q taken "$work/taker.log" || fail "taken while stopped: $(cat "$work/taker.log")"
    kill -CONT "$app_pid"
    wait_until 10 running || fail "taken while stopped: never went on"
    unavailable() { tail -n +$((told + 1)) "$notifications" | grep -q '"title": "Shortcut not available".*Ctrl+Alt+E'; }
    wait_until 10 unavailable ||
        fail "taken while stopped: the user was not told; notifications: $(tail -n +$((told + 1)) "$notifications")"
    kill "$taker"
else
    fail "taken while stopped: SIGTSTP did not stop quillet-app (state $(state))"
    kill -CONT "$app_pid"
fi

kill -TERM "$app_pid"
wait_until 30 sh -c "! kill -0 $job" || fail "quillet-app did not end on SIGTERM"
grep -qE 'Aborted|Segmentation|terminate called' "$app_log" && fail "quillet-app broke"
[ "$failures" -eq 0 ] && echo "the keyboard was free within $limit s of every press"
exit $((failures > 0))
