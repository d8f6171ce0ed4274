#!/bin/sh
# Installs the Debian packages the build needs, and only those that are missing.
# libxkbcommon-dev is not needed to build; without it Qt's CMake files print "Could
# NOT find XKB" at every configure, which reads like an error.
set -e
want="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libxkbcommon-dev libsqlite3-dev sqlite3 libgtest-dev libgmock-dev libminizip-dev zlib1g-dev libpq-dev"
[ -n "$HG_EXTRA_PACKAGES" ] && want="$want $HG_EXTRA_PACKAGES"
# Elsewhere than on Debian and its kin nothing can be checked here: say what is wanted
# and let the build find it (or name what it misses).
if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
    echo "Note: no apt-get here, so nothing is installed. The build needs the equivalents" >&2
    echo "of these Debian packages: $want" >&2
    exit 0
fi
missing=""
for p in $want; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

# A user who may not use sudo gets the one command to run as root.
no_rights() {
    echo "These Debian packages are missing:$missing" >&2
    echo "Install them once as root, then run make again:" >&2
    echo "    su -c 'apt-get update && apt-get install -y --no-install-recommends$missing'" >&2
    exit 1
}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || no_rights
    # A user sudo turns away (or one it would ask for a password where no one can
    # answer) gets the command for root at once, not password prompts that fail.
    if ! sudo -n true 2>/dev/null; then
        [ -t 0 ] || no_rights
        echo "Missing:$missing; installing them needs root, through sudo:" >&2
        sudo -v 2>/dev/null || no_rights
    fi
    SUDO=sudo
fi
echo "Installing:$missing"
$SUDO apt-get update -qq || no_rights
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing || no_rights
