#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and analyses a message: run.sh [zelkor-report arguments]
# Without arguments it analyses the sample spam message kept in the repository.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/build.sh >/dev/null
if (($# == 0)); then
    set -- --progress samples/spam.eml
fi
exec ./build/app/zelkor-report "$@"
