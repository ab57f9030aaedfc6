#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, runs every kept regression input once, then fuzzes
# each target for SECONDS (30 by default), seeded from tests/data:
#   fuzz.sh [SECONDS] [TARGET...]
# New inputs that a run finds are kept in build-fuzz/corpus/TARGET, so a longer
# run later goes on from there. A finding stops the script with the input saved
# as build-fuzz/crash-* (or leak-*, timeout-*): copy it to fuzz/regressions/TARGET.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(header answer abuseroles contactzone donotsend mailitem rdap received messagekey networkrange)
fi

./scripts/install-deps.sh --with-tests
CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DZELKOR_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan-suppressions.txt}"

seeds_of() {
    case "$1" in
    header | mailitem | received | messagekey) echo tests/data/mail ;;
    answer | abuseroles | networkrange) echo tests/data/whois ;;
    donotsend) echo fuzz/regressions/donotsend ;;
    contactzone) echo fuzz/regressions/contactzone ;;
    rdap) echo tests/data/rdap ;;
    esac
}

for target in "${targets[@]}"; do
    binary="build-fuzz/fuzz/fuzz_$target"
    corpus="build-fuzz/corpus/$target"
    mkdir -p "$corpus"
    mapfile -t regressions < <(find "fuzz/regressions/$target" -type f | sort)
    if ((${#regressions[@]} > 0)); then
        if ! "$binary" "${regressions[@]}" >"build-fuzz/regressions-$target.log" 2>&1; then
            cat "build-fuzz/regressions-$target.log" >&2
            exit 1
        fi
        echo "fuzz_$target: ${#regressions[@]} kept inputs pass"
    fi
    echo "fuzz_$target: $seconds s"
    (cd build-fuzz && "../$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
        "corpus/$target" "../$(seeds_of "$target")" "../fuzz/regressions/$target" 2>&1 |
        grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY|Done)" || true)
    # libFuzzer exits non-zero on a finding; pipefail is off inside the
    # subshell's grep, so look for the saved input instead.
    if compgen -G "build-fuzz/crash-*" >/dev/null || compgen -G "build-fuzz/leak-*" >/dev/null ||
        compgen -G "build-fuzz/timeout-*" >/dev/null || compgen -G "build-fuzz/oom-*" >/dev/null; then
        echo "fuzz_$target found a fault; the input is in build-fuzz/" >&2
        exit 1
    fi
done
