#!/bin/bash
# The headless counter's whole process on a generated dense 24-megapixel picture (blurry blue cells
# touching in clusters), as BMP and as JPEG, with the parameters users give such pictures. Prints the
# best wall-clock and CPU time of each run, the count, the peak memory against the decoded picture,
# and where one run's instructions go (decode, count, fill, report) as callgrind counts them.
# With a second build folder (an earlier version, say) its counter runs beside ours on the same files.
# Where OpenCV is installed (libopencv-dev), its Otsu threshold and connected components
# (bench/reference/otsu_components.cpp) run on the same BMP, whole processes side by side.
# Usage: [RUNS=n] bench/dense_count.sh [release build folder [earlier release build folder]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
before=${2:-}
runs=${RUNS:-5}
. bench/support/common.sh
release_build "$build" spottally-count make-sample
command -v cjpeg >/dev/null 2>&1 || { echo "cjpeg is not installed (libjpeg-turbo-progs)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (package time)" >&2; exit 1; }

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
parameters=(--min-size 3 --max-size 9 --colour 0,27,210 --colour-tolerance 32 --brightness-tolerance 36
            --min-contrast 10 --jobs 1 --out "$folder/out")

"$build/tests/make-sample" --clusters "$folder/dense.bmp" 6000 4000 8000 1 >/dev/null
"$build/tests/make-sample" --clusters "$folder/dense.ppm" 6000 4000 8000 1 >/dev/null
cjpeg -quality 90 -outfile "$folder/dense.jpg" "$folder/dense.ppm"
rm -f "$folder/dense.ppm"

best_of() {  # best wall-clock and CPU (user + system) milliseconds of a command run $runs times
    local best="" best_cpu=""
    for _ in $(seq $runs); do
        local times wall cpu
        /usr/bin/time -o "$folder/time" -f '%e %U %S' "$@" >/dev/null 2>&1
        times=$(tail -1 "$folder/time")
        wall=$(awk '{ printf "%d", $1 * 1000 }' <<<"$times")
        cpu=$(awk '{ printf "%d", ($2 + $3) * 1000 }' <<<"$times")
        if [ -z "$best" ] || [ "$wall" -lt "$best" ]; then best=$wall; fi
        if [ -z "$best_cpu" ] || [ "$cpu" -lt "$best_cpu" ]; then best_cpu=$cpu; fi
    done
    echo "$best ms wall, $best_cpu ms CPU"
}

if pkg-config --exists opencv4 2>/dev/null; then
    g++ -O2 -o "$folder/otsu_components" bench/reference/otsu_components.cpp $(pkg-config --cflags --libs opencv4)
    components=$("$folder/otsu_components" "$folder/dense.bmp")
    reference=$(best_of "$folder/otsu_components" "$folder/dense.bmp")
    echo "dense.bmp, OpenCV Otsu + connected components: $components components, $reference"
    reference_ms=${reference%% ms*}
else
    echo "OpenCV is not installed (libopencv-dev): no reference run"
    reference_ms=""
fi

decoded_kb=$(( 6000 * 4000 * 3 / 1024 ))
for picture in dense.bmp dense.jpg; do
    for counter in "$build" $before; do
        result=$(best_of "$counter/spottally-count" "${parameters[@]}" "$folder/$picture")
        count=$("$counter/spottally-count" "${parameters[@]}" "$folder/$picture" | cut -f2)
        peak_kb=$(/usr/bin/time -f '%M' "$counter/spottally-count" "${parameters[@]}" "$folder/$picture" 2>&1 >/dev/null | tail -1)
        against=""
        if [ -n "$reference_ms" ] && [ "$picture" = dense.bmp ]; then
            against=", $(awk -v a="${result%% ms*}" -v b="$reference_ms" 'BEGIN { printf "%.2f", a / (b > 0 ? b : 1) }') x OpenCV's"
        fi
        echo "$picture, $counter: $count particles, $result$against, peak memory $(( peak_kb / 1024 )) MB =" \
            "$(awk -v a="$peak_kb" -v b="$decoded_kb" 'BEGIN { printf "%.2f", a / b }') x the decoded picture"
    done
done

# Our counter only: an earlier one may take minutes under callgrind.
if command -v valgrind >/dev/null 2>&1; then
    for counter in "$build"; do
        valgrind --tool=callgrind --callgrind-out-file="$folder/callgrind.out" \
            "$counter/spottally-count" "${parameters[@]}" "$folder/dense.bmp" >/dev/null 2>&1
        callgrind_annotate --inclusive=yes "$folder/callgrind.out" 2>/dev/null | awk -v who="$counter" '
            { gsub(",", "", $1) }
            /PROGRAM TOTALS/ { total = $1 }
            /countOne\(/ && !one { one = $1 }
            /decodeRows\(/ && !decode { decode = $1 }
            /runCountAsRowsArrive\(/ && !count { count = $1 }
            /[ :]fillarea\(/ && !fill { fill = $1 }
            END {
                printf "%s, dense.bmp, instructions: %.2f G in all; decode %.1f %%, count %.1f %% (fill %.1f %%), report and the rest %.1f %%\n",
                    who, total / 1e9, 100 * decode / total, 100 * count / total, 100 * fill / total,
                    100 * (total - decode - count) / total
            }'
    done
fi
