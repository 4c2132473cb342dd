#!/usr/bin/env bash
# Every test: installs what is missing, then builds and tests both targets.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --workflow --preset linux
cmake --workflow --preset win32
