# Sourced by the Wine test scripts: Wine in a private mount namespace whose /dev
# holds no serial device, with a prefix of its own and no COM port but the ones a
# test links itself.
#
# Wine maps COM ports to the machine's serial devices by itself, and on the machines
# this runs on the first of them is the system console. So Wine runs in a private
# mount namespace whose /dev holds only the few nodes a program needs and no serial
# device at all; on top of that every COM link in the prefix is removed, and the
# tests open only the numbers given to them.

# Runs the calling script again in a private mount namespace, with a /dev without
# serial devices there.
wine_isolate() {
    wine_enter_private_namespace "$@"
    wine_private_dev
}

# Runs the calling script again in a private mount namespace (once).
wine_enter_private_namespace() {
    [ "${HG_WINE_PRIVATE_DEV:-}" != 1 ] || return 0
    if ! unshare --mount --propagation private true 2>/dev/null; then
        echo "$(basename "$0"): no private mount namespace (needs root or user namespaces);" \
             "Wine is not run next to real serial devices" >&2
        exit 1
    fi
    HG_WINE_PRIVATE_DEV=1 exec unshare --mount --propagation private "$0" "$@"
}

# A /dev without serial devices, inside the private namespace.
wine_private_dev() {
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
        echo "$(basename "$0"): serial devices still visible; stopping" >&2
        exit 1
    fi
}

# Wine with the prefix PREFIX and a home HOME of its own (both under a build tree),
# started as one persistent session; afterwards no COM link is left in the prefix.
wine_start() {
    wine=$(command -v wine64 || true)
    [ -n "$wine" ] || wine=/usr/lib/wine/wine64
    wineserver=$(command -v wineserver || true)
    [ -n "$wineserver" ] || wineserver=/usr/lib/wine/wineserver
    export WINEPREFIX="$1"
    export WINEDEBUG="${HG_WINEDEBUG:--all}"
    # No Mono or Gecko set-up, no menu entries; and whatever Wine still writes to a home
    # stays in the build tree, away from the user's own.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export HOME="$2"
    export XDG_DATA_HOME="$HOME/data" XDG_CONFIG_HOME="$HOME/config" XDG_CACHE_HOME="$HOME/cache"
    mkdir -p "$HOME"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "$(basename "$0"): making the Wine prefix (once; it takes a while)"
        "$wine" wineboot --init >/dev/null 2>&1 || true
        "$wineserver" -w
    fi
    # No port mappings in the registry: the mount manager would make device objects of
    # them that take no communication calls. The test ports are plain links, and with no
    # serial device in /dev the mount manager finds none of its own.
    reg="$HOME/no-ports.reg"
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[-HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n\r\n'
        printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    } > "$reg"
    # One Wine session for the whole run: the mount manager sets the ports up when it
    # starts, and the links are cleared after that.
    # The server's own reports (a list of its objects when it is stopped with a port
    # device still open) go to its log, not into the test output.
    "$wineserver" -p 2> "$HOME/wineserver.log"
    "$wine" regedit /S "Z:$(echo "$reg" | tr / '\\')"
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [ -L "$link" ] || [ -e "$link" ] || continue
        rm -f "$link"
    done
}

# COM N of the prefix is the device DEVICE.
wine_link_port() {
    ln -s "$2" "$WINEPREFIX/dosdevices/com$1"
}

wine_stop() {
    [ -z "${wineserver:-}" ] || "$wineserver" -k 2>/dev/null || true
}

# The Windows form of a path: Wine's Z: drive is the root of this file system.
wine_path() {
    echo "Z:$1" | tr / '\\'
}
