#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building and testing need. Idempotent: it asks
# apt only for what is missing, and refreshes the package lists first when it does.
set -euo pipefail

build_packages=(
    build-essential cmake pkg-config ninja-build
    qt6-base-dev libqt6test6 libc-ares-dev libicu-dev
    libvmime-dev qtkeychain-qt6-dev libbenchmark-dev
    fonts-liberation2 libpsl-dev publicsuffix libqt6sql6-sqlite
)
test_packages=(
    dnsmasq-base clang-format
    dovecot-imapd python3-aiosmtpd openssl ca-certificates
    clang-14 libclang-rt-14-dev
)

wanted=("${build_packages[@]}")
if [[ "${1:-}" == "--with-tests" ]]; then
    wanted+=("${test_packages[@]}")
fi

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo_cmd=()
if ((EUID != 0)); then
    sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}" >&2
"${sudo_cmd[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
