#!/bin/sh
# Runs libFuzzer targets of the fuzz build, JOBS at a time, SECONDS each, each on its
# corpus in build-fuzz/corpus/NAME; a crash, leak, time-out or memory blow-up stops
# the run with the target's log and leaves the input as build-fuzz/NAME-*.
#   scripts/run-fuzzers.sh SECONDS JOBS tester/fuzz_replyframe sheets/fuzz_csv ...
set -eu
[ $# -ge 3 ] || { echo "usage: $0 SECONDS JOBS FUZZER..." >&2; exit 2; }
seconds=$1 jobs=$2
shift 2
cd "$(dirname "$0")/../build-fuzz"
rm -f failed
printf '%s\n' "$@" | xargs -P "$jobs" -I{} sh -c '
    f={}; n=$(basename "$f")
    mkdir -p "corpus/$n"
    # The spreadsheet readers are tried past a cell'"'"'s limit of 1,000 characters.
    case $f in sheets/*) len=-max_len=32768 ;; *) len= ;; esac
    if "tests/$f" -max_total_time='"$seconds"' -print_final_stats=1 $len -rss_limit_mb=1024 \
        -timeout=10 -artifact_prefix="$n-" "corpus/$n" > "$n.log" 2>&1; then
        echo "$n: $(grep "^Done" "$n.log")"
    else
        echo "$n: FAILED (build-fuzz/$n.log)"; tail -40 "$n.log"; echo "$n" >> failed
    fi'
[ ! -f failed ]
