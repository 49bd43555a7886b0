#!/usr/bin/env bash
# The running quillet-app under faults: no display, hostile bundle files and huge calls over
# D-Bus, a library file changed behind its back or that cannot be loaded, changes an earlier run
# kept beside it, a settings file that is a pipe, quitting after sounds played, messages carrying
# file descriptors, files handed over right before SIGTERM, and a session bus that restarts or
# goes away. Runs inside `dbus-run-session -- run-app-faults.sh BIN` (BIN holds quillet and
# quillet-app), offscreen but for the unloadable library's rows, which have an X server of their
# own. Every wait has a deadline; a failure prints the app's log.
set -uo pipefail

bin=$1
source "$(dirname "$0")/../AppSession.sh"
settings=$XDG_CONFIG_HOME/orvanta/Quillet.ini
library=$XDG_DATA_HOME/com.orvanta.Quillet/bundles.qlbundles
app_pid=

# The application is ended by the script itself, or killed here when a check gave up on it.
cleanup() {
    [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
    rm -rf "$work"
}

call() {
    timeout 20 gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
        --method "com.orvanta.Quillet.$1" "${@:2}"
}

start_app() {
    QT_QPA_PLATFORM=offscreen "$bin/quillet-app" >"$app_log" 2>&1 &
    app_pid=$!
    wait_until 30 name_owned || { fail "quillet-app did not take its D-Bus name"; return 1; }
}

# Ends the app as a logout does and checks that it ended cleanly, not by a signal.
stop_app() {
    kill -TERM "$app_pid"
    local deadline=$((SECONDS + 30))
    while kill -0 "$app_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
    if kill -0 "$app_pid" 2>/dev/null; then
        fail "$1: quillet-app did not end on SIGTERM"
    else
        wait "$app_pid"
        local status=$?
        [ "$status" -eq 0 ] || fail "$1: quillet-app ended with status $status"
        grep -qE 'malloc|corrupted|double free|Aborted' "$app_log" && fail "$1: the heap broke at exit"
    fi
    app_pid=
}

# 1. No display: a clear message and a status, no core dump.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/quillet-app" >"$app_log" 2>&1
status=$?
[ "$status" -eq 1 ] && grep -q 'no graphical session' "$app_log" ||
    fail "without a display: status $status"

printf '[General]\nDidOpenIntro=true\n' >"$settings"
start_app || exit 1

# 2. Sounds play at each expansion, the success sound or the error sound.
for text in 'for item in items' 'nothing expands this' 'if x'; do
    call Expand "$text" '{}' >/dev/null || fail "Expand '$text' did not answer"
done

# 3. A change made by hand while the app runs survives the app's next save.
wait_until 20 test -s "$library" || fail "no library was installed"
python3 - "$library" <<'PY'
import json, sys
path = sys.argv[1]
library = json.load(open(path))
library["bundles"].append({"name": "Added by hand", "expanders": []})
json.dump(library, open(path, "w"))
PY
printf '{"name": "Imported <h1>x</h1>", "expanders": []}' >"$work/good.qlbundle"
call OpenFiles "['$work/good.qlbundle']" >/dev/null
has_both() { grep -q 'Added by hand' "$library" && grep -q 'Imported <h1>x</h1>' "$library"; }
wait_until 20 has_both || fail "the hand-made change or the import is missing: $(grep -o '"name": "[^"]*"' "$library" | tail -3)"

# 4. Hostile files: each is refused and the app keeps answering; none nests alerts without end.
mkfifo "$work/pipe.qlbundle"
ln -s /dev/zero "$work/zero.qlbundle"
truncate -s 100G "$work/huge.qlbundle"
mkdir "$work/folder.qlbundle"
printf '{"name": 3}' >"$work/types.qlbundle"
hostile="['$work/pipe.qlbundle', '$work/zero.qlbundle', '$work/huge.qlbundle', '$work/folder.qlbundle', '$work/types.qlbundle', '$work/missing.qlbundle']"
for round in $(seq 1 50); do
    call OpenFiles "$hostile" >/dev/null || { fail "OpenFiles round $round did not answer"; break; }
done
call Expand 'if x' '{}' >/dev/null || fail "Expand did not answer after hostile files"

# 4b. Paths longer than the system allows name no file, and no one opens tens of thousands of
#     bundle files at once: the call is refused at once with an error, nothing is imported,
#     and the next Expand is answered as promptly as ever.
/usr/bin/python3 - "$work" <<'PY' || fail "over-long paths were not refused at once"
import sys
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
work = sys.argv[1]
def call(method, signature, arguments, timeout=5000):
    return bus.call_sync("com.orvanta.Quillet", "/com/orvanta/Quillet", method[0], method[1],
                         GLib.Variant(signature, arguments), None, Gio.DBusCallFlags.NONE, timeout, None)
# name, paths: one huge path, many long ones, one too long among good ones, and through the
# desktop's own interface.
rows = [
    ("one path of 1 MB", "OpenFiles", ["/" + "a" * 1000000]),
    ("60 paths of 100 KB", "OpenFiles", ["/" + "b" * 100000] * 60),
    ("one path just too long", "OpenFiles", [work + "/good.qlbundle", "/" + "c/" * 2048]),
    ("an address of 1 MB", "Open", ["file:///" + "d" * 1000000]),
    ("20,000 short paths", "OpenFiles", [work + "/missing-%d.qlbundle" % i for i in range(20000)]),
]
failed = 0
for name, method, paths in rows:
    try:
        if method == "Open":
            call(("org.freedesktop.Application", "Open"), "(asa{sv})", (paths, {}))
        else:
            call(("com.orvanta.Quillet", "OpenFiles"), "(as)", (paths,))
        print("%s: accepted" % name)
        failed += 1
    except GLib.Error as error:
        if "InvalidArgs" not in error.message:
            print("%s: %s" % (name, error.message))
            failed += 1
    try:
        reply = call(("com.orvanta.Quillet", "Expand"), "(sa{sv})", ("for item in items", {}), 5000)
        if "text" not in reply.unpack()[0]:
            print("%s: Expand gave %s" % (name, reply))
            failed += 1
    except GLib.Error as error:
        print("%s: the next Expand: %s" % (name, error.message))
        failed += 1
sys.exit(1 if failed else 0)
PY
kill -0 "$app_pid" 2>/dev/null || fail "quillet-app died on hostile files"

# 4c. A text far longer than any editor's line (tens of megabytes) holds no other caller: the
#     small calls made while it travels and is answered each come within about a second, and
#     the huge one is refused with a named error rather than expanded.
/usr/bin/python3 - <<'PY' || fail "a huge text held the other callers"
import threading, time
from gi.repository import Gio, GLib
def connection():
    address = Gio.dbus_address_get_for_bus_sync(Gio.BusType.SESSION, None)
    flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
    return Gio.DBusConnection.new_for_address_sync(address, flags, None, None)
def expand(bus, text, timeout):
    return bus.call_sync("com.orvanta.Quillet", "/com/orvanta/Quillet", "com.orvanta.Quillet", "ExpandAsJSON",
                         GLib.Variant("(sa{sv})", (text, {"extension": GLib.Variant("s", "swift")})), None,
                         Gio.DBusCallFlags.NONE, timeout, None)
line = "let x = items.map { $0 * 2 }; for i in 0..<n { total += i }; "
huge = line * ((32 << 20) // len(line)) + "for x in xs"
outcome = {}
def call_huge():
    try:
        expand(connection(), huge, 120000)
        outcome["huge"] = "expanded"
    except GLib.Error as error:
        outcome["huge"] = error.message
thread = threading.Thread(target=call_huge)
small = connection()
thread.start()
longest = 0.0
while thread.is_alive():
    started = time.monotonic()
    expand(small, "for x in xs", 60000)
    longest = max(longest, time.monotonic() - started)
    time.sleep(0.05)
thread.join()
failed = longest > 1.5
if failed:
    print("a small call waited %.1f s beside a text of 32 MiB" % longest)
if "com.orvanta.Quillet.Error.TextTooLong" not in outcome["huge"]:
    print("the text of 32 MiB: %s" % outcome["huge"][:200])
    failed = True
raise SystemExit(1 if failed else 0)
PY

stop_app "after sounds and hostile files"
grep -q 'Added by hand' "$library" || fail "the hand-made bundle was lost at quit"

# 4c. Changes an earlier run kept beside the library (a bundle it could not write) are taken in
#     once when the application and two plug-ins' `quillet expand` start together, round after
#     round; the file is removed once they are written.
kept_count() { grep -c '"Kept from an earlier run"' "$library"; }
for round in 1 2 3 4 5; do
    python3 - "$library" "$(dirname "$library")/bundles.qlbundles.1700000000.$round.unsaved" <<'PY'
import json, sys
library = json.load(open(sys.argv[1]))
changed = json.loads(json.dumps(library))
changed["bundles"].append({"name": "Kept from an earlier run", "expanders": []})
json.dump({"base": library, "library": changed}, open(sys.argv[2], "w"))
PY
    QT_QPA_PLATFORM=offscreen "$bin/quillet-app" >"$app_log" 2>&1 &
    app_pid=$!
    "$bin/quillet" expand 'if x' >/dev/null 2>&1 &
    first=$!
    "$bin/quillet" expand 'if x' >/dev/null 2>&1 &
    second=$!
    wait "$first" "$second"
    wait_until 30 name_owned || fail "round $round: quillet-app did not take its D-Bus name"
    [ "$(kept_count)" -eq "$round" ] || fail "round $round: the kept bundle is in the library $(kept_count) times"
    ls "$(dirname "$library")"/bundles.qlbundles.*.unsaved >/dev/null 2>&1 && fail "round $round: the kept file stayed"
    stop_app "round $round beside kept changes"
done
python3 - "$library" <<'PY'
import json, sys
library = json.load(open(sys.argv[1]))
library["bundles"] = [b for b in library["bundles"] if b["name"] != "Kept from an earlier run"]
json.dump(library, open(sys.argv[1], "w"))
PY

# 5. A settings file that is a pipe blocks neither program.
rm -f "$settings"
mkfifo "$settings"
timeout 10 "$bin/quillet" expand 'if x' >/dev/null || fail "quillet blocked on a settings pipe"
start_app && {
    call Expand 'if x' '{}' >/dev/null || fail "Expand did not answer with a settings pipe"
    stop_app "with a settings pipe"
}
rm -f "$settings"
ln -s /dev/zero "$settings"
timeout 10 "$bin/quillet" expand 'if x' >/dev/null || fail "quillet read /dev/zero as its settings"

rm -f "$settings"
printf '[General]\nDidOpenIntro=true\n' >"$settings"

# 6. Messages that carry file descriptors, far more than the usual limit of open files, do not
#    cut the application off the bus: each is refused, and the methods answer afterwards.
(ulimit -n 1024 && exec env QT_QPA_PLATFORM=offscreen "$bin/quillet-app") >"$app_log" 2>&1 &
app_pid=$!
wait_until 30 name_owned || fail "quillet-app did not take its D-Bus name under 1,024 files"
/usr/bin/python3 - <<'PY' || fail "the messages with descriptors were not refused"
import os
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
null = os.open("/dev/null", os.O_RDONLY)
for _ in range(300):
    descriptors = Gio.UnixFDList()
    for _ in range(16):
        descriptors.append(null)
    call = Gio.DBusMessage.new_method_call(
        "com.orvanta.Quillet", "/com/orvanta/Quillet", "com.orvanta.Quillet", "Expand")
    call.set_body(GLib.Variant("(sa{sv})", ("if x", {})))
    call.set_unix_fd_list(descriptors)
    call.set_flags(Gio.DBusMessageFlags.NO_REPLY_EXPECTED)
    bus.send_message(call, Gio.DBusSendMessageFlags.NONE)
bus.flush_sync(None)
# A caller that waits for the answer hears why.
descriptors = Gio.UnixFDList()
descriptors.append(null)
call = Gio.DBusMessage.new_method_call("com.orvanta.Quillet", "/com/orvanta/Quillet", "com.orvanta.Quillet", "Expand")
call.set_body(GLib.Variant("(sa{sv})", ("if x", {})))
call.set_unix_fd_list(descriptors)
reply, _ = bus.send_message_with_reply_sync(call, Gio.DBusSendMessageFlags.NONE, 20000, None)
if reply.get_message_type() != Gio.DBusMessageType.ERROR or reply.get_error_name() != "org.freedesktop.DBus.Error.InvalidArgs":
    raise SystemExit("a call with descriptors was answered %s" % reply.print_(0))
PY
call Expand 'for item in items' '{}' | grep -q cursor_position || fail "Expand did not answer after the descriptors"
name_owned || fail "the name was lost to the descriptors"
stop_app "after messages with descriptors"

# 8. A library that cannot be loaded (not JSON, or larger than any the editor makes): while the
#    alert that says so shows, every call is answered at once, with an error that names the
#    failure, also after the expand shortcut was pressed, and the file is left as it is;
#    SIGTERM ends the application. It runs on an X display of its own, for its shortcut.
cp "$library" "$work/library.kept"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
x_pid=$!
wait_until 20 test -s "$work/display" || fail "no X server started"
for broken in json size; do
    case $broken in
        json) printf '{"bundles": [ {"name": "x", ' >"$library" ;;
        size) rm -f "$library"; truncate -s 600M "$library" ;;
    esac
    checksum=$(cksum <"$library")
    DISPLAY=:$(cat "$work/display") QT_QPA_PLATFORM=xcb "$bin/quillet-app" >"$app_log" 2>&1 &
    app_pid=$!
    wait_until 30 name_owned || { fail "library $broken: quillet-app did not take its D-Bus name"; continue; }
    # The shortcuts are bound before the library loads: a press meanwhile finds none.
    wait_until 10 bash -c "DISPLAY=:$(cat "$work/display") /usr/bin/python3 $(dirname "$0")/grab_shortcut.py; [ \$? -eq 1 ]" ||
        fail "library $broken: quillet-app did not take its shortcut"
    DISPLAY=:$(cat "$work/display") xdotool key --delay 20 ctrl+alt+e
    for method in "org.freedesktop.DBus.Peer.Ping" \
        "com.orvanta.Quillet.Expand 'for item in items' {}" \
        "com.orvanta.Quillet.ExpandAsJSON 'for item in items' {}" \
        "com.orvanta.Quillet.OpenFiles \"['$work/good.qlbundle']\"" \
        "org.freedesktop.Application.Activate {}"; do
        answer=$(eval timeout 5 gdbus call --session --timeout 1 --dest com.orvanta.Quillet \
            --object-path /com/orvanta/Quillet --method "$method" 2>&1)
        case $method in
            *Ping) [ "$answer" = "()" ] || fail "library $broken: Ping was answered $answer" ;;
            *) grep -q 'com.orvanta.Quillet.Error.LibraryNotLoaded.*library' <<<"$answer" ||
                fail "library $broken: ${method%% *} was answered $answer" ;;
        esac
    done
    kill -TERM "$app_pid"
    wait_until 20 bash -c "! kill -0 $app_pid" || fail "library $broken: quillet-app did not end on SIGTERM"
    kill -KILL "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
    app_pid=
    [ "$(cksum <"$library")" = "$checksum" ] || fail "library $broken: the file was changed"
done
kill "$x_pid"
wait "$x_pid" 2>/dev/null
rm -f "$library"
cp "$work/library.kept" "$library"

# 9. An import sent at the end: OpenFiles comes just before SIGTERM, while a library of 20,000
#    expanders still loads or right after. The file is imported (in the library, or kept
#    beside it for the next start) unless Quillet itself refused the call with an error.
python3 - "$library" <<'PY'
import copy, json, sys
library = json.load(open(sys.argv[1]))
expanders = library["bundles"][0]["expanders"]
library["bundles"][0]["expanders"] = [copy.deepcopy(expanders[i % len(expanders)]) for i in range(20000)]
json.dump(library, open(sys.argv[1], "w"))
PY
for delay in 0 0.1 0.2 0.4; do
    bundle_name="Imported at SIGTERM after $delay s"
    printf '{"name": "%s", "expanders": []}' "$bundle_name" >"$work/at-end.qlbundle"
    start_app || continue
    reply=$(/usr/bin/python3 - "$work/at-end.qlbundle" "$app_pid" "$delay" <<'PY'
import os, signal, sys, threading, time
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
answer = {}
def open_file():
    try:
        bus.call_sync("com.orvanta.Quillet", "/com/orvanta/Quillet", "com.orvanta.Quillet", "OpenFiles",
                      GLib.Variant("(as)", ([sys.argv[1]],)), None, Gio.DBusCallFlags.NONE, 20000, None)
        answer["reply"] = "imported"
    except GLib.Error as error:
        answer["reply"] = error.message
caller = threading.Thread(target=open_file)
caller.start()
time.sleep(float(sys.argv[3]))
os.kill(int(sys.argv[2]), signal.SIGTERM)
caller.join()
print(answer["reply"])
PY
)
    wait_until 20 bash -c "! kill -0 $app_pid" || fail "import at SIGTERM after $delay s: quillet-app did not end"
    kill -KILL "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
    app_pid=
    kept() { grep -qs "$bundle_name" "$library" "$(dirname "$library")"/bundles.qlbundles.*.unsaved; }
    # An error of Quillet's own says the file was not taken; the bus's NoReply is no answer.
    if ! kept && ! grep -q 'com.orvanta.Quillet' <<<"$reply"; then
        fail "import at SIGTERM after $delay s: the file was neither imported nor refused (the caller heard: $reply)"
    fi
done
rm -f "$(dirname "$library")"/bundles.qlbundles.*.unsaved
cp "$work/library.kept" "$library"

# 7. The session bus restarts: the application starts again in the same process, so that it
#    reaches the desktop's services anew (Qt's own connection too, not only the service's); it
#    answers, and a second start hands over to it. When no bus comes back, it ends rather than
#    staying unreachable.
connections_of() {
    local name count=0
    for name in $(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus         --method org.freedesktop.DBus.ListNames | grep -o "':[0-9.]*'" | tr -d "'"); do
        gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus             --method org.freedesktop.DBus.GetConnectionUnixProcessID "$name" 2>/dev/null |
            grep -q "uint32 $1,)" && count=$((count + 1))
    done
    echo "$count"
}
two_connections() { [ "$(connections_of "$app_pid")" -ge 2 ]; }
private_bus() {
    # The tests' own configuration: none of the machine's services (a portal, a notification
    # daemon) is started on it.
    dbus-daemon --config-file="$QUILLET_TEST_BUS_CONFIG" --nofork --address="unix:path=$work/bus" >/dev/null 2>&1 &
    bus_pid=$!
    wait_until 10 test -S "$work/bus"
}
(
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/bus
    private_bus
    start_app || exit 1
    kill "$bus_pid"; wait "$bus_pid"; rm -f "$work/bus"
    private_bus
    wait_until 20 name_owned || fail "the name was not taken again after the bus restarted"
    # The name may be taken on the new bus a moment before the application starts again in
    # place, and given up for that moment: the new process answers within the deadline.
    expands() { call Expand 'for item in items' '{}' | grep -q cursor_position; }
    wait_until 20 expands || fail "Expand did not answer after the bus restarted"
    wait_until 20 two_connections || fail "after the bus restarted, quillet-app has $(connections_of "$app_pid") connection(s)"
    QT_QPA_PLATFORM=offscreen timeout 20 "$bin/quillet-app" >/dev/null 2>&1 || fail "a second start did not hand over"
    kill -0 "$app_pid" 2>/dev/null || fail "quillet-app ended after the bus restarted"
    kill "$bus_pid"; wait "$bus_pid"; rm -f "$work/bus"
    deadline=$((SECONDS + 30))
    while kill -0 "$app_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
    if kill -0 "$app_pid" 2>/dev/null; then
        fail "quillet-app stayed without a bus"
        kill -KILL "$app_pid"
    else
        wait "$app_pid" || fail "quillet-app ended without a bus with status $?"
    fi
    exit $failures
) || failures=$((failures + $?))

[ $failures -eq 0 ] && echo "All app fault checks passed"
exit $((failures > 0))
