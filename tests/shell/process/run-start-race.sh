#!/usr/bin/env bash
# A start that races the previous instance's death: the name is still owned when quillet-app
# starts, and its owner ends without answering the hand-over (tests/shell/process/dying_owner.py).
# One row per kind of hand-over: the new instance takes the name and serves (and imports the
# files it was given). Runs inside `dbus-run-session -- run-start-race.sh BIN`.
set -uo pipefail

bin=$1
source "$(dirname "$0")/../AppSession.sh"
python=/usr/bin/python3
[ -x "$python" ] || python=python3
library=$XDG_DATA_HOME/com.orvanta.Quillet/bundles.qlbundles
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"
printf '{"name": "Handed over at the race", "expanders": []}' >"$work/race.qlbundle"

owner_is() {
    local unique
    unique=$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.GetConnectionUnixProcessID com.orvanta.Quillet) || return 1
    [ "$unique" = "(uint32 $1,)" ]
}

# name | the new start's arguments | a bundle the library must hold afterwards
rows=(
    "a start with no files|--show-editor|"
    "a start with a file to import|$work/race.qlbundle|Handed over at the race"
)

for row in "${rows[@]}"; do
    IFS='|' read -r name arguments bundle <<<"$row"
    "$python" "$(dirname "$0")/dying_owner.py" >"$work/owner.out" 2>&1 &
    owner_pid=$!
    pids+=("$owner_pid")
    wait_until 10 grep -q owned "$work/owner.out" || { fail "$name: the dying owner did not take the name"; continue; }
    QT_QPA_PLATFORM=offscreen "$bin/quillet-app" $arguments >"$app_log" 2>&1 &
    app_pid=$!
    pids+=("$app_pid")
    wait_until 30 owner_is "$app_pid" || fail "$name: quillet-app did not take the name of the instance that went away"
    kill -0 "$app_pid" 2>/dev/null || fail "$name: quillet-app ended"
    timeout 5 gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
        --method org.freedesktop.DBus.Peer.Ping >/dev/null || fail "$name: quillet-app does not serve"
    if [ -n "$bundle" ]; then
        wait_until 20 grep -q "\"$bundle\"" "$library" || fail "$name: the file was not imported"
    fi
    kill -TERM "$app_pid"
    wait "$app_pid"
    status=$?
    [ "$status" -eq 0 ] || fail "$name: status $status at its end"
done

[ $failures -eq 0 ] && echo "Every start took the place of the instance that went away"
exit $((failures > 0))
