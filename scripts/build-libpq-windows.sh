#!/bin/bash
# libpq, PostgreSQL's client library, for the Windows program, from Debian's own source
# packages: the postgresql-15 source package of the host's libpq-dev, cross-built for
# x86_64-w64-mingw32 (the client library alone: its ports and common code, no server),
# with TLS through OpenSSL built from Debian's openssl source package. OpenSSL is
# built static and linked into libpq.dll, with the MinGW runtime: libpq.dll is the one
# DLL that travels. The result goes into the same cache as Qt's, keyed by version and
# options, so it is built once per machine; the sources and objects are removed after.
#
#   scripts/build-libpq-windows.sh          build it when it is missing
#   scripts/build-libpq-windows.sh --where  print its cache path (HG_LIBPQ_WIN_PREFIX)
#   scripts/build-libpq-windows.sh --check  exit 0 when it is in the cache
#
# OpenSSL's version is the newest openssl source package the archive serves (the
# newest listed is not always served yet); it is written into the cache as
# openssl-version. A new OpenSSL is taken when libpq is built again: remove the cache
# folder (--where) and run the script.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
. "$here/windows-sources.sh"
jobs="${JOBS:-2}"
target=x86_64-w64-mingw32
cc="$target-gcc-posix"

pg_deb=$(dpkg-query -W -f='${Version}' libpq-dev 2>/dev/null || true)

# The client library needs none of the server's optional parts; no translations (the
# program recognises the library's English messages).
pg_options=(--host=$target --without-readline --without-zlib --without-icu --without-gssapi
            --without-ldap --without-llvm --disable-nls --with-ssl=openssl)
# TLS for a client: no engines or loadable modules, no legacy ciphers, no reading of an
# openssl.cnf at start. Static, into libpq.dll.
ssl_options=(mingw64 no-shared no-tests no-legacy no-engine no-module no-dso no-comp
             no-ui-console no-autoload-config)
cflags=(-O2)
key=$( { echo "$pg_deb"; printf '%s\n' "${pg_options[@]}" "${ssl_options[@]}" "${cflags[@]}";
         cat "$top/cmake/mingw-w64-x86_64.cmake"; } | ws_key)
root="$ws_cache/libpq-win64-${pg_deb%%-*}-$key"
prefix="$root/prefix"

case "${1:-}" in
    --where) echo "HG_LIBPQ_WIN_PREFIX=$prefix"; exit 0 ;;
    --check) [ -f "$root/complete" ]; exit ;;
    "") ;;
    *) echo "usage: $0 [--where|--check]" >&2; exit 2 ;;
esac

[ -n "$pg_deb" ] || { echo "build-libpq-windows: run make deps first" >&2; exit 1; }
HG_EXTRA_PACKAGES="g++-mingw-w64-x86-64-posix dpkg-dev perl make" "$here/install-deps.sh"

ws_begin build-libpq-windows
if [ -f "$root/complete" ]; then
    say "libpq for Windows: $prefix (cached)"
    exit 0
fi
started=$(date +%s)
rm -rf "$root"
mkdir -p "$root"

# ---- OpenSSL: static, for libpq to link ----
ws_read_lists  # here, not in the $(...) below, which would forget it
for version in $(ws_source_versions openssl); do
    ws_fetch_source openssl "$version" "$root/openssl-src" && ssl_version=$version && break
done
[ -n "${ssl_version:-}" ] || { say "no openssl source package could be fetched"; exit 1; }
tree=$(find "$root/openssl-src" -mindepth 1 -maxdepth 1 -type d | head -n1)
ssl="$root/openssl"
mkdir -p "$root/openssl-build"
say "building OpenSSL $(basename "$tree") for Windows (-j$jobs, niced; log: $root/openssl-build.log)"
# OPENSSLDIR is where OpenSSL would look for its configuration, which it is told not to
# read (no-autoload-config); libpq names its certificate files itself (sslrootcert).
(cd "$root/openssl-build" &&
    "$tree/Configure" "${ssl_options[@]}" --prefix="$ssl" --libdir=lib \
        --openssldir="C:/Program Files/Haltguard IDs/ssl" \
        CC="$cc" AR="$target-ar" RANLIB="$target-ranlib" RC="$target-windres" \
        CFLAGS="${cflags[*]}" &&
    nice -n 15 make -j "$jobs" build_libs &&
    make install_dev) > "$root/openssl-build.log" 2>&1 ||
    { tail -n 30 "$root/openssl-build.log"; say "OpenSSL failed: $root/openssl-build.log"; exit 1; }

# ---- libpq ----
ws_fetch_source postgresql-15 "$pg_deb" "$root/pg-src"
tree=$(find "$root/pg-src" -mindepth 1 -maxdepth 1 -type d | head -n1)
mkdir -p "$root/pg-build"
say "building libpq of $(basename "$tree") for Windows (log: $root/pg-build.log)"
# The static OpenSSL needs the Windows libraries it calls; the MinGW runtime (libgcc,
# winpthread) goes into libpq.dll, as into every program and DLL of the project.
(cd "$root/pg-build" &&
    "$tree/configure" "${pg_options[@]}" --prefix="$root/pg-install" CC="$cc" \
        CFLAGS="${cflags[*]}" CPPFLAGS="-I$ssl/include" LDFLAGS="-L$ssl/lib" \
        LDFLAGS_SL="-static" LIBS="-lws2_32 -lgdi32 -lcrypt32" &&
    nice -n 15 make -j "$jobs" -C src/interfaces/libpq) > "$root/pg-build.log" 2>&1 ||
    { tail -n 30 "$root/pg-build.log"; say "libpq failed: $root/pg-build.log"; exit 1; }

# What the program builds against and carries: the DLL, its import library, the three
# headers of the client interface, and the licences of both.
built="$root/pg-build/src/interfaces/libpq"
mkdir -p "$prefix.tmp/bin" "$prefix.tmp/lib" "$prefix.tmp/include" "$prefix.tmp/licenses/PostgreSQL" \
    "$prefix.tmp/licenses/OpenSSL"
cp "$built/libpq.dll" "$prefix.tmp/bin/"
cp "$built/libpq.a" "$prefix.tmp/lib/libpq.dll.a"
cp "$tree/src/interfaces/libpq/libpq-fe.h" "$tree/src/include/postgres_ext.h" \
    "$root/pg-build/src/include/pg_config_ext.h" "$prefix.tmp/include/"
cp "$tree/COPYRIGHT" "$prefix.tmp/licenses/PostgreSQL/"
cp "$(find "$root/openssl-src" -mindepth 2 -maxdepth 2 -name LICENSE.txt | head -n1)" \
    "$prefix.tmp/licenses/OpenSSL/"
# Only Windows' own DLLs may be left for libpq.dll to load.
foreign=$("$target-objdump" -p "$prefix.tmp/bin/libpq.dll" | sed -n 's/^\tDLL Name: //p' |
          grep -viE '^(kernel32|advapi32|user32|gdi32|ws2_32|crypt32|secur32|shell32|wldap32|msvcrt|api-ms-win-.*)\.dll$' || true)
[ -z "$foreign" ] || { say "libpq.dll needs DLLs that do not travel: $foreign"; exit 1; }
mv "$prefix.tmp" "$prefix"
echo "$ssl_version" > "$root/openssl-version"
echo "$(( $(date +%s) - started ))" > "$root/build-seconds"
rm -rf "$root/openssl-src" "$root/openssl-build" "$root/openssl" "$root/pg-src" "$root/pg-build"
touch "$root/complete"
say "libpq for Windows (OpenSSL $ssl_version) built in $(cat "$root/build-seconds") s: $prefix"
