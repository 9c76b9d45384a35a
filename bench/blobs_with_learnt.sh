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
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target spottally-count make-sample >/dev/null
command -v cjpeg >/dev/null 2>&1 || { echo "cjpeg is not installed (libjpeg-turbo-progs)" >&2; exit 1; }

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$build/tests/make-sample" "$folder/sparse.ppm" 6000 4000 10000 11 "$folder/marks.csv" >/dev/null
cjpeg -quality 90 -outfile "$folder/sparse.jpg" "$folder/sparse.ppm"
rm -f "$folder/sparse.ppm"
awk -F, 'NR == 1 || ($1 < 1500 && $2 < 1500)' "$folder/marks.csv" >"$folder/teach.csv"
"$build/spottally-count" --learn "$folder/teach.csv" --learn-region 0,0,1500,1500 \
    --learn-out "$folder/params.txt" "$folder/sparse.jpg" >/dev/null

best_of() {  # best wall-clock milliseconds of a command run $runs times
    local best=""
    for _ in $(seq $runs); do
        local start end ms
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        ms=$(( (end - start) / 1000000 ))
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    echo "$best"
}

for counter in "$build" $before; do
    run=("$counter/spottally-count" --params-from "$folder/params.txt" --out "$folder/out")
    alone=$(best_of "${run[@]}" "$folder/sparse.jpg")
    learnt=$(best_of "${run[@]}" --density "$folder/sparse.jpg")
    blobs=$(best_of "${run[@]}" --blobs "$folder/sparse.jpg")
    both=$(best_of "${run[@]}" --blobs --density "$folder/sparse.jpg")
    echo "$counter: count alone $alone ms, --density $learnt ms, --blobs $blobs ms, --blobs --density $both ms;" \
        "limit $(( alone * 3 / 2 + learnt - alone )) ms"
done
