#!/usr/bin/env bash
# Installs what is missing, builds, and opens the bundled sample picture: in the desktop program when
# there is a display, otherwise with the headless counter, which prints the report.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# The two programs only: the tests and benchmarks are built by scripts/test.sh.
TARGETS="spottally spottally-count" scripts/build.sh build
sample="$PWD/samples/sample.jpg"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/spottally "$sample"
fi
echo "No display: counting the sample with the headless counter." >&2
out="$(mktemp -d)"
build/spottally-count --out "$out" "$sample"
cat "$out/c_sample.txt"
