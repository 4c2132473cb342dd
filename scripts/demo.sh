#!/usr/bin/env bash
# The main job on a desk: builds the native library and runs a station against the simulated phone.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux >/dev/null
build/linux/bin/first_station
