#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs what was installed, as a user of that
# prefix would: every installed program and library finds its libraries there, the command
# line with a fresh HOME finds the default bundles, and a script's D-Bus call starts
# quillet-app through the installed service file (offscreen, on a private bus that knows no
# other service).
#   run-installed.sh BUILD_DIR
set -uo pipefail

build=$1
work=$(mktemp -d)
prefix=$work/prefix
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

unset LD_LIBRARY_PATH
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: the install failed"
    exit 1
fi

for file in bin/quillet bin/quillet-app \
    share/applications/com.orvanta.Quillet.desktop \
    share/mime/packages/com.orvanta.Quillet.xml \
    share/icons/hicolor/scalable/apps/com.orvanta.Quillet.svg \
    share/dbus-1/services/com.orvanta.Quillet.service \
    "share/quillet/bundles/Swift Basic.qlbundle" share/quillet/docs/docs.css \
    share/quillet/sounds/expander-done.wav; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done

# Libraries come from the system or the prefix, never from the build folder.
while IFS= read -r -d '' program; do
    libraries=$(ldd "$program" 2>&1)
    if grep -q "not found" <<<"$libraries"; then
        fail "${program#"$prefix"/} misses libraries:"
        grep "not found" <<<"$libraries"
    fi
    if grep -qF "$(cd "$build" && pwd -P)" <<<"$libraries"; then
        fail "${program#"$prefix"/} loads from the build folder:"
        grep -F "$build" <<<"$libraries"
    fi
done < <(find "$prefix" -type f \( -perm -u+x -o -name '*.so*' \) -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print0)

# A user who never ran Quillet.
export HOME=$work/home
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME
mkdir -p "$HOME"
text='for item in items'
installed=$("$prefix/bin/quillet" expand --extension swift "$text" 2>&1)
from_build=$(HOME=$work/build-home "$build/quillet" expand --extension swift "$text" 2>&1)
if [ "$installed" != "$from_build" ] || [ -z "$installed" ]; then
    fail "the installed quillet expands \"$text\" to"
    echo "$installed"
    echo "and the built one to"
    echo "$from_build"
fi
[ -f "$HOME/.local/share/com.orvanta.Quillet/bundles.qlbundles" ] ||
    fail "the installed quillet made no library from the default bundles"

# The bus starts only what the prefix installed.
cat >"$work/session.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$prefix/share/dbus-1/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF

# On the private bus: call the application that is not running, then see which program
# answered, and stop it.
on_bus() {
    local reply pid program
    reply=$(gdbus call --session --timeout 60 --dest com.orvanta.Quillet --object-path /com/orvanta/Quillet \
        --method com.orvanta.Quillet.ExpandAsJSON "$text" "{'extension': <'swift'>}" 2>&1)
    pid=$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.GetConnectionUnixProcessID com.orvanta.Quillet 2>/dev/null | sed -nE 's/^\(uint32 ([0-9]+),\)$/\1/p')
    if [ -z "$pid" ]; then
        echo "FAIL: nothing took com.orvanta.Quillet; the call answered: $reply"
        return 1
    fi
    program=$(readlink "/proc/$pid/exe")
    kill "$pid"
    # Stopped before the bus goes, so nothing outlives the test.
    local deadline=$((SECONDS + 20))
    while kill -0 "$pid" 2>/dev/null; do
        [ $SECONDS -ge $deadline ] && { echo "FAIL: quillet-app did not stop"; return 1; }
        sleep 0.05
    done
    [ "$program" = "$prefix/bin/quillet-app" ] || { echo "FAIL: com.orvanta.Quillet was owned by $program"; return 1; }
    case $reply in
    "('{\"text\":"*) ;;
    *) echo "FAIL: the D-Bus call answered: $reply"; return 1 ;;
    esac
}
export -f on_bus
export text prefix
QT_QPA_PLATFORM=offscreen dbus-run-session --config-file="$work/session.conf" -- bash -c on_bus ||
    failures=$((failures + 1))

[ $failures -eq 0 ] && echo "the installed programs start from $prefix"
exit $((failures > 0))
