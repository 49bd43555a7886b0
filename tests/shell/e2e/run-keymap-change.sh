#!/usr/bin/env bash
# The expand shortcut follows the keyboard map: once another map is loaded (by setxkbmap, or
# compiled and loaded by xkbcomp), the E key sits on another keycode, and Ctrl+Alt+E, pressed
# where the key now sits, still expands the line before the caret in Mousepad.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- run-keymap-change.sh BIN
set -uo pipefail

bin=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../AppSession.sh"
reader() { timeout 60 /usr/bin/python3 "$here/atspi_text.py" "$@"; }

gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null
export NO_AT_BRIDGE=0 GTK_MODULES=gail:atk-bridge
openbox >/dev/null 2>&1 & pids+=($!)
wait_until 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || { fail "no window manager"; exit 1; }
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"
QT_LOGGING_RULES="quillet.expansion.debug=true;quillet.shortcuts.debug=true" "$bin/quillet-app" >"$app_log" 2>&1 &
pids+=($!)
wait_until 30 name_owned || { fail "quillet-app did not take its D-Bus name"; exit 1; }
expected=$("$bin/quillet" expand --extension swift 'for item in items')
e_keycode() { xmodmap -pke | awk '$4 == "e" { print $2; exit }'; }

# Each row: how the map is loaded, and what it is.
rows=(
    "setxkbmap us dvorak"
    "setxkbmap -layout us -variant colemak -print | xkbcomp -w0 - $DISPLAY"
    "setxkbmap us"
)
for row in "${rows[@]}"; do
    before=$(e_keycode)
    sh -c "$row" || { fail "$row failed"; continue; }
    [ "$row" = "setxkbmap us" ] || [ "$(e_keycode)" != "$before" ] || fail "$row left E on keycode $before"
    printf 'for item in items' >"$work/main.swift"
    mousepad --disable-server "$work/main.swift" >>"$work/editors.log" 2>&1 &
    editor=$!
    if wait_until 30 sh -c "/usr/bin/python3 '$here/atspi_text.py' read | grep -q '\"title\": \"[^\"]*main.swift'" &&
        xdotool key --delay 20 ctrl+End && reader before-caret 'for item in items' 10000 >/dev/null; then
        xdotool key --delay 20 ctrl+alt+e
        reader expect "$expected" 10000 >"$work/read.json" ||
            fail "after '$row' (E on keycode $(e_keycode)) Ctrl+Alt+E did not expand: $(cat "$work/read.json")"
    else
        fail "after '$row' the editor's text never had the focus"
    fi
    kill "$editor"; wait "$editor" 2>/dev/null
done

[ "$failures" -eq 0 ] && echo "Ctrl+Alt+E expanded after every change of the keyboard map"
exit $((failures > 0))
