#!/usr/bin/env bash
# Installs the Debian packages that the build, the program and the tests need, only those that
# are missing. Works as root or through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang clang-format clang-tidy libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite
    qt6-webengine-dev qt6-webengine-dev-tools libqt6webenginecore6-bin
    libcurl4-openssl-dev libgtest-dev libgmock-dev libbenchmark-dev libxlsxwriter-dev libcsv-dev qt6-charts-dev unzip
    fonts-noto-cjk qt6-translations-l10n xauth xvfb python3 libqt6sql6-psql postgresql
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
