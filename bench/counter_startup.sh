#!/bin/bash
# The headless counter's start-up: its whole process on a 4 x 4 pixel picture (an upper bound on the
# time from process start to reading the first picture), the time from exec to opening the picture as
# strace sees it, and the instructions of the whole run (callgrind: repeatable on a busy machine).
# Optionally beside an earlier build's counter, in one run.
# Usage: bench/counter_startup.sh [release build folder [earlier build folder]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
earlier=${2:-}
runs=41
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target spottally-count spottally-count-qt >/dev/null

folder=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$folder"' EXIT
# A 4 x 4 red BMP, 24 bits a pixel.
python3 - "$folder/tiny.bmp" <<'PY'
import struct, sys
w = h = 4
row = bytes([0, 0, 255] * w)
data = row * h
header = b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54)
header += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
open(sys.argv[1], "wb").write(header + data)
PY

median_ms() {  # median wall-clock milliseconds (one decimal) of a command run $runs times
    local times=()
    for _ in $(seq $runs); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=($(( (end - start) / 1000 )))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { printf "%.1f", a[int((NR + 1) / 2)] / 1000 }'
}

to_first_read_ms() {  # median of exec -> open of the picture, as strace timestamps them
    local counter=$1 times=()
    for _ in $(seq 11); do
        times+=("$(strace -ttt -e trace=execve,openat "$counter" --out "$folder/out" "$folder/tiny.bmp" 2>&1 >/dev/null |
            awk '/execve\(/ { t0 = $1 } /tiny.bmp/ && !/execve\(/ && !done { printf "%.0f", ($1 - t0) * 1000000; done = 1 }')")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { printf "%.1f", a[int((NR + 1) / 2)] / 1000 }'
}

instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null | sed -n 's/.*Collected : //p'
}

mkdir -p "$folder/out"
for counter in "$build/spottally-count" ${earlier:+"$earlier/spottally-count"}; do
    line="$counter: whole process on 4 x 4 pixels $(median_ms "$counter" --out "$folder/out" "$folder/tiny.bmp") ms (median of $runs)"
    command -v strace >/dev/null && line+=", exec to opening the picture $(to_first_read_ms "$counter") ms (strace)"
    command -v valgrind >/dev/null && line+=", $(instructions "$counter" --out "$folder/out" "$folder/tiny.bmp") instructions"
    echo "$line; libraries loaded: $(ldd "$counter" | wc -l)"
done
