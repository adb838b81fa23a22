#!/usr/bin/env bash
# Reruns every figure of the README: builds the benchmarks optimised, runs each command of
# bench/figures.txt once (in the build's bench/ folder, in the file's order) and prints each
# figure's median and spread beside the range the README states for it, with OUT OF RANGE where
# the median falls outside, and the one-minute load average before and after each command.
# Exits 1 when a figure is out of range or was not printed.
# Usage: bash bench/rerun.sh [build folder]   (default: $QUIVA_BENCH_BUILD_DIR, else build-rel)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
figures=$top/bench/figures.txt
build=${1:-${QUIVA_BENCH_BUILD_DIR:-$top/build-rel}}
build=$(mkdir -p "$build" && cd "$build" && pwd)

# The commands, each once, in the order of their first line.
mapfile -t commands < <(awk '!/^#/ && NF { $1 = $2 = $3 = ""; sub(/^ +/, ""); if (!seen[$0]++) print }' "$figures")
mapfile -t targets < <(printf '%s\n' "${commands[@]}" | awk '{ sub(/^\.\//, "", $1); print $1 }' | sort -u)

echo "building ${targets[*]} (Release) in $build"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUIVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j "${QUIVA_JOBS:-4}" >/dev/null

load() { cut -d' ' -f1 /proc/loadavg; }
printed=$(mktemp)
trap 'rm -f "$printed"' EXIT
echo "$(nproc) cores; $(date -u '+%Y-%m-%d %H:%M UTC')"
for command in "${commands[@]}"; do
    before=$(load)
    echo "== $command"
    # A command that fails leaves its figures unprinted, which the comparison reports.
    (cd "$build/bench" && eval "$command") | tee -a "$printed" || echo "!! exit status $? of: $command"
    echo "   load average $before before, $(load) after"
done

echo
echo "figure                          median (spread)                    stated range"
status=0
while read -r key low high _; do
    line=$(grep -m1 "^figure $key: " "$printed" || true)
    if [ -z "$line" ]; then
        printf '%-31s %-34s %s-%s  NOT PRINTED\n' "$key" "-" "$low" "$high"
        status=1
        continue
    fi
    # "figure <key>: ratio <median> (<low>-<high>) | ..." or "figure <key>: <median> <unit> (<low>-<high>) | ..."
    value=${line#"figure $key: "}
    value=${value#ratio }
    value=${value%% | *}
    median=${value%% *}
    verdict=$(awk -v m="$median" -v lo="$low" -v hi="$high" 'BEGIN { print (m + 0 < lo + 0 || m + 0 > hi + 0) ? "OUT OF RANGE" : "in range" }')
    [ "$verdict" = "in range" ] || status=1
    printf '%-31s %-34s %s-%s  %s\n' "$key" "$value" "$low" "$high" "$verdict"
done < <(awk '!/^#/ && NF' "$figures")
exit $status
