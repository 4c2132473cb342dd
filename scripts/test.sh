#!/usr/bin/env bash
# Every test: installs what is missing, then builds and tests both targets, the native
# build again under the sanitizers, and runs each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --workflow --preset linux
cmake --workflow --preset linux-asan
cmake --workflow --preset win32
if command -v clang++ >/dev/null; then
  cmake --workflow --preset linux-fuzz
else
  echo "clang++ not found: fuzzing skipped"
fi
