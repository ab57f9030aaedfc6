#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and opens the window on the sample spam message:
# run.sh [zelkor-report arguments]. With arguments, or without a display, it runs the
# headless zelkor-report instead.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/build.sh >/dev/null
if (($# > 0)); then
    exec ./build/app/zelkor-report "$@"
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are unset), so zelkor-report analyses the sample instead of the window" >&2
    exec ./build/app/zelkor-report --progress samples/spam.eml
fi
exec ./build/app/zelkor samples/spam.eml
