#!/usr/bin/env bash
# End to end: the real quillet-app expands what is typed in Mousepad and in a Qt fixture
# editor on Ctrl+Alt+E, read back over AT-SPI. Runs inside
#   xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- run-end-to-end.sh BIN PROBE FIXTURE
# BIN holds quillet and quillet-app. Every wait has a deadline; a failure prints what was read.
# With QUILLET_E2E_MEASURE=1 it also prints the speed figures.
set -uo pipefail

bin=$1
probe_program=$2
fixture=$3

# The probe with a deadline of its own, in case an application stops answering.
probe() { timeout 40 "$probe_program" "$@"; }

work=$(mktemp -d)
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export NO_AT_BRIDGE=0 GTK_MODULES=gail:atk-bridge
app_log=$work/quillet-app.log
pids=()

cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    echo "--- quillet-app log:"; tail -n 20 "$app_log"
    failures=$((failures + 1))
}

# Polls a command until it succeeds or the deadline (seconds) passes.
wait_until() {
    local seconds=$1; shift
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.05
    done
}

name_owned() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner "$1" | grep -q true
}

# The number of finished presses of the expand shortcut.
presses() { grep -c '^quillet.expansion: expand shortcut:' "$app_log" || true; }

# JSON of the expected text and caret, as the command line computes it.
expected() { "$bin/quillet" expand --extension swift "$1"; }

json_string() { printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }

gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null ||
    { echo "FAIL: the accessibility bus does not answer"; exit 1; }

openbox >/dev/null 2>&1 & pids+=($!)
wait_until 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    { echo "FAIL: openbox did not start"; exit 1; }

# A user who has been through the introduction: its window would take the focus from the editors.
mkdir -p "$XDG_CONFIG_HOME/orvanta"
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"

QT_LOGGING_RULES="quillet.expansion.debug=true" "$bin/quillet-app" >"$app_log" 2>&1 & pids+=($!)
app_pid=$!
wait_until 20 name_owned com.orvanta.Quillet || { fail "quillet-app did not take its D-Bus name"; exit 1; }

# Clears the focused editor's text.
clear_text() {
    xdotool key --delay 20 ctrl+a BackSpace
    probe expect '{"text":""}' 10000 || fail "$1: the text was not cleared"
}

# Types LINE into the focused editor, presses the shortcut and checks the text and caret.
expand_case() {
    local editor=$1 line=$2 want
    want=$(expected "$line") || want="{\"text\":\"$(json_string "$line")\",\"cursorPosition\":${#line}}"
    # xdotool types a character missing from the keymap by remapping a spare key for a
    # moment, which an editor may read too late; type again when the text came out wrong.
    local attempt typed=0
    for attempt in 1 2 3; do
        clear_text "$editor"
        xdotool type --delay $((15 * attempt)) -- "$line"
        if probe expect "{\"text\":\"$(json_string "$line")\"}" 5000; then typed=1; break; fi
    done
    [ $typed = 1 ] || { fail "$editor: typing '$line'"; return; }
    local before; before=$(presses)
    xdotool key --delay 20 ctrl+alt+e
    wait_until 10 sh -c "[ \$(grep -c '^quillet.expansion: expand shortcut:' '$app_log') -gt $before ]" ||
        { fail "$editor: quillet-app did not take the shortcut for '$line'"; return; }
    if probe expect "$want" 10000; then
        echo "ok: $editor: '$line' ($(grep '^quillet.expansion' "$app_log" | tail -n 1))"
    else
        fail "$editor: '$line' should read $want"
    fi
}

run_editor_cases() {
    local editor=$1
    expand_case "$editor" "for item in items"
    expand_case "$editor" "😀 for item in items"
    # Nothing matches: the text stays as typed.
    expand_case "$editor" "zzqq nothing"
}

# Mousepad, on a file main.swift, with a fresh HOME (no session-restore dialog).
: >"$work/main.swift"
mousepad --disable-server "$work/main.swift" >"$work/mousepad.log" 2>&1 & pids+=($!)
if probe expect '{"text":"","title":"main.swift"}' 30000; then
    run_editor_cases mousepad
else
    fail "Mousepad's text never had the focus"; cat "$work/mousepad.log"
fi
kill "${pids[-1]}" 2>/dev/null

# The Qt fixture editor.
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$fixture" "main.swift - Fixture" >"$work/fixture.log" 2>&1 & pids+=($!)
if probe expect '{"text":"","title":"main.swift - Fixture"}' 30000; then
    run_editor_cases fixture
else
    fail "the fixture editor's text never had the focus"; cat "$work/fixture.log"
fi

# The D-Bus method answers as the command line does.
for text in "for item in items" "😀 for item in items"; do
    want=$(expected "$text")
    got=$(gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
        --method com.orvanta.Quillet.ExpandAsJSON "$text" "{'extension': <'swift'>}" |
        sed -e "s/^('//" -e "s/',)\$//" -e 's/\\\\/\\/g')
    [ "$got" = "$want" ] || fail "ExpandAsJSON '$text' gave $got, quillet expand $want"
    dict=$(gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
        --method com.orvanta.Quillet.Expand "$text" "{'extension': <'swift'>}")
    caret=$(printf '%s' "$want" | sed 's/.*"cursorPosition":\([0-9]*\).*/\1/')
    case "$dict" in *"'cursor_position': <$caret>"*) ;; *) fail "Expand '$text' gave $dict, wanted caret $caret" ;; esac
done
none=$(gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
    --method com.orvanta.Quillet.Expand "zzqq" "{}")
[ "$none" = "(@a{sv} {},)" ] || fail "Expand of nothing gave $none"

# A second quillet-app hands its files over and exits; `quillet FILE` does the same.
cat >"$work/Greeting.qlbundle" <<'BUNDLE'
{"name":"Greeting","description":"","is_enabled":true,"supported_languages":["any"],
 "expanders":[{"name":"Hello","description":"","identifier":"","pattern":"e2ehello","output_template":"Hello from the test#",
               "is_enabled":true,"supported_languages":["any"]}]}
BUNDLE
timeout 20 "$bin/quillet-app" || fail "a second quillet-app did not exit 0"
timeout 20 "$bin/quillet" "$work/Greeting.qlbundle" || fail "quillet FILE did not hand the file over"
kill -0 "$app_pid" 2>/dev/null || fail "the first quillet-app is gone"
imported() {
    gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
        --method com.orvanta.Quillet.ExpandAsJSON "e2ehello" "{}" | grep -q 'Hello from the test'
}
wait_until 10 imported || fail "the bundle handed over was not imported"
# The application saved it to the library the command line reads.
case "$("$bin/quillet" expand e2ehello)" in
    *'Hello from the test'*) ;;
    *) fail "quillet expand does not see the bundle the application imported" ;;
esac

if [ "${QUILLET_E2E_MEASURE:-}" = 1 ]; then
    echo "--- speed (Qt fixture editor)"
fi

if [ $failures -gt 0 ]; then
    echo "$failures end-to-end check(s) failed"
    exit 1
fi
echo "end-to-end: all checks passed"
