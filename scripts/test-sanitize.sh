#!/usr/bin/env bash
# The second test command: builds SpotTally with AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer into build-asan/ (or the folder given as $1) and runs every test there,
# window tests offscreen. Any sanitizer report fails the run, also one from a program a test starts.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build_dir="${1:-build-asan}"
source_dir="$PWD"

# Each report stops its program with an error status; the reports are also kept as files, so a report
# from a child process whose status a test does not look at still fails the run.
reports="$source_dir/$build_dir/sanitizer-reports"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Leaks inside third-party libraries only (see the file); print_suppressions=0 keeps a clean run silent.
export LSAN_OPTIONS="suppressions=$source_dir/tests/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSPOTTALLY_SANITIZE=ON -DSPOTTALLY_BENCH=OFF >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"

rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="$ASAN_OPTIONS:log_path=$reports/asan"
export UBSAN_OPTIONS="$UBSAN_OPTIONS:log_path=$reports/ubsan"
status=0
# SPOTTALLY_SANITIZE_EXCLUDE: a ctest -E pattern of tests to leave out (CI leaves out the scheduler test).
exclude=()
[ -n "${SPOTTALLY_SANITIZE_EXCLUDE:-}" ] && exclude=(-E "$SPOTTALLY_SANITIZE_EXCLUDE")
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 1800 "${exclude[@]}" || status=$?

# UndefinedBehaviorSanitizer writes to the test's output whatever log_path says: look there too.
test_log="$build_dir/Testing/Temporary/LastTest.log"
if [ -f "$test_log" ] && grep -q -e ': runtime error: ' -e 'ERROR: [A-Za-z]*Sanitizer' "$test_log"; then
    grep -B2 -A12 -e ': runtime error: ' -e 'ERROR: [A-Za-z]*Sanitizer' "$test_log" >"$reports/from-test-output"
fi
if compgen -G "$reports/*" >/dev/null; then
    for report in "$reports"/*; do
        echo "=== sanitizer report $report"
        cat "$report"
    done
    echo "test-sanitize: sanitizer reports above (kept in $reports)" >&2
    exit 1
fi
if [ "$status" -ne 0 ]; then
    echo "test-sanitize: tests failed under the sanitizers" >&2
    exit "$status"
fi
echo "test-sanitize: every test passed with no sanitizer report"
