#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds into a build directory: build.sh [--sanitize] [BUILD_DIR]
# --sanitize builds with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake_flags=()
build_dir=build
if [[ "${1:-}" == "--sanitize" ]]; then
    cmake_flags+=(-DZELKOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
    build_dir=build-sanitize
    shift
fi
build_dir="${1:-$build_dir}"

cmake -S . -B "$build_dir" -G Ninja "${cmake_flags[@]}"
cmake --build "$build_dir"
