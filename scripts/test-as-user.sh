#!/bin/sh
# The whole suite as an ordinary user, the way a newcomer without root runs it: the
# checkout (with its uncommitted changes, as a clean tree) copied into the home of an
# unprivileged user, who builds it and runs make test there. Root hides permission
# faults (TIOCEXCL, modes of files and devices); this run shows them.
# Run as root; HG_TEST_USER names the user (made when missing, default hg-ci).
set -e
cd "$(dirname "$0")/.."
user=${HG_TEST_USER:-hg-ci}
if [ "$(id -u)" -ne 0 ]; then
    echo "test-as-user.sh: run it as root (as an ordinary user, make test is this run)" >&2
    exit 1
fi
id -u "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
tree="$home/haltguard-ids"
rm -rf "$tree"
mkdir -p "$tree"
rev=$(git stash create)
git archive "${rev:-HEAD}" | tar -x -C "$tree"
chown -R "$user:" "$tree"
launcher=""
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
echo "make test as $user (uid $(id -u "$user")) in $tree"
runuser -u "$user" -- make -C "$tree" test CMAKE_FLAGS="$launcher"
