#!/usr/bin/env bash
# Cold presses in a slowed process: quillet-app is started afresh again and again under
# `strace -f`, which stops every thread at each system call and so widens any window between
# threads that share a connection, with two Mousepad windows on the accessibility bus. Each
# time, the first press of the expand shortcut after the start expands the line before the
# caret of a fresh window. The application must never abort, and every press must expand.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- run-cold-presses.sh BIN [STARTS]
set -uo pipefail

bin=$1
starts=${2:-15}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../AppSession.sh"
reader() { timeout 60 /usr/bin/python3 "$here/atspi_text.py" "$@"; }
editor() { mousepad --disable-server "$work/$1" >>"$work/editors.log" 2>&1; }
# Waits until the window on FILE has the focus, then puts its caret at the end and waits for TEXT
# before it. A window that takes its keys late gets them again.
focus_end() {
    wait_until 30 sh -c "/usr/bin/python3 '$here/atspi_text.py' read | grep -q '\"title\": \"[^\"]*$1'" || return 1
    local deadline=$((SECONDS + 30))
    until [ $SECONDS -ge $deadline ]; do
        xdotool key --delay 20 ctrl+End
        reader before-caret "$2" 3000 >/dev/null 2>&1 && return 0
    done
    return 1
}

gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null
export NO_AT_BRIDGE=0 GTK_MODULES=gail:atk-bridge
openbox >/dev/null 2>&1 & pids+=($!)
wait_until 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || { fail "no window manager"; exit 1; }
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"
# Another editor that stays open: one more application, and its own connection, on the bus.
printf 'let other = 1' >"$work/other.swift"
editor other.swift & pids+=($!)
# Shown before the first window of the loop, which is then the one with the focus.
focus_end other.swift 'let other = 1' || { fail "the other window never showed"; exit 1; }

outcome() { grep -m1 '^quillet.expansion: expand shortcut:' "$app_log"; }
# The library is in place (the first start installs it) once the line expands over D-Bus.
library_ready() {
    gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
        --method com.orvanta.Quillet.ExpandAsJSON 'for item in items' "{'extension': <'swift'>}" | grep -q 'items {'
}
for start in $(seq "$starts"); do
    printf 'for item in items' >"$work/main.swift"
    editor main.swift &
    editor=$!
    if ! focus_end main.swift 'for item in items'; then
        fail "start $start: the editor's text never had the focus"
        kill "$editor"; wait "$editor" 2>/dev/null
        continue
    fi
    # The leak checker of a sanitizer build cannot work under ptrace.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        QT_LOGGING_RULES="quillet.expansion.debug=true" strace -f -qq -o /dev/null "$bin/quillet-app" >"$app_log" 2>&1 &
    traced=$!
    if wait_until 60 name_owned && wait_until 30 library_ready; then
        xdotool key --delay 20 ctrl+alt+e
        wait_until 30 outcome || fail "start $start: the press never ended"
        case "$(outcome)" in
            *"expand shortcut: expanded"*) ;;
            *) fail "start $start: the press did not expand: $(outcome)" ;;
        esac
    else
        fail "start $start: quillet-app did not take its D-Bus name or has no library"
    fi
    app=$(pgrep -P "$traced" -x quillet-app)
    [ -n "$app" ] && kill -TERM "$app"
    wait "$traced"
    status=$?
    [ "$status" -eq 0 ] || fail "start $start: quillet-app ended with status $status"
    grep -qE 'assertion|Aborted|Segmentation' "$app_log" && fail "start $start: quillet-app broke"
    kill "$editor"; wait "$editor" 2>/dev/null
done

[ "$failures" -eq 0 ] && echo "all $starts cold presses expanded, and quillet-app never aborted"
exit $((failures > 0))
