#!/usr/bin/env bash
# Screenshots of the desktop program on first start, as a user sees it: a virtual X screen of 1366 x 768
# (Xvfb) with a window manager (openbox), the program started with the bundled sample picture and fresh
# settings, then counted (a click on its count button). Two pictures: at scale factor 1 and at
# QT_SCALE_FACTOR=2 (683 x 384 logical pixels). Not run by the tests.
#
#   scripts/screenshot.sh [BUILD_DIR] [OUT_DIR]
#
# BUILD_DIR (default build) holds a built spottally; OUT_DIR (default the current folder) receives
# spottally-1366x768.png and spottally-1366x768-scale2.png. Needs xvfb, openbox, xdotool and
# imagemagick (apt-get install xvfb openbox xdotool imagemagick).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir="$PWD"
build_dir="$(cd "${1:-build}" && pwd)"
out_dir="$(mkdir -p "${2:-.}" && cd "${2:-.}" && pwd)"

for tool in Xvfb openbox xdotool import; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "screenshot: $tool is missing (apt-get install xvfb openbox xdotool imagemagick)" >&2
        exit 1
    fi
done
[ -x "$build_dir/spottally" ] || { echo "screenshot: no $build_dir/spottally (build it first)" >&2; exit 1; }

work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

shoot() {  # shoot SCALE OUTPUT
    local scale="$1" output="$2" display=":97"
    # A copy of the program in a folder of its own: its settings file (beside it) starts fresh.
    local program="$work/scale$scale"
    mkdir -p "$program"
    cp "$build_dir/spottally" "$program/"
    [ -f "$build_dir/SpotTally_Manual.txt" ] && cp "$build_dir/SpotTally_Manual.txt" "$program/"
    cp "$source_dir/samples/sample.jpg" "$program/"

    Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
    local xvfb=$!
    pids+=("$xvfb")
    for _ in $(seq 50); do DISPLAY="$display" xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    DISPLAY="$display" openbox >/dev/null 2>&1 &
    local wm=$!
    pids+=("$wm")
    sleep 1
    DISPLAY="$display" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" "$program/spottally" "$program/sample.jpg" \
        >"$work/program-$scale.log" 2>&1 &
    local app=$!
    pids+=("$app")
    # The main window is the one titled exactly "SpotTally"; its count button lies 173 to 198 logical
    # pixels below the menu bar, from 8 pixels in.
    local main=""
    for _ in $(seq 100); do
        main="$(DISPLAY="$display" xdotool search --onlyvisible --name '^SpotTally$' 2>/dev/null | head -n 1 || true)"
        [ -n "$main" ] && break
        sleep 0.1
    done
    [ -n "$main" ] || { echo "screenshot: the main window did not show" >&2; cat "$work/program-$scale.log" >&2; exit 1; }
    sleep 2
    DISPLAY="$display" xdotool mousemove --window "$main" $((100 * scale)) $((209 * scale)) click 1
    sleep 2
    DISPLAY="$display" import -window root "$output"
    echo "screenshot: $output"
    kill "$app" "$wm" "$xvfb" 2>/dev/null || true
    wait "$app" "$wm" "$xvfb" 2>/dev/null || true
}

shoot 1 "$out_dir/spottally-1366x768.png"
shoot 2 "$out_dir/spottally-1366x768-scale2.png"
