#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need.
# Quick when everything is already there: apt is only called for what is missing.
set -euo pipefail

packages=(
    # build
    build-essential cmake ninja-build pkg-config libgtest-dev
    # codec and format plug-in
    libarchive-dev zlib1g-dev libbz2-dev liblzma-dev libzstd-dev libssl-dev
    # zip on libzip
    libzip-dev
    # the Qt program and its encrypted settings database
    qtbase5-dev qtbase5-dev-tools libsqlcipher-dev fonts-noto-cjk shared-mime-info qttranslations5-l10n
    # window tests and screenshots
    xvfb xauth
    # tests: fixtures are made with Debian's own archivers
    tzdata python3 python3-py7zr libarchive-tools zip unzip gzip bzip2 xz-utils zstd cpio xorriso util-linux
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
