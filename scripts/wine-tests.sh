#!/bin/sh
# Runs Windows test programs of the cross build under Wine, with COM ports of a
# throw-away Wine prefix linked to pseudo-terminals (scripts/wine-pty-peer.py).
#   scripts/wine-tests.sh BUILD_DIR PROGRAM.exe...   (programs relative to BUILD_DIR)
#
# Wine maps COM ports to the machine's serial devices by itself, and on the machines
# this runs on the first of them is the system console. So Wine runs in a private
# mount namespace whose /dev holds only the few nodes a program needs and no serial
# device at all; on top of that every COM link in the prefix other than the test
# ports is removed, and the tests open only the numbers given to them here.
set -eu

[ $# -ge 2 ] || { echo "usage: $0 BUILD_DIR PROGRAM.exe..." >&2; exit 2; }
build=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)

if [ "${HG_WINE_PRIVATE_DEV:-}" != 1 ]; then
    if ! unshare --mount --propagation private true 2>/dev/null; then
        echo "wine-tests: no private mount namespace (needs root or user namespaces);" \
             "Wine is not run next to real serial devices" >&2
        exit 1
    fi
    HG_WINE_PRIVATE_DEV=1 exec unshare --mount --propagation private "$0" "$build" "$@"
fi

# ---- a /dev without serial devices ----
olddev=$(mktemp -d)
mount --rbind /dev "$olddev"
mount -t tmpfs -o mode=755,size=1m hg-dev /dev
for node in null zero full random urandom tty; do
    : > /dev/$node
    mount --bind "$olddev/$node" /dev/$node
done
mkdir /dev/pts /dev/shm
mount --bind "$olddev/pts" /dev/pts
mount --bind "$olddev/shm" /dev/shm
ln -s pts/ptmx /dev/ptmx  # a bound ptmx node would look for its pts beside the old /dev
ln -s /proc/self/fd /dev/fd
ln -s /proc/self/fd/0 /dev/stdin
ln -s /proc/self/fd/1 /dev/stdout
ln -s /proc/self/fd/2 /dev/stderr
umount -l "$olddev"
rmdir "$olddev"
if ls /dev/ttyS* /dev/ttyUSB* /dev/ttyACM* >/dev/null 2>&1; then
    echo "wine-tests: serial devices still visible; stopping" >&2
    exit 1
fi

# ---- Wine ----
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
wineserver=$(command -v wineserver || true)
[ -n "$wineserver" ] || wineserver=/usr/lib/wine/wineserver
export WINEPREFIX="$build/wine-prefix"
export WINEDEBUG="${HG_WINEDEBUG:--all}"
# No Mono or Gecko set-up, no menu entries; and whatever Wine still writes to a home
# stays in the build tree, away from the user's own.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$build/wine-home"
export XDG_DATA_HOME="$HOME/data" XDG_CONFIG_HOME="$HOME/config" XDG_CACHE_HOME="$HOME/cache"
mkdir -p "$HOME"

# Test ports: A and B are joined like a null-modem cable, C steers the cable, D links
# to nothing and M is not there at all.
PORT_A=5 PORT_B=6 PORT_CONTROL=7 PORT_DANGLING=8 PORT_MISSING=9
ports="$build/wine-ports"
rm -rf "$ports"
mkdir -p "$ports"

peer_pid=""
cleanup() {
    "$wineserver" -k 2>/dev/null || true
    [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-tests: making the Wine prefix (once; it takes a while)"
    "$wine" wineboot --init >/dev/null 2>&1 || true
    "$wineserver" -w
fi

# No port mappings in the registry: the mount manager would make device objects of
# them that take no communication calls. The test ports are plain links (below), and
# with no serial device in /dev the mount manager finds none of its own.
reg="$ports/ports.reg"
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[-HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
} > "$reg"

# The far side of the ports, for as long as the tests run.
python3 "$here/wine-pty-peer.py" "$ports" < /dev/null &
peer_pid=$!
i=0
while [ ! -f "$ports/ready" ]; do
    i=$((i + 1))
    [ $i -le 100 ] || { echo "wine-tests: the pseudo-terminals did not come up" >&2; exit 1; }
    sleep 0.1
done

# One Wine session for the whole run: the mount manager sets the ports up when it
# starts, and the links are checked after that.
"$wineserver" -p
"$wine" regedit /S "Z:$(echo "$reg" | tr / '\\')"
for link in "$WINEPREFIX"/dosdevices/com*; do
    [ -L "$link" ] || [ -e "$link" ] || continue
    rm -f "$link"
done
ln -s "$ports/a" "$WINEPREFIX/dosdevices/com$PORT_A"
ln -s "$ports/b" "$WINEPREFIX/dosdevices/com$PORT_B"
ln -s "$ports/control" "$WINEPREFIX/dosdevices/com$PORT_CONTROL"
ln -s "$ports/gone" "$WINEPREFIX/dosdevices/com$PORT_DANGLING"
echo "wine-tests: COM ports of the prefix:"
ls -l "$WINEPREFIX"/dosdevices/ | grep ' com' | sed 's/^.* com/    com/'

export HG_WINE_PORT_A=$PORT_A HG_WINE_PORT_B=$PORT_B HG_WINE_PORT_CONTROL=$PORT_CONTROL
export HG_WINE_PORT_DANGLING=$PORT_DANGLING HG_WINE_PORT_MISSING=$PORT_MISSING

failed=0
for program in "$@"; do
    echo "wine-tests: $program"
    if ! timeout 300 "$wine" "$build/$program"; then
        echo "wine-tests: $program FAILED" >&2
        failed=1
    fi
done
exit $failed
