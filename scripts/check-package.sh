#!/usr/bin/env bash
# Builds the Debian package with CPack and checks what it holds: both programs in usr/bin, the manual,
# the menu entry, the icons, the counter's man page and the library dependencies. Exits non-zero when
# any piece is missing.
#
#   scripts/check-package.sh [--install] [BUILD_DIR]
#
# BUILD_DIR (default build-package) is configured for the package's prefix /usr when it is new; only
# the two programs are built there. With --install (root on Debian only: it changes the machine) the
# package is then installed with apt-get and the installed programs are tried: the counter's --help,
# its man page, and the desktop program started from the menu entry's command with a picture.
# Remove it again with `apt-get remove -y spottally`.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir="$PWD"

install=0
build_dir=build-package
for argument in "$@"; do
    case "$argument" in
        --install) install=1 ;;
        -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "check-package: unknown option '$argument'" >&2; exit 2 ;;
        *) build_dir="$argument" ;;
    esac
done

for tool in cmake cpack dpkg-deb; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "check-package: $tool is missing (scripts/setup.sh installs it)" >&2
        exit 1
    fi
done

# --- Build ---------------------------------------------------------------------------------------
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    generator=()
    command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
    cmake -S "$source_dir" -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_INSTALL_PREFIX=/usr -DSPOTTALLY_BENCH=OFF >/dev/null
fi
build_dir="$(cd "$build_dir" && pwd)"
prefix="$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build_dir/CMakeCache.txt")"
if [ "$prefix" != /usr ]; then
    echo "check-package: $build_dir installs under '$prefix'; a Debian package needs" \
        "-DCMAKE_INSTALL_PREFIX=/usr (the window looks for its manual under the prefix it was built for)" >&2
    exit 1
fi
targets=(spottally spottally-count)
# The gzip'd man page is a target of its own when gzip was found.
grep -q '^GZIP_EXECUTABLE:FILEPATH=/' "$build_dir/CMakeCache.txt" && targets+=(spottally-manpage)
cmake --build "$build_dir" --parallel "$(nproc)" --target "${targets[@]}"

rm -f "$build_dir"/spottally_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
debs=("$build_dir"/spottally_*.deb)
if [ ! -f "${debs[0]}" ]; then
    echo "check-package: cpack made no spottally_*.deb in $build_dir" >&2
    exit 1
fi
deb="${debs[0]}"

# --- Contents ------------------------------------------------------------------------------------
echo "== $deb"
echo "== Control fields"
dpkg-deb -f "$deb"
echo "== Contents"
contents="$(dpkg-deb -c "$deb")"
echo "$contents"
echo "== Checks"

failures=0
pass() { echo "ok    $1"; }
fail() {
    echo "FAIL  $1" >&2
    failures=$((failures + 1))
}
check() {  # check DESCRIPTION COMMAND...
    local description="$1"
    shift
    if "$@"; then pass "$description"; else fail "$description"; fi
}

# Lines of `dpkg-deb -c`: mode owner size date time ./path
has_file() { echo "$contents" | awk '{print $1, $6}' | grep -qx -- "-[rwx-]* \./$1"; }
has_program() { echo "$contents" | awk '{print $1, $6}' | grep -qx -- "-rwxr-xr-x \./$1"; }

check "usr/bin/spottally, executable" has_program usr/bin/spottally
check "usr/bin/spottally-count, executable" has_program usr/bin/spottally-count
check "manual usr/share/spottally/SpotTally_Manual.txt" has_file usr/share/spottally/SpotTally_Manual.txt
check "menu entry usr/share/applications/spottally.desktop" has_file usr/share/applications/spottally.desktop
check "icon usr/share/icons/hicolor/scalable/apps/spottally.svg" \
    has_file usr/share/icons/hicolor/scalable/apps/spottally.svg
check "icon usr/share/icons/hicolor/256x256/apps/spottally.png" \
    has_file usr/share/icons/hicolor/256x256/apps/spottally.png
man_page=""
for candidate in usr/share/man/man1/spottally-count.1.gz usr/share/man/man1/spottally-count.1; do
    has_file "$candidate" && man_page="$candidate" && break
done
check "man page usr/share/man/man1/spottally-count.1[.gz]" test -n "$man_page"

field() { dpkg-deb -f "$deb" "$1"; }
depends="$(field Depends)"
check "Package is spottally" test "$(field Package)" = spottally
check "Section is science" test "$(field Section)" = science
check "Maintainer is set" test -n "$(field Maintainer)"
check "Depends names libqt6widgets6" grep -q '\blibqt6widgets6\b' <<<"$depends"
check "Depends names libjpeg62-turbo" grep -q '\blibjpeg62-turbo\b' <<<"$depends"
check "Depends names libtiff6 (compressed and 16-bit TIFF)" grep -q '\blibtiff6\b' <<<"$depends"

# The files themselves, unpacked into a scratch folder.
unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"

desktop="$unpacked/usr/share/applications/spottally.desktop"
if [ -f "$desktop" ]; then
    check "menu entry runs 'spottally %f'" grep -qx 'Exec=spottally %f' "$desktop"
    check "menu entry's icon is spottally" grep -qx 'Icon=spottally' "$desktop"
    check "menu entry offers JPEG, BMP, TIFF and PNG" grep -qx 'MimeType=image/jpeg;image/bmp;image/tiff;image/png;' "$desktop"
    check "menu entry's categories" grep -qx 'Categories=Science;Biology;Education;' "$desktop"
    if command -v desktop-file-validate >/dev/null 2>&1; then
        # Hints (e.g. two main categories, which is meant) do not fail the check; errors do.
        check "desktop-file-validate" desktop-file-validate "$desktop"
    else
        echo "skip  desktop-file-validate (desktop-file-utils is not installed)"
    fi
fi
png="$unpacked/usr/share/icons/hicolor/256x256/apps/spottally.png"
if [ -f "$png" ] && command -v file >/dev/null 2>&1; then
    check "PNG icon is 256 x 256" grep -q 'PNG image data, 256 x 256' <<<"$(file "$png")"
fi

# Every option of the counter's --help is described in its man page.
counter="$unpacked/usr/bin/spottally-count"
if [ -n "$man_page" ] && [ -x "$counter" ]; then
    if help="$("$counter" --help)"; then
        pass "spottally-count --help from the package"
        if [[ "$man_page" == *.gz ]]; then page="$(gzip -dc "$unpacked/$man_page")"; else page="$(cat "$unpacked/$man_page")"; fi
        page="${page//\\-/-}"
        missing=()
        for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
            grep -q -- "$option\b" <<<"$page" || missing+=("$option")
        done
        check "man page describes every --help option${missing:+ (missing: ${missing[*]})}" test ${#missing[@]} -eq 0
    else
        fail "spottally-count --help from the package"
    fi
fi

# One version: the package's, as the build wrote it into the manual and the man page.
version="$(field Version)"
manual="$unpacked/usr/share/spottally/SpotTally_Manual.txt"
[ -f "$manual" ] && check "manual names version $version" grep -qx "M a n u a l   Version $version" "$manual"
if [ -n "$man_page" ]; then
    if [[ "$man_page" == *.gz ]]; then th="$(gzip -dc "$unpacked/$man_page" | grep -m1 '^\.TH')"; else th="$(grep -m1 '^\.TH' "$unpacked/$man_page")"; fi
    check "man page names version $version" grep -qF "\"SpotTally $version\"" <<<"$th"
fi

if [ "$failures" -gt 0 ]; then
    echo "check-package: $failures check(s) failed" >&2
    exit 1
fi
echo "check-package: the package holds every piece"
[ "$install" = 1 ] || exit 0

# --- Install into this machine -------------------------------------------------------------------
if [ "$(id -u)" -ne 0 ] || [ ! -f /etc/debian_version ]; then
    echo "check-package: --install needs root on Debian" >&2
    exit 1
fi
echo "== apt-get install $deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb"
echo "== Checks of the installed package"
check "spottally-count is /usr/bin/spottally-count" test "$(command -v spottally-count)" = /usr/bin/spottally-count
check "spottally-count --help" eval 'spottally-count --help >/dev/null'
check "man -w spottally-count finds the page" eval 'man -w spottally-count'
check "manual installed where the window looks" test -f /usr/share/spottally/SpotTally_Manual.txt
# The menu entry's command with a picture for %f: on the offscreen platform the program keeps running
# until the timeout ends it (status 124); any other status means it did not start or died.
exec_line="$(sed -n 's/^Exec=//p' /usr/share/applications/spottally.desktop)"
picture="$source_dir/samples/sample.jpg"
read -ra command_words <<<"$exec_line"
for i in "${!command_words[@]}"; do
    [ "${command_words[$i]}" = %f ] && command_words[$i]="$picture"
done
# The counter finds its Qt module where the package installs it (fonts for --marked come from there).
marked_out="$(mktemp -d)"
check "installed spottally-count --marked loads its Qt module" eval 'spottally-count --marked --out "$marked_out" "$picture" >/dev/null'
rm -rf "$marked_out"
echo "running: ${command_words[*]}"
status=0
QT_QPA_PLATFORM=offscreen timeout 5 "${command_words[@]}" || status=$?
check "menu entry's command with a picture runs until stopped (status $status, 124 expected)" test "$status" -eq 124

if [ "$failures" -gt 0 ]; then
    echo "check-package: $failures check(s) of the installed package failed" >&2
    exit 1
fi
echo "check-package: installed and running; remove with: apt-get remove -y spottally"
