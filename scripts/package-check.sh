#!/bin/sh
# Installs the built package on this machine, starts the installed program offscreen
# for a second with a throw-away home, and removes the package again.
set -e
deb=$(ls "${1:-build}"/haltguard-ids_*.deb | head -n 1)
[ -n "$deb" ] || { echo "no package built" >&2; exit 1; }
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$(realpath "$deb")"
home=$(mktemp -d)
trap '$SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq haltguard-ids >/dev/null; rm -rf "$home"' EXIT
for f in /usr/bin/haltguard-ids /usr/bin/haltguard-ids-setup /usr/bin/haltguard-tester-sim \
         /usr/bin/haltguard-ids-start /usr/share/applications/haltguard-ids.desktop \
         /usr/share/pixmaps/haltguard-ids.png /usr/share/man/man1/haltguard-ids.1 \
         /usr/bin/haltguard-ids-groups /usr/share/man/man1/haltguard-ids-groups.1; do
    [ -e "$f" ] || { echo "missing from the package: $f" >&2; exit 1; }
done
# The desktop entry's start script makes the store on a first start, then runs the program.
set +e
HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" QT_QPA_PLATFORM=offscreen \
    timeout 1 /usr/bin/haltguard-ids-start
rc=$?
set -e
[ "$rc" -eq 124 ] || { echo "the installed program ended early (status $rc)" >&2; exit 1; }
[ -f "$home/data/Quillon/Haltguard IDs/IDGroup.db" ] || { echo "no groups table made" >&2; exit 1; }
echo "package check passed: $deb"
