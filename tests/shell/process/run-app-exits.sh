#!/usr/bin/env bash
# How the real quillet-app ends, one row per way a session ends or never begins: the exit
# status, no abort, and the edit that waited for its save on disk afterwards (also when a sync
# tool put an older version in place after the save). Each running row
# has an X server of its own (so that it can end it) and plays both sounds first; the edit is a
# bundle switched off in the editor window, within the half second its save waits. Runs inside
# `dbus-run-session -- run-app-exits.sh BIN` (BIN holds quillet and quillet-app).
set -uo pipefail

bin=$1
source "$(dirname "$0")/../AppSession.sh"
library=$XDG_DATA_HOME/com.orvanta.Quillet/bundles.qlbundles
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"

# name | how it ends | expected status | whether an edit waits
rows=(
    "the X server ends after sounds|x-term|1|edit"
    "the X server is killed after sounds|x-kill|1|edit"
    "SIGTERM after sounds|app-term|0|edit"
    "SIGHUP after sounds|app-hup|0|edit"
    "SIGTERM after a sync tool renamed in an older version|app-term-synced|0|edit"
    "SIGTERM with the library's lock held|app-term-locked|0|edit"
    "Quit with the library's lock held|app-quit-locked|0|edit"
    "no X server at DISPLAY|no-x|1|"
    "no Wayland compositor at WAYLAND_DISPLAY|no-wayland|1|"
)

lock_file=$(dirname "$library")/.bundles.qlbundles.lock
# The longest the application may take to end while another program holds the library's lock:
# the write under way waits App::lockWaitAtEnd for it, then the end's own write waits as long
# again before it keeps the change beside the library, and the end itself follows.
locked_end_seconds=6

x_pid=
start_x() {
    rm -f "$work/display"
    # -noreset: a start after the application ended finds the server answering, not resetting.
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
    x_pid=$!
    pids+=("$x_pid")
    wait_until 20 test -s "$work/display" || return 1
    export DISPLAY=:$(cat "$work/display")
}

lock_taken() { ! flock -n "$lock_file" true; }
unsaved_files() { ls "$(dirname "$library")"/bundles.qlbundles.*.unsaved 2>/dev/null; }
edit_on_disk() { [ "$(first_bundle_enabled)" != "$1" ]; }

# "True" or "False": whether the first bundle of the library file is switched on.
first_bundle_enabled() {
    python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["bundles"][0].get("is_enabled", True))' "$library"
}

call() {
    timeout 20 gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
        --method com.orvanta.Quillet.Expand "$1" '{}' >/dev/null
}

# Switches the selected (first) bundle in the editor window and makes sure the change is not on
# disk yet; the D-Bus call behind the key press returns once the application has taken it.
make_waiting_edit() {
    local window before
    window=$(timeout 20 xdotool search --sync --onlyvisible --classname quillet-app | head -1)
    [ -n "$window" ] || return 1
    timeout 10 xdotool windowfocus --sync "$window" 2>/dev/null
    for attempt in 1 2 3 4 5; do
        before=$(first_bundle_enabled)
        bytes=$(cksum <"$library")
        xdotool key space
        call 'for item in items'
        # Written already (a slow turn): the next press makes another waiting edit. The file's
        # checksum answers quicker than a busy machine starts python.
        [ "$(cksum <"$library")" = "$bytes" ] && { echo "$before"; return 0; }
    done
    return 1
}

for row in "${rows[@]}"; do
    IFS='|' read -r name ending want_status edit <<<"$row"
    app_env=()
    case $ending in
        no-x) app_env=(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:99) ;;
        no-wayland) app_env=(env -u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=wayland-quillet-test) ;;
        *)
            start_x || { fail "$name: no X server started"; continue; }
            app_env=(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
            ;;
    esac
    "${app_env[@]}" "$bin/quillet-app" --show-editor >"$app_log" 2>&1 &
    app_pid=$!
    before=
    if [ -n "$edit" ]; then
        wait_until 30 name_owned || fail "$name: quillet-app did not take its D-Bus name"
        call 'for item in items' && call 'nothing expands this' || fail "$name: Expand did not answer"
        before=$(make_waiting_edit) || fail "$name: no edit could be made to wait for its save"
        holder=
        case $ending in *-synced)
            # A sync tool copies the version before the edit, adds a bundle of its own, and
            # renames its copy in after the edit's save, just before the end.
            cp "$library" "$work/synced"
            wait_until 10 edit_on_disk "$before" || fail "$name: the edit was not saved"
            python3 - "$work/synced" <<'PY'
import json, sys
library = json.load(open(sys.argv[1]))
library["bundles"].append({"name": "Synced elsewhere", "expanders": []})
json.dump(library, open(sys.argv[1], "w"))
PY
            mv "$work/synced" "$library"
            ;;
        esac
        case $ending in *-locked)
            setsid flock -o "$lock_file" sleep 1000 &
            holder=$!
            pids+=("$holder")
            wait_until 10 lock_taken || fail "$name: the lock could not be taken"
            ;;
        esac
        case $ending in
            x-term) kill -TERM "$x_pid" ;;
            x-kill) kill -KILL "$x_pid" ;;
            app-term | app-term-locked | app-term-synced) kill -TERM "$app_pid" ;;
            app-hup) kill -HUP "$app_pid" ;;
            app-quit-locked) xdotool key --delay 20 ctrl+q ;;
        esac
    fi
    limit=30
    case $ending in *-locked) limit=$locked_end_seconds ;; esac
    ends_at=$(($(date +%s%N) + limit * 1000000000))
    while kill -0 "$app_pid" 2>/dev/null && [ "$(date +%s%N)" -lt $ends_at ]; do sleep 0.05; done
    if kill -0 "$app_pid" 2>/dev/null; then
        fail "$name: quillet-app did not end within ${limit} s"
        kill -KILL "$app_pid"
    fi
    wait "$app_pid"
    status=$?
    [ "$status" -eq "$want_status" ] || fail "$name: status $status, expected $want_status"
    grep -qE 'malloc|corrupted|double free|bad_alloc|Aborted|terminate called' "$app_log" &&
        fail "$name: the process broke at its end"
    case $ending in no-*) grep -q 'no graphical session' "$app_log" || fail "$name: no message" ;; esac
    case $ending in *-locked)
        # Not written under another's lock, but kept; the next start takes it in.
        edit_on_disk "$before" && fail "$name: the library was written under another program's lock"
        [ -n "$(unsaved_files)" ] || fail "$name: the waiting edit was not kept"
        kill -KILL -- "-$holder" 2>/dev/null
        wait "$holder" 2>/dev/null
        "${app_env[@]}" "$bin/quillet-app" >"$app_log" 2>&1 &
        app_pid=$!
        wait_until 30 name_owned || fail "$name: quillet-app did not start again"
        wait_until 10 edit_on_disk "$before" || fail "$name: the next start did not take the kept edit in"
        [ -z "$(unsaved_files)" ] || fail "$name: the kept edit was not removed once written"
        kill -TERM "$app_pid"
        wait "$app_pid"
        ;;
    esac
    if [ -n "$before" ] && ! edit_on_disk "$before"; then
        fail "$name: the edit that waited for its save was lost"
    fi
    case $ending in *-synced)
        grep -q 'Synced elsewhere' "$library" || fail "$name: the sync tool's bundle was lost"
        ;;
    esac
    [ -n "$x_pid" ] && kill "$x_pid" 2>/dev/null
    x_pid=
done

[ $failures -eq 0 ] && echo "All exits ended as expected"
exit $((failures > 0))
