#!/bin/bash
# Qt, SQLite and minizip for the Windows build, from Debian's own source packages.
#
# Debian ships no MinGW build of Qt, so this builds the qt6-base source package of the
# installed host Qt for x86_64-w64-mingw32 (shared, release, only Core, Gui, Widgets,
# Test and the "windows" and "offscreen" platform plugins) with the host Qt's tools,
# and unpacks the sqlite3 source package and makes its single-file form for the
# program to compile in, and compiles the minizip source package (zlib's contrib,
# the same version as the machine's libminizip-dev) against Debian's zlib for
# MinGW (libz-mingw-w64-dev). The results go into a cache outside the source tree,
# keyed by version and configure options, so they are built once per machine.
#
#   scripts/build-qt-windows.sh            build what is missing
#   scripts/build-qt-windows.sh --where    print the Qt, SQLite and minizip cache paths
#   scripts/build-qt-windows.sh --check    exit 0 when all three are in the cache
#
# The sources come through scripts/windows-sources.sh (deb-src entries kept in the
# cache; the machine's apt configuration is not touched).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
. "$here/windows-sources.sh"
cache="$ws_cache"
jobs="${JOBS:-2}"

# The Qt of the target is the host Qt's version: its tools build it.
qt_deb=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)
sqlite_deb=$(dpkg-query -W -f='${Version}' libsqlite3-dev 2>/dev/null || true)
minizip_deb=$(dpkg-query -W -f='${Version}' libminizip-dev 2>/dev/null || true)

qt_options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DQT_BUILD_BENCHMARKS=OFF
    -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF
    # The MinGW runtime linked into every DLL and plugin: only Qt's own DLLs travel.
    -DCMAKE_SHARED_LINKER_FLAGS=-static
    -DCMAKE_MODULE_LINKER_FLAGS=-static
    -DFEATURE_pkg_config=OFF
    -DFEATURE_sql=OFF
    -DFEATURE_network=OFF
    -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF
    -DFEATURE_printsupport=OFF
    -DFEATURE_dbus=OFF
    -DFEATURE_opengl=OFF
    -DINPUT_opengl=no
    -DFEATURE_vulkan=OFF
    -DFEATURE_direct2d=OFF
    # Qt 6.4 builds its DirectWrite font database only with Direct2D, but the platform
    # plugin would still call it; the default GDI font database is the one used.
    -DFEATURE_directwrite3=OFF
    -DFEATURE_icu=OFF
    -DFEATURE_ssl=OFF
    -DFEATURE_openssl=OFF
    -DFEATURE_zstd=OFF
    -DFEATURE_jpeg=OFF
    -DFEATURE_system_zlib=OFF
    -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_freetype=OFF
    -DFEATURE_system_png=OFF
    -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_sql_sqlite=OFF
    # Debian's source leaves out the Wintab header (its licence allows no changes).
    -DFEATURE_tabletevent=OFF
    -DFEATURE_optimize_size=ON
)

# SQLite as the program links it: the single-file form compiled for the target.
sqlite_cflags=(-O2 -DSQLITE_THREADSAFE=1)
# minizip as the program links it: its zip, unzip and I/O layer, statically; the zlib
# it calls is libz-mingw-w64-dev's static library.
minizip_cflags=(-O2)

key_of() { ws_key; }
qt_key=$( { echo "$qt_deb"; printf '%s\n' "${qt_options[@]}"; cat "$top/cmake/mingw-w64-x86_64.cmake"; } | key_of)
qt_root="$cache/qt6-win64-${qt_deb%%+*}-$qt_key"
qt_prefix="$qt_root/prefix"
sqlite_key=$( { echo "$sqlite_deb"; printf '%s\n' "${sqlite_cflags[@]}"; } | key_of)
sqlite_root="$cache/sqlite3-win64-${sqlite_deb%%-*}-$sqlite_key"
sqlite_prefix="$sqlite_root/prefix"
# The zlib it is built against is keyed by the version apt installs, whether or not it
# is installed yet: --check runs before anything is installed and must name the same
# cache as the build after it.
mingw_zlib_version() {
    local v
    v=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev 2>/dev/null || true)
    [ -n "$v" ] || v=$(apt-cache policy libz-mingw-w64-dev 2>/dev/null | awk '/Candidate:/ { print $2 }')
    printf %s "$v"
}
minizip_key=$( { echo "$minizip_deb"; mingw_zlib_version; printf '%s\n' "${minizip_cflags[@]}"; } | key_of)
minizip_root="$cache/minizip-win64-${minizip_deb%%-*}-$minizip_key"
minizip_prefix="$minizip_root/prefix"

case "${1:-}" in
    --where)
        echo "HG_QT_WIN_PREFIX=$qt_prefix"
        echo "HG_SQLITE_WIN_PREFIX=$sqlite_prefix"
        echo "HG_MINIZIP_WIN_PREFIX=$minizip_prefix"
        exit 0 ;;
    --check)
        [ -f "$qt_root/complete" ] && [ -f "$sqlite_prefix/lib/libsqlite3.a" ] &&
            [ -f "$minizip_prefix/lib/libminizip.a" ]
        exit ;;
    "") ;;
    *) echo "usage: $0 [--where|--check]" >&2; exit 2 ;;
esac

[ -n "$qt_deb" ] && [ -n "$sqlite_deb" ] && [ -n "$minizip_deb" ] ||
    { echo "build-qt-windows: run make deps first" >&2; exit 1; }
HG_EXTRA_PACKAGES="g++-mingw-w64-x86-64-posix dpkg-dev perl tcl libz-mingw-w64-dev" "$here/install-deps.sh"

ws_begin build-qt-windows

# ---- SQLite: the single-file form, made from the source tree and compiled ----
if [ ! -f "$sqlite_prefix/lib/libsqlite3.a" ]; then
    [ -d "$sqlite_root/src" ] || ws_fetch_source sqlite3 "$sqlite_deb" "$sqlite_root/src"
    tree=$(find "$sqlite_root/src" -mindepth 1 -maxdepth 1 -type d | head -n1)
    say "making sqlite3.c from $(basename "$tree") and compiling it for Windows"
    rm -rf "$sqlite_root/build" "$sqlite_prefix"
    mkdir -p "$sqlite_root/build" "$sqlite_prefix.tmp/include" "$sqlite_prefix.tmp/lib"
    (cd "$sqlite_root/build" && "$tree/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
    x86_64-w64-mingw32-gcc-posix "${sqlite_cflags[@]}" -c "$sqlite_root/build/sqlite3.c" \
        -o "$sqlite_root/build/sqlite3.o"
    x86_64-w64-mingw32-ar rcs "$sqlite_prefix.tmp/lib/libsqlite3.a" "$sqlite_root/build/sqlite3.o"
    cp "$sqlite_root/build/sqlite3.h" "$sqlite_prefix.tmp/include/"
    mv "$sqlite_prefix.tmp" "$sqlite_prefix"
    rm -rf "$sqlite_root/build" "$sqlite_root/src"
fi
say "SQLite for Windows: $sqlite_prefix"

# ---- minizip: compiled from its source package ----
if [ ! -f "$minizip_prefix/lib/libminizip.a" ]; then
    [ -d "$minizip_root/src" ] || ws_fetch_source minizip "$minizip_deb" "$minizip_root/src"
    tree=$(find "$minizip_root/src" -mindepth 1 -maxdepth 1 -type d | head -n1)
    say "compiling minizip from $(basename "$tree") for Windows"
    rm -rf "$minizip_root/build" "$minizip_prefix"
    mkdir -p "$minizip_root/build" "$minizip_prefix.tmp/include/minizip" "$minizip_prefix.tmp/lib"
    for unit in ioapi unzip zip; do
        x86_64-w64-mingw32-gcc-posix "${minizip_cflags[@]}" -w -c "$tree/$unit.c" \
            -o "$minizip_root/build/$unit.o"
    done
    x86_64-w64-mingw32-ar rcs "$minizip_prefix.tmp/lib/libminizip.a" "$minizip_root/build"/*.o
    cp "$tree"/ioapi.h "$tree"/unzip.h "$tree"/zip.h "$minizip_prefix.tmp/include/minizip/"
    mv "$minizip_prefix.tmp" "$minizip_prefix"
    rm -rf "$minizip_root/build" "$minizip_root/src"
fi
say "minizip for Windows: $minizip_prefix"

# ---- Qt ----
if [ -f "$qt_root/complete" ]; then
    say "Qt for Windows: $qt_prefix (cached)"
    exit 0
fi
started=$(date +%s)
[ -d "$qt_root/src" ] || ws_fetch_source qt6-base "$qt_deb" "$qt_root/src"
tree=$(find "$qt_root/src" -mindepth 1 -maxdepth 1 -type d | head -n1)
# Qt's licence texts travel with its DLLs.
mkdir -p "$qt_prefix/licenses"
cp "$tree"/LICENSES/* "$qt_prefix/licenses/"

# The toolchain file goes with the build: Qt's own toolchain file refers back to it.
mkdir -p "$qt_root/build"
cp "$top/cmake/mingw-w64-x86_64.cmake" "$qt_root/mingw-w64-x86_64.cmake"
if [ ! -f "$qt_root/build/build.ninja" ]; then
    say "configuring Qt $(basename "$tree") for x86_64-w64-mingw32"
    env -u HG_WINE PKG_CONFIG=false cmake -S "$tree" -B "$qt_root/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$qt_root/mingw-w64-x86_64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$qt_prefix" "${qt_options[@]}" > "$qt_root/configure.log" 2>&1 \
        || { tail -n 40 "$qt_root/configure.log"; say "configure failed: $qt_root/configure.log"; exit 1; }
fi

say "building Qt (-j$jobs, niced; the full log is $qt_root/build.log)"
# Progress: one line in fifty of ninja's status, and every failure in full.
NINJA_STATUS="[%f/%t %es] " nice -n 15 cmake --build "$qt_root/build" -j "$jobs" 2>&1 \
    | tee "$qt_root/build.log" \
    | awk '/^\[[0-9]+\/[0-9]+ / { if (++n % 50 == 0) { print "build-qt-windows: " $1 " " $2; fflush() } next }
           /FAILED|error:/ { print; fflush() }' \
    || { tail -n 40 "$qt_root/build.log"; say "build failed: $qt_root/build.log"; exit 1; }
nice -n 15 cmake --install "$qt_root/build" > "$qt_root/install.log" 2>&1 \
    || { tail -n 20 "$qt_root/install.log"; say "install failed"; exit 1; }
echo "$(( $(date +%s) - started ))" > "$qt_root/build-seconds"
touch "$qt_root/complete"
# The sources and objects are not needed any more; the installed Qt is.
rm -rf "$qt_root/build" "$qt_root/src"
say "Qt for Windows built in $(cat "$qt_root/build-seconds") s: $qt_prefix"
