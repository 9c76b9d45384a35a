#!/bin/bash
# The headless counter's start-up: its whole process on a picture that is not there (process start to
# the attempt to open the picture, and the message), on a 4 x 4 pixel picture, the time from exec to
# opening the picture as strace sees it (strace slows every call), and the instructions of the whole
# run (callgrind: repeatable on a busy machine). /bin/true is timed as the floor of any process here.
# Optionally beside an earlier build's counter, in one run.
# Usage: bench/counter_startup.sh [release build folder [earlier build folder]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
earlier=${2:-}
runs=41
. bench/support/common.sh
release_build "$build" spottally-count spottally-count-qt

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

median_ms() {  # wall-clock milliseconds (one decimal) of a command run $runs times: perf's mean, else the median
    if perf stat -x, true >/dev/null 2>&1; then
        { perf stat -r "$runs" "$@" 2>&1 >/dev/null || true; } | awk '/seconds time elapsed/ { printf "%.1f", $1 * 1000 }'
        return
    fi
    local times=()
    for _ in $(seq $runs); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1 || true
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
    line="$counter: start to opening the picture $(median_ms "$counter" --out "$folder/out" "$folder/missing.bmp") ms"
    line+=" (the whole process on a picture that is not there), whole process on 4 x 4 pixels"
    line+=" $(median_ms "$counter" --out "$folder/out" "$folder/tiny.bmp") ms ($runs runs each)"
    command -v strace >/dev/null && line+=", exec to opening the picture $(to_first_read_ms "$counter") ms (strace)"
    command -v valgrind >/dev/null && line+=", $(instructions "$counter" --out "$folder/out" "$folder/tiny.bmp") instructions"
    echo "$line; libraries loaded: $(ldd "$counter" | wc -l)"
done
echo "/bin/true: $(median_ms /bin/true) ms"
