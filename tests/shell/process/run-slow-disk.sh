#!/usr/bin/env bash
# The real quillet-app with its library on a slow disk: a FUSE file system made here
# (tests/support/slow_disk.py) whose fsync takes longer than the end may stand still. One row per
# way the user goes on while a save waits on that disk: callers are answered within a second
# meanwhile, and the end (SIGTERM or SIGHUP, as at a logout) waits for the write, ends with status 0
# and leaves the change in the library and no temporary or kept file. The saves: an import's, a
# first run's install of the default library, and a start's merge of a change an earlier run kept.
# Runs inside `dbus-run-session -- run-slow-disk.sh BIN`.
set -uo pipefail

bin=$1
source "$(dirname "$0")/../AppSession.sh"
python=/usr/bin/python3
[ -x "$python" ] || python=python3

if [ ! -c /dev/fuse ]; then
    echo "SKIP: no /dev/fuse on this machine: the slow disk cannot be made"
    exit 77
fi
if ! "$python" -c 'import fusepy' 2>/dev/null && ! "$python" -c 'import fuse' 2>/dev/null; then
    echo "SKIP: python3-fusepy is not installed (scripts/setup installs it)"
    exit 77
fi

# Longer than the end's watchdog lets a main thread stand still (QuilletApplication::endBound).
fsync_seconds=12
backing=$work/backing
disk=$work/disk
control=$work/fsync-seconds
mkdir -p "$backing" "$disk"
echo 0 >"$control"
"$python" "$(dirname "$0")/../../support/slow_disk.py" "$backing" "$disk" "$control" >"$work/disk.log" 2>&1 &
disk_pid=$!
if ! wait_until 20 mountpoint -q "$disk"; then
    echo "SKIP: FUSE is not available here: $(tail -n 3 "$work/disk.log")"
    exit 77
fi
unmount() {
    fusermount3 -u "$disk" 2>/dev/null || umount "$disk" 2>/dev/null
    wait "$disk_pid" 2>/dev/null
    cleanup
}
trap unmount EXIT

export XDG_DATA_HOME=$disk/data
mkdir -p "$XDG_DATA_HOME"
library=$XDG_DATA_HOME/com.orvanta.Quillet/bundles.qlbundles
printf '[General]\nDidOpenIntro=true\n' >"$XDG_CONFIG_HOME/orvanta/Quillet.ini"

quick_call() {
    timeout 1 gdbus call --session --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet "$@" >/dev/null
}
temporary_file_there() { ls -a "$(dirname "$library")" | grep -qE '^\.bundles\.qlbundles\.[A-Za-z0-9]{6}$'; }
kept_file_there() { ls "$(dirname "$library")" | grep -qE '^bundles\.qlbundles\..*\.unsaved$'; }
has_bundle() { grep -q "\"$1\"" "$library"; }
# A library installed on the fast disk, and ended.
install_library() {
    QT_QPA_PLATFORM=offscreen "$bin/quillet-app" >"$app_log" 2>&1 &
    local pid=$!
    wait_until 30 name_owned && wait_until 20 test -s "$library" || fail "$1: no library was installed"
    kill -TERM "$pid"
    wait "$pid"
}
# A change an earlier run could not write, kept beside the library.
keep_change() {
    "$python" - "$library" "$library.1700000000.1.unsaved" "$1" <<'PY'
import json, sys
library = json.load(open(sys.argv[1]))
changed = json.loads(json.dumps(library))
changed["bundles"].append({"name": sys.argv[3], "expanders": []})
json.dump({"base": library, "library": changed}, open(sys.argv[2], "w"), separators=(",", ":"))
PY
}

# name | what the start finds | what the slow save holds | how the end comes
rows=(
    "SIGTERM while an import's save waits on the disk|nothing|import|term"
    "SIGHUP while an import's save waits on the disk|nothing|import|hup"
    "A first run's install on the slow disk|nothing|install|term"
    "A start beside a kept change on the slow disk|kept|merge|term"
)

for row in "${rows[@]}"; do
    IFS='|' read -r name found save ending <<<"$row"
    echo 0 >"$control"
    rm -rf "$(dirname "$library")"
    bundle="Changed on a slow disk $ending"
    if [ "$found" = kept ]; then
        install_library "$name"
        keep_change "$bundle"
    fi
    [ "$save" = import ] || echo "$fsync_seconds" >"$control"
    QT_QPA_PLATFORM=offscreen "$bin/quillet-app" >"$app_log" 2>&1 &
    app_pid=$!
    pids+=("$app_pid")
    wait_until 30 name_owned || { fail "$name: quillet-app did not take its D-Bus name"; continue; }

    if [ "$save" = import ]; then
        wait_until 20 test -s "$library" || fail "$name: no library was installed"
        echo "$fsync_seconds" >"$control"
        printf '{"name": "%s", "expanders": []}' "$bundle" >"$work/slow.qlbundle"
        quick_call --method com.orvanta.Quillet.OpenFiles "['$work/slow.qlbundle']" ||
            fail "$name: OpenFiles was not answered within a second"
    fi
    wait_until 5 temporary_file_there || fail "$name: no save was under way"
    # While the save waits on the disk, every caller is answered within a second.
    for attempt in 1 2 3; do
        quick_call --method org.freedesktop.DBus.Peer.Ping || fail "$name: Ping waited for the save ($attempt)"
        quick_call --method com.orvanta.Quillet.Expand 'for item in items' '{}' ||
            fail "$name: Expand waited for the save ($attempt)"
    done
    temporary_file_there || fail "$name: the save ended before the calls: the disk was not slow"

    case $ending in
        term) kill -TERM "$app_pid" ;;
        hup) kill -HUP "$app_pid" ;;
    esac
    deadline=$((SECONDS + 3 * fsync_seconds))
    while kill -0 "$app_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
    if kill -0 "$app_pid" 2>/dev/null; then
        fail "$name: quillet-app did not end"
        kill -KILL "$app_pid"
    fi
    wait "$app_pid"
    status=$?
    echo 0 >"$control"
    [ "$status" -eq 0 ] || fail "$name: status $status, expected 0"
    grep -q 'stuck' "$app_log" && fail "$name: the end was taken for stuck"
    case $save in
        install) has_bundle "Swift Basic" || fail "$name: the default library was not installed" ;;
        *) has_bundle "$bundle" || fail "$name: the change was lost" ;;
    esac
    [ "$(grep -o '"Swift Basic"' "$library" | wc -l)" -eq 1 ] || fail "$name: the defaults are not there once"
    temporary_file_there && fail "$name: a temporary file was left: $(ls -a "$(dirname "$library")")"
    kept_file_there && fail "$name: a kept file was left: $(ls -a "$(dirname "$library")")"
done

[ $failures -eq 0 ] && echo "Every save on the slow disk kept its change and its callers"
exit $((failures > 0))
