#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when any is missing.
# Runs apt-get as root, through sudo otherwise. Prints nothing when all are there.
# --for-tests adds what only the tests use: LibreOffice, which the formula golden tests have
# load and recalculate the workbooks the engine wrote, xlwt, which writes the .xls workbooks the
# tests edit, and xlrd and olefile, which read them back; --for-fuzz what only `make fuzz` uses.
set -euo pipefail

packages=(
    cmake ninja-build g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-image-formats-plugins
    libexpat1-dev zlib1g-dev libdeflate-dev libisal-dev
    libgtest-dev libgmock-dev
    python3 python3-openpyxl
    xvfb xauth fonts-liberation zip unzip clang-format
)
if [[ "${1:-}" == "--for-tests" ]]; then
    packages+=(libreoffice-calc-nogui python3-xlrd python3-olefile python3-xlwt)
fi
# --for-fuzz: Clang and its libFuzzer runtime, for the fuzz preset only (`make fuzz`).
if [[ "${1:-}" == "--for-fuzz" ]]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
