# Shared by the whole-process bench scripts, sourced from the project folder.

# Configures the release build folder $1 when it is not yet, then builds the targets named after it.
release_build() {
    local build=$1
    shift
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    fi
    local targets=()
    for target in "$@"; do targets+=(--target "$target"); done
    cmake --build "$build" "${targets[@]}" >/dev/null
}

# The best wall-clock milliseconds of a command run $runs times, its output dropped.
best_ms() {
    local best=""
    for _ in $(seq "$runs"); do
        local start end ms
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        ms=$(( (end - start) / 1000000 ))
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    echo "$best"
}
