#!/bin/bash
# Proof by hand (make screen-reader-check) that a screen reader announces the progress
# bar: Orca runs in a virtual display beside the program, speaking through Speech
# Dispatcher into a silent sound device, while the probe sends a group to the
# simulator. Orca's log must hold the bar's values as it spoke them ("53 percent.").
# Everything lives in a temporary home; make test never runs this.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$top/build}
work=${HG_IN_SESSION:-$(mktemp -d)}
export HOME=$work XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/run

if [ -z "${HG_IN_SESSION:-}" ]; then
    trap 'pkill -f "$work" 2>/dev/null; sleep 1; rm -rf "$work"' EXIT
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    "$build/tools/haltguard-ids-setup" --quiet
    printf 'slot,vehicle,trailer\n0,VEH 0,TR 0\n1,VEH 1,\n' > "$work/fleet.csv"
    "$build/tools/haltguard-ids-groups" import "$work/fleet.csv" Fleet >/dev/null
    # Speech goes to a sound device that discards it, at the pace of real speech.
    printf 'pcm.!default { type null }\n' > "$work/.asoundrc"
    mkdir -p "$work/speech"
    printf '%s\n' 'AudioOutputMethod "alsa"' 'AddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"' \
        'DefaultModule espeak-ng' > "$work/speech/speechd.conf"
    HG_IN_SESSION=$work BUILD=$build xvfb-run -a dbus-run-session -- "$0"
    exit
fi

# Inside the display and the session bus, in the outer call's work folder.
trap 'kill $(jobs -p) 2>/dev/null' EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately &
speech-dispatcher -d -t 0 -C "$work/speech" > "$work/speechd.out" 2>&1
sleep 2
# Orca's debug file is written in blocks; flushed at every line, it is whole when
# Orca is stopped.
/usr/bin/python3 - "$work/orca.log" > "$work/orca.out" 2>&1 <<'PY' &
import runpy, sys
import orca.debug as debug
log = sys.argv[1]
plain = debug.println
def println(*args, **kwargs):
    plain(*args, **kwargs)
    if debug.debugFile:
        debug.debugFile.flush()
debug.println = println
sys.argv = ["/usr/bin/orca", "--debug-file", log, "-e", "speech"]
runpy.run_path("/usr/bin/orca", run_name="__main__")
PY
sleep 4
"$build/tools/haltguard-tester-sim" --com 1 --state "$work/state.txt" --log "$work/sim.log" \
    > /dev/null 2>&1 &
sleep 1
"$build/shell/haltguard-ids" > "$work/program.out" 2>&1 &
sleep 2
/usr/bin/python3 "$top/scripts/screen-reader-probe.py" Fleet
sleep 3

spoken=$(grep -o "SPEECH OUTPUT: '[0-9]* percent.'" "$work/orca.log" | cut -d"'" -f2 | paste -sd' ')
echo "Orca said: ${spoken:-nothing about the progress bar}"
case "$spoken" in
*"100 percent."*) echo "ok: the screen reader announced the progress bar" ;;
*) echo "FAILED: Orca did not announce the progress bar (its log: $work/orca.log)"; exit 1 ;;
esac
