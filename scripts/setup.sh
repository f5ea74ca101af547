#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests, fuzzes and benchmarks with, when any is
# missing. Every entry point (test.sh, the CI script) calls this one script.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config time libtsan2
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang-14 libclang-rt-14-dev
    zlib1g-dev libdeflate-dev libjpeg62-turbo-dev
    libfreetype-dev libfontconfig-dev
    libpng-dev libspng-dev libstb-dev
    libicu-dev
    # with libpng-dev and zlib1g-dev, the static archives FreeType's and fontconfig's need in the
    # command-line programs (VISTEL_STATIC_TOOLS)
    libbrotli-dev libexpat1-dev
    qt6-base-dev fonts-ipafont-gothic
    fonts-liberation2 fonts-crosextra-carlito fonts-crosextra-caladea fonts-ipafont-mincho fonts-wine
    librsvg2-bin desktop-file-utils groff-base
    libcairo2-dev
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null; then
    sudo=(sudo)
else
    echo "setup: root or sudo is needed to install ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
