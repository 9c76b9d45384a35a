#!/bin/bash
# The headless counter's whole process on a generated sparse 24-megapixel JPEG with a model taught on
# a corner of it: the specified count alone, with the learnt count (--density), with the blob count
# (--blobs) and with both. Prints the best wall-clock time of each and the limit both together should
# stay under: 1.5 x the count alone plus the learnt count's own cost (--density less the count alone).
# With a second build folder (an earlier version, say) its counter runs beside ours on the same files.
# Usage: [RUNS=n] bench/blobs_with_learnt.sh [release build folder [earlier release build folder]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
before=${2:-}
runs=${RUNS:-5}
. bench/support/common.sh
release_build "$build" spottally-count make-sample
command -v cjpeg >/dev/null 2>&1 || { echo "cjpeg is not installed (libjpeg-turbo-progs)" >&2; exit 1; }

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$build/tests/make-sample" "$folder/sparse.ppm" 6000 4000 10000 11 "$folder/marks.csv" >/dev/null
cjpeg -quality 90 -outfile "$folder/sparse.jpg" "$folder/sparse.ppm"
rm -f "$folder/sparse.ppm"
awk -F, 'NR == 1 || ($1 < 1500 && $2 < 1500)' "$folder/marks.csv" >"$folder/teach.csv"
"$build/spottally-count" --learn "$folder/teach.csv" --learn-region 0,0,1500,1500 \
    --learn-out "$folder/params.txt" "$folder/sparse.jpg" >/dev/null

for counter in "$build" $before; do
    run=("$counter/spottally-count" --params-from "$folder/params.txt" --out "$folder/out")
    alone=$(best_ms "${run[@]}" "$folder/sparse.jpg")
    learnt=$(best_ms "${run[@]}" --density "$folder/sparse.jpg")
    blobs=$(best_ms "${run[@]}" --blobs "$folder/sparse.jpg")
    both=$(best_ms "${run[@]}" --blobs --density "$folder/sparse.jpg")
    echo "$counter: count alone $alone ms, --density $learnt ms, --blobs $blobs ms, --blobs --density $both ms;" \
        "limit $(( alone * 3 / 2 + learnt - alone )) ms"
done
