#!/bin/sh
# Installs the Debian packages the build needs, and only those that are missing.
set -e
want="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libsqlite3-dev sqlite3 libgtest-dev libgmock-dev"
[ -n "$HG_EXTRA_PACKAGES" ] && want="$want $HG_EXTRA_PACKAGES"
missing=""
for p in $want; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
