#!/usr/bin/env bash
# Builds the fuzz targets (preset `fuzz`, clang + libFuzzer) and runs each for
# its share of SECONDS in all (default 60):
#   fuzz/run.sh [SECONDS]        e.g. fuzz/run.sh 3600 for an hour
# New inputs go to build/fuzz/corpus-<target>; an input that fails a target is
# kept in fuzz/regressions/<target>/, which the normal tests replay. Exits
# non-zero when a target failed.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
targets=(page cp936)
per=$(( seconds / ${#targets[@]} ))
(( per >= 1 )) || per=1

cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# Undefined behaviour stops the run like a crash does.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

status=0
for t in "${targets[@]}"; do
    work="$root/build/fuzz/corpus-$t"
    keep="$root/fuzz/regressions/$t"
    log="$root/build/fuzz/fuzz-$t.log"
    mkdir -p "$work" "$keep"
    before=$(find "$keep" -type f | wc -l)
    start=$(date +%s%N)
    set +e
    timeout $(( per + 120 )) "$root/build/fuzz/fuzz/fuzz_$t" \
        -max_total_time="$per" -print_final_stats=1 -artifact_prefix="$keep/" \
        "$work" "$root/fuzz/corpus/$t" >"$log" 2>&1
    rc=$?
    set -e
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    found=$(( $(find "$keep" -type f | wc -l) - before ))
    printf 'fuzz_%s: %s executions in %d.%03d s, %d failing input(s), exit %d (log: %s)\n' \
        "$t" "${runs:-?}" $(( ms / 1000 )) $(( ms % 1000 )) "$found" "$rc" "${log#"$root"/}"
    if (( rc != 0 )); then
        status=1
        grep -E 'Check|ERROR|runtime error' "$log" | head -n 5 || true
    fi
done
exit $status
