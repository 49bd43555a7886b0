#!/usr/bin/env bash
# The real quillet-app with its library on a slow disk: a FUSE file system made here
# (tests/support/slow_disk.py) whose fsync takes longer than the end may stand still. One row per
# way the user goes on while a save waits on that disk: callers are answered within a second
# meanwhile, and the end (SIGTERM, as at a logout, or Quit over D-Bus's hand-over of files) waits
# for the write, ends with status 0 and leaves the change in the library and no temporary file.
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
has_bundle() { grep -q "\"$1\"" "$library"; }

# name | how the end comes
rows=(
    "SIGTERM while an import's save waits on the disk|term"
    "SIGHUP while an import's save waits on the disk|hup"
)

for row in "${rows[@]}"; do
    IFS='|' read -r name ending <<<"$row"
    echo 0 >"$control"
    QT_QPA_PLATFORM=offscreen "$bin/quillet-app" >"$app_log" 2>&1 &
    app_pid=$!
    pids+=("$app_pid")
    wait_until 30 name_owned || { fail "$name: quillet-app did not take its D-Bus name"; continue; }
    wait_until 20 test -s "$library" || fail "$name: no library was installed"

    echo "$fsync_seconds" >"$control"
    bundle="Imported on a slow disk $ending"
    printf '{"name": "%s", "expanders": []}' "$bundle" >"$work/slow.qlbundle"
    quick_call --method com.orvanta.Quillet.OpenFiles "['$work/slow.qlbundle']" ||
        fail "$name: OpenFiles was not answered within a second"
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
    has_bundle "$bundle" || fail "$name: the import was lost"
    temporary_file_there && fail "$name: a temporary file was left: $(ls -a "$(dirname "$library")")"
done

[ $failures -eq 0 ] && echo "Every save on the slow disk kept its change and its callers"
exit $((failures > 0))
