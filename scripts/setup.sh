#!/usr/bin/env bash
# Installs the Debian packages that SpotTally's build and tests need. Idempotent: quiet and quick when
# everything is present. Works as root and, for other users, through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev
    libjpeg62-turbo-dev libjpeg-turbo-progs
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libtiff-dev libpng-dev
    fonts-dejavu-core fonts-glyphicons-halflings
    xvfb xauth
    dpkg-dev file ccache
    snakemake
    slurmctld slurmd slurm-client munge
)
if [ "${SPOTTALLY_WITH_CLANG:-0}" = 1 ]; then
    packages+=(clang libclang-rt-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "setup: these packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
    exit 1
fi
echo "setup: installing ${missing[*]}" >&2
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
