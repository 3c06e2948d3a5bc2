#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the program and starts it in the demo folder on the simulated programmer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
# Only the demo's own targets: the test command builds the tests and benchmarks.
cmake --build --preset default -j"$(nproc)" --target nyra_demo
cd build/demo
if [ -x ./kvq_nyra ]; then
    exec ./kvq_nyra "$@"
fi
exec ./kvq-cli demo "$@"
