# Sourced by the scripts that run the real quillet-app in a test session (after they set `bin`,
# the folder of quillet and quillet-app): a fresh home and runtime folder, a cleanup that ends what
# the script started (`pids`), failures counted with the end of the app's log, and polling with
# deadlines instead of sleeps.

work=$(mktemp -d)
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME/orvanta" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
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
    echo "--- quillet-app log:"; tail -n 30 "$app_log"
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

# Whether the bus name (Quillet's by default) has an owner.
name_owned() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner "${1:-com.orvanta.Quillet}" | grep -q true
}
