#!/usr/bin/env bash
# The real quillet-app's pop-ups (the bundle list's menu, the languages chooser, a variable's
# popover) are found by an independent AT-SPI reader among the application's windows while
# they are open. Runs inside
#   xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- run-popups.sh BIN [PYTHON]
# BIN holds quillet and quillet-app; PYTHON has python3-gi. Every wait has a deadline.
set -uo pipefail

bin=$1
python=${2:-/usr/bin/python3}
here=$(dirname "$0")

source "$here/../AppSession.sh"

gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null
openbox >/dev/null 2>&1 & pids+=($!)
wait_until 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    { echo "FAIL: openbox did not start"; exit 1; }

printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"
mkdir -p "$XDG_DATA_HOME/com.orvanta.Quillet"
cat >"$XDG_DATA_HOME/com.orvanta.Quillet/bundles.qlbundles" <<'JSON'
{"bundles": [{"name": "Greetings", "description": "", "is_enabled": true, "supported_languages": ["any"],
  "expanders": [{"name": "greet", "description": "", "identifier": "", "pattern": "${who:word}",
                 "output_template": "Hello ${who}", "is_enabled": true, "supported_languages": ["any"]}]}]}
JSON

"$bin/quillet" >"$app_log" 2>&1 & pids+=($!)
wait_until 20 name_owned || { fail "quillet-app did not take its D-Bus name"; exit 1; }
window=
wait_until 20 sh -c 'xdotool search --onlyvisible --classname quillet-app' &&
    window=$(xdotool search --onlyvisible --classname quillet-app | head -n 1)
[ -n "$window" ] || { fail "the editor window did not open"; exit 1; }
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus --sync "$window"

"$python" "$here/popups_reader.py" || fail "a pop-up was missing from the accessibility tree"
[ $failures -eq 0 ] && echo "every pop-up reaches assistive technologies"
exit $((failures > 0))
