#!/usr/bin/env bash
# End to end in a headless Wayland session (wayland_cases.py): the build is installed into a
# temporary prefix that any user can read, and the session runs as an unprivileged user of its
# own, created here when missing, since sway refuses to run as root.
#   run-wayland.sh BIN FIXTURE [EDITOR…]
# BIN holds quillet and quillet-app (the build folder); FIXTURE is the Qt fixture editor.
set -uo pipefail

bin=$1 fixture=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/quillet-wayland.XXXXXX)
trap 'rm -rf "$work"' EXIT

unset LD_LIBRARY_PATH
if ! cmake --install "$bin" --prefix "$work/prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: the install failed"
    exit 1
fi
mkdir "$work/tests" "$work/session"
cp "$fixture" "$here/atspi_text.py" "$here/editor_cases.py" "$here/wayland_cases.py" "$here/gtk3_fixture.py" \
    "$work/tests/"
chmod -R a+rX "$work"

as_user=()
if [ "$(id -u)" -eq 0 ]; then
    user=quillet-e2e
    # Two tests may create it at once: the loser finds it made.
    id -u "$user" >/dev/null 2>&1 || useradd --system --no-create-home --home-dir /nonexistent \
        --shell /usr/sbin/nologin "$user" 2>/dev/null || id -u "$user" >/dev/null || exit 1
    chown "$user:" "$work/session"
    as_user=(setpriv --reuid="$(id -u "$user")" --regid="$(id -g "$user")" --clear-groups --)
fi
# A session and process group of their own, ended whole afterwards: what sway started too.
setsid "${as_user[@]}" env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR \
    HOME="$work/session/home" XDG_CONFIG_HOME="$work/session/home/.config" XDG_CACHE_HOME="$work/session/home/.cache" \
    XDG_DATA_HOME="$work/session/home/.local/share" dbus-run-session -- /usr/bin/python3 "$work/tests/wayland_cases.py" "$work/prefix" \
    "$work/tests/$(basename "$fixture")" "$work/session" "$@" &
group=$!
wait "$group"
status=$?
kill -TERM -- "-$group" 2>/dev/null
for _ in $(seq 40); do
    ps -e -o pgid=,stat= | awk -v group="$group" '$1 == group && $2 !~ /^Z/ { found = 1 } END { exit !found }' ||
        exit "$status"
    sleep 0.05
done
kill -KILL -- "-$group" 2>/dev/null
exit "$status"
