#!/usr/bin/env bash
# The running quillet-app while its session bus restarts, once or again right after: whatever
# happens, the application is served on the bus again, or it has ended and let its global
# shortcuts go (another X client can grab Ctrl+Alt+E); it never lives on unreachable, and it
# always ends on SIGTERM. Each row runs on a private bus of the tests' own configuration,
# started and killed here. Runs inside `xvfb-run … dbus-run-session -- run-bus-restarts.sh BIN`
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

cleanup() {
    [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
    [ -n "$bus_pid" ] && kill -KILL "$bus_pid" 2>/dev/null
    rm -rf "$work"
}

start_bus() {
    dbus-daemon --config-file="$QUILLET_TEST_BUS_CONFIG" --nofork --address="unix:path=$bus_socket" >/dev/null 2>&1 &
    bus_pid=$!
    wait_until 10 test -S "$bus_socket"
}

kill_bus() {
    kill -KILL "$bus_pid" 2>/dev/null
    wait "$bus_pid" 2>/dev/null
    rm -f "$bus_socket"
    bus_pid=
}

shortcut_free() { /usr/bin/python3 "$here/grab_shortcut.py"; }
shortcut_held() { /usr/bin/python3 "$here/grab_shortcut.py"; [ $? -eq 1 ]; }
served() {
    timeout 5 gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
        --method com.orvanta.Quillet.Expand 'for item in items' '{}' | grep -q cursor_position
}
# The application starts again in its own process once the bus is back: seen the moment its
# new program runs, marked in its environment.
wait_for_restart() {
    local deadline=$((SECONDS + 20))
    until grep -qa QUILLET_RESTARTED "/proc/$app_pid/environ" 2>/dev/null; do
        [ $SECONDS -ge $deadline ] && return 1
    done
    return 0
}
app_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
served_or_ended_free() {
    if app_ended; then shortcut_free; else served && shortcut_held; fi
}

# Rows: name | whether the bus is there when the app starts | the pause after the
# application's restart before the bus is killed again (none: it is not), or without a bus
# at the start, before the bus starts | whether a bus comes back after the second kill.
rows=(
    "restarted once|yes|none|yes"
    "killed again at once|yes|0|yes"
    "killed again after 20 ms|yes|0.02|yes"
    "killed again after 50 ms|yes|0.05|yes"
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
            fail "$name: quillet-app is neither served nor ended with its shortcuts free (alive: $(app_ended && echo no || echo yes))"
    else
        wait_until 40 app_ended || fail "$name: quillet-app lives on without a bus"
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
    grep -qE 'malloc|corrupted|double free|Aborted|AddressSanitizer|runtime error' "$app_log" &&
        fail "$name: the process broke"
    app_pid=
    [ -n "$bus_pid" ] && kill_bus
done

[ $failures -eq 0 ] && echo "All bus restart checks passed"
exit $((failures > 0))
