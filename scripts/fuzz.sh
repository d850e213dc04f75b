#!/usr/bin/env bash
# Runs every libFuzzer target of build-fuzz/ for a bounded time or number of executions, starting from
# the seed corpus in fuzz/corpus/<target>/. Fails on the first finding and on a target that does not run.
#   scripts/fuzz.sh --seconds 20        each target for 20 s
#   scripts/fuzz.sh --runs 10000000     each target for 10 million executions
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=20)
case "${1:-}" in
    --seconds) limit=(-max_total_time="$2") ;;
    --runs) limit=(-runs="$2") ;;
    "") ;;
    *) echo "usage: $0 [--seconds N | --runs N]" >&2; exit 2 ;;
esac

shopt -s nullglob
targets=(build-fuzz/fuzz/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
    echo "no fuzz targets in build-fuzz/fuzz: build with -DBELVANE_FUZZ=ON first" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for t in "${targets[@]}"; do
    name=$(basename "$t")
    mkdir -p "$work/$name"
    if [ -d "fuzz/corpus/$name" ]; then
        cp -r "fuzz/corpus/$name/." "$work/$name/"
    fi
    echo "-- $name ${limit[*]}"
    # The fuzzer's own status counts: a target that fails to start, or stops on a finding, fails the run.
    status=0
    (cd "$work" && "$OLDPWD/$t" "${limit[@]}" -print_final_stats=1 -artifact_prefix="$work/$name-" \
        "$work/$name" >"$work/$name.log" 2>&1) || status=$?
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done|==|SUMMARY|INFO: Running)' \
        "$work/$name.log" || true
    findings=("$work/$name-"*)
    if [ "$status" -ne 0 ] && [ ${#findings[@]} -eq 0 ]; then
        echo "$name failed (exit status $status):" >&2
        tail -n 20 "$work/$name.log" >&2
        exit 1
    fi
    if [ ${#findings[@]} -gt 0 ]; then
        echo "finding in $name:" >&2
        ls "${findings[@]}" >&2
        mkdir -p build-fuzz/findings && cp "${findings[@]}" build-fuzz/findings/
        exit 1
    fi
done
