#!/usr/bin/env bash
# End to end: the real quillet-app's D-Bus methods answer as the command line does, and a
# second start hands its files to the running application. (The editors: editor_cases.py.)
# Runs inside
#   xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- run-end-to-end.sh BIN
# BIN holds quillet and quillet-app. Every wait has a deadline; a failure prints what was read.
set -uo pipefail

bin=$1

source "$(dirname "$0")/../AppSession.sh"

# JSON of the expected text and caret, as the command line computes it, with U+FEFF written
# as gdbus prints it.
expected() { "$bin/quillet" expand --extension swift "$1" | LC_ALL=C sed 's/\xef\xbb\xbf/\\ufeff/g'; }

# A user who has been through the introduction.
mkdir -p "$XDG_CONFIG_HOME/orvanta"
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"

"$bin/quillet-app" >"$app_log" 2>&1 & pids+=($!)
app_pid=$!
wait_until 20 name_owned com.orvanta.Quillet || { fail "quillet-app did not take its D-Bus name"; exit 1; }

# The D-Bus method answers as the command line does, also for a text that begins with U+FEFF
# or holds one (the text given is the text expanded).
for text in "for item in items" "😀 for item in items" $'\xef\xbb\xbffor item in items' $'a\xef\xbb\xbf for item in items'; do
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

# The global actions by name, as a desktop's own shortcut runs them: `quillet action` and a second
# start with the action reach the running application; an unknown action is refused.
editor_window() {
    local window
    for window in $(xdotool search --onlyvisible --classname quillet-app 2>/dev/null); do
        case "$(xdotool getwindowname "$window")" in Quillet | *" — Quillet") return 0 ;; esac
    done
    return 1
}
editor_window && fail "the editor window showed before anything asked for it"
timeout 20 "$bin/quillet" action show-editor || fail "quillet action show-editor did not exit 0"
wait_until 20 editor_window || fail "quillet action show-editor did not show the editor window"
timeout 20 "$bin/quillet-app" --action toggle-browser || fail "quillet-app --action toggle-browser did not exit 0"
timeout 20 "$bin/quillet" action paste 2>/dev/null
[ $? -eq 64 ] || fail "quillet action paste did not end with the usage status"
gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
    --method org.freedesktop.Application.ActivateAction paste '[]' '{}' >/dev/null 2>&1 &&
    fail "ActivateAction answered an unknown action as done"

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

if [ $failures -gt 0 ]; then
    echo "$failures end-to-end check(s) failed"
    exit 1
fi
echo "end-to-end: all checks passed"
