#!/bin/bash
# Decodes the same generated 24-megapixel JPEG (6000 x 4000, quality 90) with our loader and with
# djpeg -dct int, and prints the best wall-clock and CPU time of each.
# Usage: bench/jpeg_vs_djpeg.sh [build folder] (default: build)
set -euo pipefail
build=${1:-build}
bench="$build/bench/JpegDecode_bench"
runs=5
[ -x "$bench" ] || { echo "no $bench: build the target JpegDecode_bench first" >&2; exit 1; }
command -v djpeg >/dev/null 2>&1 || { echo "djpeg is not installed (libjpeg-turbo-progs)" >&2; exit 1; }

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
jpeg="$folder/bench_6000x4000_q90.jpg"

# Ours: the benchmark writes the file first, then decodes it into a fresh picture each time.
"$bench" --jpeg="$jpeg" --benchmark_filter='BM_DecodeJpeg24MP/' --benchmark_repetitions=$runs \
    --benchmark_format=csv 2>/dev/null >"$folder/ours.csv"
read -r ours_wall ours_cpu < <(awk -F, '$1 ~ /BM_DecodeJpeg24MP/ && $1 !~ /_(mean|median|stddev|cv)"?$/ {
        if (w == "" || $3 + 0 < w) w = $3 + 0; if (c == "" || $4 + 0 < c) c = $4 + 0 }
        END { printf "%.1f %.1f\n", w, c }' "$folder/ours.csv")

TIMEFORMAT='%R %U %S'
best_wall=""
best_cpu=""
for _ in $(seq $runs); do
    read -r wall user sys < <({ time djpeg -dct int -ppm "$jpeg" >/dev/null; } 2>&1)
    read -r wall cpu < <(awk -v w="$wall" -v u="$user" -v s="$sys" 'BEGIN { printf "%.1f %.1f\n", w * 1000, (u + s) * 1000 }')
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then best_wall=$wall; fi
    if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then best_cpu=$cpu; fi
done

echo "file: 6000 x 4000, quality 90, $(wc -c <"$jpeg") bytes; best of $runs runs each"
echo "ours  (decodePictureFile):  wall $ours_wall ms, cpu $ours_cpu ms"
echo "djpeg (-dct int -ppm):      wall $best_wall ms, cpu $best_cpu ms"
awk -v a="$ours_wall" -v b="$best_wall" -v c="$ours_cpu" -v d="$best_cpu" \
    'BEGIN { printf "ratio ours/djpeg: wall %.2f, cpu %.2f (target <= 1.20)\n", a / b, c / d }'
