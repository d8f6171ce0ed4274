#!/bin/sh
# Proves the Windows program under Wine (make wine-app-tests), in a throw-away prefix
# on an X server of its own (Xvfb), with no serial device of the machine in sight:
#   1. the installer runs silently, puts the program under Program Files with its
#      Start-menu entry, and prepares C:\Quillon\Haltguard IDs; run again, it keeps
#      the groups there;
#   1b. the installed setup tool, through libpq.dll, tells a group server that refuses
#      the connection and a connection string with a password, and writes nothing;
#   2. the installed groups tool imports the .xlsx, .ods and semicolon Windows-1252
#      CSV files LibreOffice made, exports each group in all three kinds and imports
#      those again, every group the same;
#   3. the installed program starts and shows the launcher;
#   4. the uninstaller removes the program and leaves the groups;
#   5. the store's tests and the window's, cross-built, pass;
#   6. the window sends and reads IDs, the company name and the clock through a COM
#      port of the prefix to the tester simulator running natively on a
#      pseudo-terminal; the simulator's state is checked afterwards.
#
#   scripts/wine-app-tests.sh WINDOWS_BUILD_DIR SIMULATOR
set -eu

[ $# -eq 2 ] || { echo "usage: $0 WINDOWS_BUILD_DIR SIMULATOR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-session.sh"
wine_isolate "$@"
simulator=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
build=$(cd "$1" && pwd)

eval "$("$here/build-qt-windows.sh" --where)"
eval "$("$here/build-libpq-windows.sh" --where)"
installer=$(ls "$build"/haltguard-ids-*-setup.exe)
work="$build/wine-app"
rm -rf "$work"
mkdir -p "$work"

passed=0
failed=0
say() { echo "wine-app-tests: $*"; }
check() {  # NAME COMMAND...: one numbered check, its outcome on one line
    name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        say "ok: $name"
    else
        failed=$((failed + 1))
        say "FAILED: $name"
    fi
}

xvfb_pid="" app_pid="" sim_pid=""
cleanup() {
    for pid in $app_pid $sim_pid; do kill "$pid" 2>/dev/null || true; done
    wine_stop
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

# ---- an X server of our own, for the launcher and Wine's windows ----
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
xvfb_pid=$!
i=0
while [ ! -s "$work/display" ]; do
    i=$((i + 1))
    [ $i -le 100 ] || { say "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
    sleep 0.1
done
export DISPLAY=":$(cat "$work/display")"

wine_start "$work/prefix" "$work/home"
drive_c="$WINEPREFIX/drive_c"
program_dir="$drive_c/Program Files/Haltguard IDs"
data_dir="$drive_c/Quillon/Haltguard IDs"
groups="$data_dir/IDGroup.db"

# ---- 1. install, and install again over a group ----
say "installing $(basename "$installer") silently"
installed() {
    timeout 300 "$wine" "$installer" /S &&
        [ -f "$program_dir/haltguard-ids.exe" ] && [ -f "$program_dir/haltguard-ids-setup.exe" ] &&
        [ -f "$program_dir/haltguard-ids-groups.exe" ] &&
        [ -f "$program_dir/Qt6Widgets.dll" ] && [ -f "$program_dir/platforms/qwindows.dll" ] &&
        [ -f "$program_dir/libpq.dll" ] &&
        [ -f "$program_dir/uninstall.exe" ] &&
        [ -f "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Haltguard IDs.lnk" ]
}
groups_table_made() {
    [ -d "$data_dir/IDs" ] &&
        [ "$(sqlite3 "$groups" "SELECT sql FROM sqlite_master WHERE name = 'records'")" = \
          'CREATE TABLE records ("Group Name" VARCHAR(30), "IDListName" VARCHAR(150), UNIQUE ("Group Name"))' ]
}
group_kept() {
    [ "$(sqlite3 "$groups" "SELECT count(*) FROM records WHERE \"Group Name\" = 'Kept'")" = 1 ]
}
check "the installer puts the program, its Qt and the Start-menu entry in place" installed
check "the installer prepares C:\\Quillon\\Haltguard IDs with the empty groups table" groups_table_made
sqlite3 "$groups" "INSERT INTO records VALUES ('Kept', 'Kept 01-01-2026 00_00_00 by ')"
check "installing again keeps the groups" sh -c 'timeout 300 "$0" "$1" /S' "$wine" "$installer"
check "the group is still there" group_kept

# ---- 1b. the installed setup tool and a group server ----
# A loopback port where nothing listens: libpq.dll loads, connects, and the refusal is
# told in plain words with status 1 and no choice written.
closed_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
setup_tool_refuses() {  # CONNECTION TOLD
    out=$(timeout 120 "$wine" "$program_dir/haltguard-ids-setup.exe" --server "$1" 2>&1)
    status=$?
    echo "$out" >> "$work/setup-server.log"
    [ "$status" -eq 1 ] && echo "$out" | grep -qF "$2" && [ ! -e "$data_dir/store.conf" ]
}
check "the setup tool tells a server that refuses the connection" setup_tool_refuses \
    "host=127.0.0.1 port=$closed_port dbname=haltguard user=lane1" "the connection was refused"
check "the setup tool refuses a password in the connection string" setup_tool_refuses \
    "host=127.0.0.1 dbname=haltguard password=secret" \
    'leave it out and put it in %APPDATA%\postgresql\pgpass.conf'

# ---- 2. the installed groups tool, on the files LibreOffice made ----
groups_tool() {
    timeout 120 "$wine" "$program_dir/haltguard-ids-groups.exe" "$@" >> "$work/groups-tool.log" 2>&1
}
sheets_through_the_tool() {
    out=$(wine_path "$work")
    n=0
    for source in fleet.xlsx fleet.ods fleet-semicolon-1252.csv; do
        n=$((n + 1))
        groups_tool import "$(wine_path "$here/../tests/sheets/files/$source")" "From $n" &&
            groups_tool export "From $n" "$out\\out$n.xlsx" &&
            groups_tool export "From $n" "$out\\out$n.ods" &&
            groups_tool export --separator semicolon --encoding windows-1252 "From $n" \
                "$out\\out$n.csv" || return 1
        for kind in xlsx ods csv; do
            groups_tool import "$out\\out$n.$kind" "Again $n $kind" &&
                groups_tool export --plain "Again $n $kind" "$out\\check-$n-$kind.csv" &&
                cmp -s "$work/check-1-xlsx.csv" "$work/check-$n-$kind.csv" || return 1
        done
    done
    tr -d '\r' < "$work/check-1-xlsx.csv" > "$work/check.csv"
    tr -d '\r' < "$work/out2.csv" > "$work/check-1252.csv"
    grep -qx '0,0012,TR-0001' "$work/check.csv" && grep -qx '1,Zoë 7,' "$work/check.csv" &&
        LC_ALL=C grep -qx "$(printf '="1";Zo\353 7;')" "$work/check-1252.csv"
}
check "the groups tool imports and exports .xlsx, .ods and Windows-1252 CSV alike" \
    sheets_through_the_tool

# ---- 3. the installed program shows the launcher ----
launcher_shown() {
    "$wine" "$program_dir/haltguard-ids.exe" > "$work/program.log" 2>&1 &
    app_pid=$!
    i=0
    until xwininfo -root -tree 2> /dev/null | grep -q '"Haltguard IDs"'; do
        i=$((i + 1))
        [ $i -le 600 ] || { cat "$work/program.log"; return 1; }
        sleep 0.1
    done
    sleep 1  # painted, for the picture
    ! command -v xwd > /dev/null || xwd -root -silent > "$work/launcher.xwd"
    kill "$app_pid"
    wait "$app_pid" 2> /dev/null || true
    app_pid=""
}
check "the installed program starts and shows the launcher" launcher_shown

# ---- 4. uninstall: the program goes, the groups stay ----
uninstalled() {
    "$wine" "$program_dir/uninstall.exe" /S
    # The uninstaller runs on from a copy of itself: wait for it to finish.
    i=0
    while [ -e "$program_dir/haltguard-ids.exe" ] || [ -e "$program_dir/uninstall.exe" ]; do
        i=$((i + 1))
        [ $i -le 300 ] || return 1
        sleep 0.2
    done
    [ ! -e "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Haltguard IDs.lnk" ]
}
check "the uninstaller removes the program and its Start-menu entry" uninstalled
check "the uninstaller leaves the groups" group_kept

# ---- 5. the store's tests and the window's ----
# After the uninstall: the window's tests lay their groups in C:\Quillon\Haltguard IDs
# of this throw-away prefix (on Windows that folder is fixed), and say so to be let in.
# The test programs find Qt's DLLs in the Qt build (Qt finds its plugins beside them)
# and libpq.dll in its own.
export WINEPATH="$(wine_path "$HG_QT_WIN_PREFIX/bin");$(wine_path "$HG_LIBPQ_WIN_PREFIX/bin")"
export HG_WINE_THROWAWAY_PREFIX=1
for program in tests/store/store_tests.exe tests/shell/shell_unit_tests.exe; do
    check "$program" timeout 600 "$wine" "$build/$program"
done
check tests/shell/shell_tests.exe \
    timeout 900 "$wine" "$build/tests/shell/shell_tests.exe" -platform offscreen

# ---- 6. transfers against the simulator on COM1 ----
com=1
sim_dir="$work/simulator"
mkdir -p "$sim_dir"
XDG_CONFIG_HOME="$sim_dir/config" "$simulator" --com $com --log "$sim_dir/sim$com.log" \
    --state "$sim_dir/sim$com.state" --die-with-parent > "$sim_dir/first-line" < /dev/null &
# (Wine passes no QT_ variable on to Windows programs: Qt's platform is chosen with
# -platform below.)
sim_pid=$!
i=0
until [ -s "$sim_dir/first-line" ]; do
    i=$((i + 1))
    [ $i -le 100 ] || { say "the simulator did not start"; exit 1; }
    sleep 0.1
done
device=$(cut -d' ' -f2 "$sim_dir/first-line")
wine_link_port $com "$device"
say "the simulator is COM$com of the prefix: $device"
check "Send IDs, Read IDs, company name and clock through COM$com" \
    env HG_WINE_SIM_COM=$com HG_WINE_SIM_DIR="$(wine_path "$sim_dir")" \
    timeout 600 "$wine" "$build/tests/e2e/win32_e2e_tests.exe" -platform offscreen
# (The simulator runs on until the end: Wine's server keeps the port's device open.)
state_holds() { grep -qxF "$1" "$sim_dir/sim$com.state"; }
check "the tester holds the last vehicle ID sent" state_holds "$(printf 'FEF8\tVeh 95          ')"
check "the tester holds the company name sent" state_holds "$(printf '01C2\tH\\xE9lix Ltd       ')"
check "the tester's clock was set" grep -q '^CLOCK	[0-9]\{14\}$' "$sim_dir/sim$com.state"

echo "wine-app-tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
