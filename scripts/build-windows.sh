#!/bin/sh
# Builds targets of the Windows program (make windows): MinGW-w64 against the Qt,
# SQLite and minizip that scripts/build-qt-windows.sh makes from Debian's sources, and
# the libpq that scripts/build-libpq-windows.sh makes, once per machine.
#   scripts/build-windows.sh BUILD_DIR TARGET...
set -eu

[ $# -ge 2 ] || { echo "usage: $0 BUILD_DIR TARGET..." >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
build=$1
shift

"$here/build-qt-windows.sh"
"$here/build-libpq-windows.sh"
eval "$("$here/build-qt-windows.sh" --where)"
eval "$("$here/build-libpq-windows.sh" --where)"
# Qt's own toolchain file: the MinGW toolchain it was built with, and Qt found in its
# prefix rather than among the machine's own libraries.
# -O2 as on Linux: GCC 12 at -O3 warns falsely (-Wrestrict) about string concatenation.
mkdir -p "$build"
cmake -S "$here/.." -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_TOOLCHAIN_FILE="$HG_QT_WIN_PREFIX/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DSQLite3_INCLUDE_DIR="$HG_SQLITE_WIN_PREFIX/include" \
    -DSQLite3_LIBRARY="$HG_SQLITE_WIN_PREFIX/lib/libsqlite3.a" \
    -DHG_MINIZIP_WIN_PREFIX="$HG_MINIZIP_WIN_PREFIX" \
    -DHG_LIBPQ_WIN_PREFIX="$HG_LIBPQ_WIN_PREFIX" > "$build/configure.log" 2>&1 \
    || { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" -j "${JOBS:-2}" --target "$@"
