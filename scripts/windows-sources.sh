# Shared by the scripts that build libraries for the Windows program from Debian's own
# source packages (build-qt-windows.sh, build-libpq-windows.sh); sourced, not run.
#
#   ws_begin NAME      the cache folder ($ws_cache), messages as "NAME: ...", and one
#                      run of NAME at a time on the machine (a second waits, then finds
#                      the cache); NAME also names the lock and the private apt folder,
#                      so that scripts of different names run side by side
#   ws_key             reads its input, prints a short key for a cache folder name
#   ws_source_versions PACKAGE
#                      the versions of the source package the archive lists, newest first
#   ws_fetch_source PACKAGE VERSION DIR
#                      the source package, unpacked, in DIR; fails when the archive does
#                      not serve that version
#
# The deb-src entries are derived at run time from the machine's own apt sources and
# kept in the cache with apt's lists: the machine's apt configuration is not touched.

ws_cache="${XDG_CACHE_HOME:-$HOME/.cache}/haltguard-ids"

ws_key() { sha256sum | cut -c1-12; }

say() { echo "$ws_name: $*"; }

ws_begin() {  # NAME
    ws_name=$1
    mkdir -p "$ws_cache"
    # The Qt script's lock and apt folder keep the names they always had.
    local suffix=""
    [ "$ws_name" = build-qt-windows ] || suffix="-${ws_name#build-}"
    exec 9> "$ws_cache/lock$suffix"
    flock 9
    ws_apt_dir="$ws_cache/apt$suffix"
}

# apt's lists of source packages, private to this run: read afresh once a run, so that
# a source package fetched weeks later is found in today's archive.
ws_read_lists() {
    ws_apt_opts=(-o "Dir::Etc::sourcelist=$ws_apt_dir/sources.list"
                 -o "Dir::Etc::sourceparts=$ws_apt_dir/sources.list.d"
                 -o "Dir::State::Lists=$ws_apt_dir/lists"
                 -o "Dir::Cache=$ws_apt_dir/cache"
                 -o "Debug::NoLocking=1")
    # apt's download user cannot reach a cache in root's home; the lists are ours alone.
    [ "$(id -u)" -ne 0 ] || ws_apt_opts+=(-o "APT::Sandbox::User=root")
    [ -z "${ws_lists_read:-}" ] || return 0
    rm -rf "$ws_apt_dir"
    mkdir -p "$ws_apt_dir/sources.list.d" "$ws_apt_dir/lists/partial" \
        "$ws_apt_dir/cache/archives/partial"
    : > "$ws_apt_dir/sources.list"
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >> "$ws_apt_dir/sources.list"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" > "$ws_apt_dir/sources.list.d/$(basename "$f")"
    done
    say "reading the source package lists"
    apt-get "${ws_apt_opts[@]}" update -qq
    ws_lists_read=1
}

ws_source_versions() {  # PACKAGE
    ws_read_lists
    apt-cache "${ws_apt_opts[@]}" showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' |
        sort -u | sort -r -V
}

ws_fetch_source() {  # PACKAGE VERSION DIR
    local package=$1 version=$2 dir=$3
    ws_read_lists
    rm -rf "$dir.tmp"
    mkdir -p "$dir.tmp"
    say "fetching the $package $version source package"
    # Tested here, not left to set -e, which does not act inside a function run as a
    # condition (trying one version after another).
    (cd "$dir.tmp" && apt-get "${ws_apt_opts[@]}" source -qq "$package=$version" >/dev/null) ||
        { rm -rf "$dir.tmp"; return 1; }
    rm -rf "$dir"
    mv "$dir.tmp" "$dir"
}
