#!/bin/bash
# The headless counter's whole process (decode, count, report) on generated JPEG pictures, beside
# djpeg -dct int -ppm on the same files, in one run. Prints the best wall-clock time of each, their
# ratio and the counter's peak memory against the decoded picture's size. With a second build folder
# (an earlier version, say) its counter runs beside ours on the same files, with its ratio to djpeg.
# Usage: [RUNS=n] bench/counter_vs_djpeg.sh [release build folder [earlier release build folder]]
# (default: build-release, configured if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
before=${2:-}
runs=${RUNS:-7}
. bench/support/common.sh
release_build "$build" spottally-count make-sample
command -v djpeg >/dev/null 2>&1 || { echo "djpeg is not installed (libjpeg-turbo-progs)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (package time)" >&2; exit 1; }

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

for size in "2048 1536 1500" "6000 4000 10000"; do
    read -r width height particles <<<"$size"
    ppm="$folder/m_${width}x${height}.ppm"
    jpeg="$folder/m_${width}x${height}.jpg"
    "$build/tests/make-sample" "$ppm" "$width" "$height" "$particles" 11 >/dev/null
    cjpeg -quality 90 -outfile "$jpeg" "$ppm"
    rm -f "$ppm"
    theirs=$(best_ms djpeg -dct int -ppm "$jpeg")
    decoded_kb=$(( width * height * 3 / 1024 ))
    for counter in "$build" $before; do
        ours=$(best_ms "$counter/spottally-count" --jobs 1 --out "$folder/out" "$jpeg")
        count=$("$counter/spottally-count" --jobs 1 --out "$folder/out" "$jpeg" | cut -f2)
        peak_kb=$(/usr/bin/time -f '%M' "$counter/spottally-count" --jobs 1 --out "$folder/out" "$jpeg" 2>&1 >/dev/null | tail -1)
        echo "${width} x ${height}, $counter (${count} particles counted): counter ${ours} ms, djpeg ${theirs} ms," \
            "ratio $(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 1) }');" \
            "peak memory $(( peak_kb / 1024 )) MB = $(awk -v a="$peak_kb" -v b="$decoded_kb" 'BEGIN { printf "%.2f", a / b }') x the decoded picture"
    done
done
