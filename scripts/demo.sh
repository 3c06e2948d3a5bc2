#!/usr/bin/env bash
# Builds the program and starts it in the demo folder on the simulated programmer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
cd build/demo
if [ -x ./kvq_nyra ]; then
    exec ./kvq_nyra "$@"
fi
exec ./kvq-cli demo "$@"
