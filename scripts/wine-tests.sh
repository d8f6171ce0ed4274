#!/bin/sh
# Runs Windows test programs of the cross build under Wine, with COM ports of a
# throw-away Wine prefix linked to pseudo-terminals (scripts/wine-pty-peer.py).
#   scripts/wine-tests.sh BUILD_DIR PROGRAM.exe...   (programs relative to BUILD_DIR)
# Wine sees no serial device of the machine (scripts/wine-session.sh).
set -eu

[ $# -ge 2 ] || { echo "usage: $0 BUILD_DIR PROGRAM.exe..." >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-session.sh"
wine_isolate "$@"
build=$(cd "$1" && pwd)
shift

# Test ports: A and B are joined like a null-modem cable, C steers the cable, D links
# to nothing and M is not there at all.
PORT_A=5 PORT_B=6 PORT_CONTROL=7 PORT_DANGLING=8 PORT_MISSING=9
ports="$build/wine-ports"
rm -rf "$ports"
mkdir -p "$ports"

peer_pid=""
cleanup() {
    wine_stop
    [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

wine_start "$build/wine-prefix" "$build/wine-home"

# The far side of the ports, for as long as the tests run.
python3 "$here/wine-pty-peer.py" "$ports" < /dev/null &
peer_pid=$!
i=0
while [ ! -f "$ports/ready" ]; do
    i=$((i + 1))
    [ $i -le 100 ] || { echo "wine-tests: the pseudo-terminals did not come up" >&2; exit 1; }
    sleep 0.1
done
wine_link_port $PORT_A "$ports/a"
wine_link_port $PORT_B "$ports/b"
wine_link_port $PORT_CONTROL "$ports/control"
wine_link_port $PORT_DANGLING "$ports/gone"
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
