#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds and runs the test suite: test.sh [--sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --with-tests
build_dir=build
if [[ "${1:-}" == "--sanitize" ]]; then
    build_dir=build-sanitize
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
    export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan-suppressions.txt}"
fi
./scripts/build.sh "$@"
ctest --test-dir "$build_dir" --output-on-failure --parallel 2
