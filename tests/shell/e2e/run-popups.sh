#!/usr/bin/env bash
# The real quillet-app's pop-ups reach an independent AT-SPI reader while they are open. Runs in
# `xvfb-run … dbus-run-session -- run-popups.sh BIN PYTHON` (BIN: quillet, quillet-app; PYTHON:
# with python3-gi).
set -uo pipefail
bin=$1
here=$(dirname "$0")
source "$here/../AppSession.sh"

gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null
openbox >/dev/null 2>&1 & pids+=($!)
wait_until 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"
mkdir -p "$XDG_DATA_HOME/com.orvanta.Quillet"
echo '{"bundles": [{"name": "B", "description": "", "is_enabled": true, "supported_languages": ["any"],
  "expanders": [{"name": "e", "description": "", "identifier": "", "pattern": "${who:word}", "output_template": "",
                 "is_enabled": true, "supported_languages": ["any"]}]}]}' >"$XDG_DATA_HOME/com.orvanta.Quillet/bundles.qlbundles"

"$bin/quillet" >"$app_log" 2>&1 & pids+=($!)
wait_until 20 sh -c 'xdotool search --onlyvisible --classname quillet-app' || { fail "no editor window"; exit 1; }
xdotool windowactivate --sync "$(xdotool search --onlyvisible --classname quillet-app | head -n 1)" >/dev/null 2>&1
"$2" "$here/popups_reader.py" || fail "a pop-up was missing from the accessibility tree"
exit $((failures > 0))
