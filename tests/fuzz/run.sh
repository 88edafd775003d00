#!/bin/sh
# Runs every fuzz target of a -DORVALIN_FUZZ=ON build for a while, two at a
# time, starting from the committed seed inputs. New inputs and findings go to
# a scratch folder (the seeds stay as committed); any crash, leak, sanitizer
# report or failed check ends the run with an error.
#
#   tests/fuzz/run.sh <build dir> [seconds per target]
#
# The test command runs with a fixed seed, so that a red run can be repeated
# and an unrelated change never fails on a finding that chance turned up; set
# ORVALIN_FUZZ_SEED (0: a new seed each run) to explore further.
set -eu

build=$1
seconds=${2:-30}
seed=${ORVALIN_FUZZ_SEED:-1}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/orvalin-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# Leaks of Qt's own, and only those, are listed in the shared suppressions.
export LSAN_OPTIONS="fast_unwind_on_malloc=0:print_suppressions=0:suppressions=$here/../sanitizers/lsan.supp"

run_one() {
    name=$1
    mkdir -p "$work/$name/corpus" "$work/$name/findings"
    "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -seed="$seed" -print_final_stats=1 \
        -artifact_prefix="$work/$name/findings/" "$work/$name/corpus" "$here/corpus/$name" \
        > "$work/$name.log" 2>&1
}

report() {
    name=$1 rc=$2
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log")
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$name.log" | tail -n 1)
    if [ "$rc" -ne 0 ]; then
        echo "== fuzz_$name FAILED (exit $rc); its output:"
        cat "$work/$name.log"
        for f in "$work/$name/findings"/*; do
            [ -e "$f" ] || continue
            echo "== finding $(basename "$f") (base64):"
            base64 "$f"
        done
        return 1
    fi
    echo "== fuzz_$name: ${runs:-?} inputs run; $done_line"
}

failed=0
set -- checkanswer configini convertini pidrecord
while [ $# -gt 0 ]; do
    a=$1; shift
    b=${1:-}; [ $# -gt 0 ] && shift
    rc_a=0 rc_b=0
    run_one "$a" & pid_a=$!
    if [ -n "$b" ]; then run_one "$b" & pid_b=$!; fi
    wait "$pid_a" || rc_a=$?
    if [ -n "$b" ]; then wait "$pid_b" || rc_b=$?; fi
    report "$a" "$rc_a" || failed=1
    if [ -n "$b" ]; then report "$b" "$rc_b" || failed=1; fi
done
exit $failed
