#!/bin/bash
# Runs one test program many times, several at a time, each in its own
# private network namespace, to bring out rare faults (races at shut-down).
# Not run by test.sh.
#   tools/repeat-test.sh <test binary> [runs=100] [parallel=6] [test functions...]
# Logs go to a temporary folder; prints the number of runs and failures.
set -u
bin=$(readlink -f "$1"); runs=${2:-100}; par=${3:-6}; shift $(( $# < 3 ? $# : 3 ))
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d "${TMPDIR:-/tmp}/repeat-test.XXXXXX")
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=0 \
       UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export bin out here fns="$*"
seq 1 "$runs" | xargs -P "$par" -I{} bash -c \
    '"$here/tests/support/netns-run.sh" "$bin" $fns >"$out/{}.log" 2>&1; echo "{} $?" >>"$out/summary"'
echo "runs: $(wc -l <"$out/summary") failures: $(awk '$2 != 0' "$out/summary" | wc -l) (logs in $out)"
