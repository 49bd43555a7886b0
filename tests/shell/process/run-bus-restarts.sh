#!/usr/bin/env bash
# The running quillet-app while its session bus restarts, once or again right after, or while
# the accessibility bus is stuck: whatever happens, the application is served on the bus again
# (its own connection and Qt's, which carries the tray, the notifications and its accessibility
# support), or it has ended and let its global shortcuts go (another X client can grab
# Ctrl+Alt+E); it never lives on unreachable or half reachable, never aborts, and it always
# ends on SIGTERM. Each row runs on a private bus of the tests' own configuration, started and
# killed here, with the accessibility bus launcher on it and assistive technologies on, as on a
# desktop that uses them. Runs inside `xvfb-run … dbus-run-session -- run-bus-restarts.sh BIN`
# (BIN holds quillet-app); QUILLET_TEST_BUS_CONFIG names the bus configuration. Every wait has
# a deadline; a failure prints the app's log.
set -uo pipefail

bin=$1
here=$(dirname "$0")
source "$here/../AppSession.sh"
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"
app_pid=
bus_pid=
bus_socket=
stopped=

cleanup() {
    [ -n "$stopped" ] && kill -CONT "$stopped" 2>/dev/null
    [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
    [ -n "$bus_pid" ] && kill -KILL "$bus_pid" 2>/dev/null
    rm -rf "$work"
}

# Whether the tests' bus can start the accessibility bus launcher (the machine has it).
a11y_launcher=no
grep -qs 'Name=org.a11y.Bus' "$(dirname "$QUILLET_TEST_BUS_CONFIG")"/services/org.a11y.Bus.service && a11y_launcher=yes

start_bus() {
    # The launcher it starts keeps the assistive-technologies switch in memory.
    GSETTINGS_BACKEND=memory dbus-daemon --config-file="$QUILLET_TEST_BUS_CONFIG" --nofork \
        --address="unix:path=$bus_socket" >/dev/null 2>&1 &
    bus_pid=$!
    wait_until 10 test -S "$bus_socket"
    # Assistive technologies on: Qt's accessibility support then reaches the accessibility
    # bus at every start, which starts the launcher on this bus.
    [ "$a11y_launcher" = yes ] && timeout 10 gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
        --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null 2>&1
    return 0
}

kill_bus() {
    kill -KILL "$bus_pid" 2>/dev/null
    wait "$bus_pid" 2>/dev/null
    rm -f "$bus_socket"
    bus_pid=
}

pid_of_name() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.GetConnectionUnixProcessID "$1" 2>/dev/null | grep -o '[0-9]\+' | tail -1
}

# The number of connections the application has on the bus: its own, and Qt's.
connections() {
    local name count=0
    for name in $(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.ListNames | grep -o "':[0-9.]*'" | tr -d "'"); do
        [ "$(pid_of_name "$name")" = "$app_pid" ] && count=$((count + 1))
    done
    echo "$count"
}

shortcut_free() { /usr/bin/python3 "$here/grab_shortcut.py"; }
shortcut_held() { /usr/bin/python3 "$here/grab_shortcut.py"; [ $? -eq 1 ]; }
answers() {
    timeout 5 gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
        --method com.orvanta.Quillet.Expand 'for item in items' '{}' | grep -q cursor_position
}
# Served whole: the methods answer, and Qt's own connection is on this bus too.
served() { answers && [ "$(connections)" -ge 2 ]; }
# The application starts again in its own process once the bus is back: seen the moment it
# says so (looked for more often than wait_until looks, as the pauses are short).
wait_for_restart() {
    local deadline=$((SECONDS + 20))
    until grep -q 'starts again' "$app_log"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.002
    done
}
app_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
served_or_ended_free() {
    if app_ended; then shortcut_free; else served && shortcut_held; fi
}

# Rows: name | whether the bus is there when the app starts | the pause after the
# application says it starts again before the bus is killed again (none: it is not), or
# without a bus at the start, before the bus starts | whether a bus comes back after the
# second kill. The second kill lands while the new process starts: Qt's connection to the
# first bus back can be dead before the application's own reaches the next.
rows=(
    "restarted once|yes|none|yes"
    "killed again at once|yes|0|yes"
    "killed again after 10 ms|yes|0.01|yes"
    "killed again after 20 ms|yes|0.02|yes"
    "killed again after 30 ms|yes|0.03|yes"
    "killed again after 40 ms|yes|0.04|yes"
    "killed again after 50 ms|yes|0.05|yes"
    "killed again after 100 ms|yes|0.1|yes"
    "killed again after 300 ms|yes|0.3|yes"
    "killed again and never back|yes|0.02|no"
    "no bus for the first second|no|1|yes"
)
row_number=0
for row in "${rows[@]}"; do
    IFS='|' read -r name bus_first pause back <<<"$row"
    row_number=$((row_number + 1))
    bus_socket=$work/bus-$row_number
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$bus_socket
    [ "$bus_first" = yes ] && start_bus
    QT_QPA_PLATFORM=xcb "$bin/quillet-app" >"$app_log" 2>&1 &
    app_pid=$!
    if [ "$bus_first" = yes ]; then
        wait_until 30 served || { fail "$name: quillet-app was not served at the start"; kill -KILL "$app_pid"; app_pid=; kill_bus; continue; }
        wait_until 10 shortcut_held || fail "$name: quillet-app did not take its shortcut"
        kill_bus
        start_bus
        if [ "$pause" != none ]; then
            wait_for_restart || fail "$name: quillet-app did not start again"
            sleep "$pause" # the fault itself: how soon after the restart the bus goes again
            kill_bus
            [ "$back" = yes ] && start_bus
        fi
    else
        sleep "$pause" # the fault: the bus comes only once the application has looked for it
        start_bus
    fi

    if [ "$back" = yes ]; then
        # The bus is back for good: the application is served again, or has ended and let
        # its shortcuts go, so that the user's next start takes them.
        wait_until 40 served_or_ended_free ||
            fail "$name: quillet-app is neither served nor ended with its shortcuts free (alive: $(app_ended && echo no || echo yes), connections: $(connections))"
    else
        wait_until 40 app_ended || { fail "$name: quillet-app lives on without a bus"; ps -o pid,stat,etime,args -p "$app_pid"; }
        shortcut_free || fail "$name: the shortcut is still held after quillet-app ended"
    fi

    if app_ended; then
        wait "$app_pid" 2>/dev/null
        status=$?
        [ "$status" -le 1 ] || fail "$name: quillet-app ended with status $status"
    else
        kill -TERM "$app_pid"
        wait_until 20 app_ended || fail "$name: quillet-app did not end on SIGTERM"
        wait "$app_pid" 2>/dev/null
        status=$?
        [ "$status" -eq 0 ] || fail "$name: quillet-app ended on SIGTERM with status $status"
    fi
    grep -E "malloc|corrupted|double free|Aborted|AddressSanitizer|runtime error" "$app_log" &&
        fail "$name: the process broke"
    app_pid=
    [ -n "$bus_pid" ] && kill_bus
done

# The accessibility bus is there but stuck (its process stopped, not gone): the launcher that
# tells its address, or the bus itself. Every call is answered within its caller's patience,
# or the name is not taken: never a name that answers nobody.
if [ "$a11y_launcher" = yes ]; then
    for stuck in launcher bus; do
        name="the accessibility $stuck stopped"
        row_number=$((row_number + 1))
        bus_socket=$work/bus-$row_number
        export DBUS_SESSION_BUS_ADDRESS=unix:path=$bus_socket
        start_bus
        # Asking for its address makes the launcher start the accessibility bus.
        timeout 10 gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
            --method org.a11y.Bus.GetAddress >/dev/null
        launcher=$(pid_of_name org.a11y.Bus)
        stopped=$launcher
        [ "$stuck" = bus ] && stopped=$(pgrep -P "$launcher" dbus-daemon)
        if [ -z "$stopped" ]; then
            fail "$name: no accessibility $stuck to stop"
            kill_bus
            continue
        fi
        kill -STOP "$stopped"
        QT_QPA_PLATFORM=xcb "$bin/quillet-app" >"$app_log" 2>&1 &
        app_pid=$!
        if wait_until 30 name_owned; then
            # Qt's accessibility support would wait on the stuck bus once the event loop runs:
            # calls for a few seconds find it answering.
            until_seconds=$((SECONDS + 3))
            while [ $SECONDS -lt $until_seconds ]; do
                answers || { fail "$name: quillet-app took its name and did not answer"; break; }
                sleep 0.2
            done
        else
            kill -0 "$app_pid" 2>/dev/null || fail "$name: quillet-app ended"
        fi
        kill -CONT "$stopped"
        stopped=
        kill -TERM "$app_pid"
        wait_until 20 app_ended || fail "$name: quillet-app did not end on SIGTERM"
        wait "$app_pid" 2>/dev/null
        app_pid=
        kill_bus
    done
else
    echo "The machine has no accessibility bus launcher: the stuck accessibility bus is not tried"
fi

[ $failures -eq 0 ] && echo "All bus restart checks passed"
exit $((failures > 0))
