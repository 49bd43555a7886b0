#!/usr/bin/env bash
# Without a tray (no panel runs), the real quillet-app stays reachable: starting Quillet
# again, or from the application menu (`quillet` alone), opens the editor window, and its
# menu bar quits the application from the keyboard. Runs inside
#   xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- run-reachability.sh BIN
# BIN holds quillet and quillet-app. Every wait has a deadline.
set -uo pipefail

bin=$1

source "$(dirname "$0")/../AppSession.sh"
# The editor window: titled by the selected element and the application ("Swift Basic —
# Quillet"), or "Quillet" alone. The full title is the window's _NET_WM_NAME, which
# getwindowname reads; `search --name` would see only the plain WM_NAME.
editor_window() {
    local window
    for window in $(xdotool search --onlyvisible --classname quillet-app 2>/dev/null); do
        case "$(xdotool getwindowname "$window")" in
            Quillet | *" — Quillet") echo "$window"; return 0 ;;
        esac
    done
    return 1
}
gone() { ! kill -0 "$1" 2>/dev/null; }

openbox >/dev/null 2>&1 & pids+=($!)
wait_until 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    { echo "FAIL: openbox did not start"; exit 1; }

# A user who has been through the introduction.
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"

# Started as at login: no window.
"$bin/quillet-app" >"$app_log" 2>&1 & pids+=($!)
app_pid=$!
wait_until 20 name_owned || { fail "quillet-app did not take its D-Bus name"; exit 1; }
editor_window && fail "the start at login opened a window"

# Started again from the application menu: the running instance shows its editor window.
timeout 20 "$bin/quillet" || fail "a second start did not exit 0"
kill -0 "$app_pid" 2>/dev/null || fail "the first quillet-app is gone"
if wait_until 20 editor_window; then
    window=$(editor_window)
    echo "editor window: $(xdotool getwindowname "$window")"
    # Its menu bar holds Quit, on the keyboard.
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus --sync "$window"
    xdotool key --delay 20 ctrl+q
    wait_until 20 gone "$app_pid" || fail "Ctrl+Q in the editor window did not quit"
else
    fail "starting Quillet again did not open the editor window"
fi
gone "$app_pid" && { wait "$app_pid" 2>/dev/null || fail "quillet-app did not end normally"; }
wait_until 10 sh -c '! gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner com.orvanta.Quillet | grep -q true' ||
    fail "the D-Bus name outlived the application"

# The first start from the application menu opens the editor window too.
"$bin/quillet" >>"$app_log" 2>&1 & pids+=($!)
app_pid=$!
wait_until 20 editor_window || fail "the first start from the application menu did not open the editor window"
xdotool windowactivate --sync "$(editor_window)" >/dev/null 2>&1
xdotool key --delay 20 ctrl+q
wait_until 20 gone "$app_pid" || fail "Ctrl+Q did not quit the second time"

if [ $failures -gt 0 ]; then
    echo "$failures reachability check(s) failed"
    exit 1
fi
echo "Quillet is reachable without a tray"
