#!/usr/bin/env bash
# The main job on a desk: a short line of stations meets one fresh simulated phone.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux >/dev/null
bin=build/linux/bin

# A desk of its own: the phone lives in a file for this run only.
STAGEMARK_SIM_DIR=$(mktemp -d)
export STAGEMARK_SIM_DIR
trap 'rm -rf "$STAGEMARK_SIM_DIR"' EXIT

run() { echo "\$ $*"; "$bin/$@" || echo "(exit $?)"; echo; }

run stagemark-phone insert --port 1 --bsn 3579024680
run stagemark pass BSN --port 1 --detect 0
run stagemark fail FT --port 1
run stagemark check BSN FT --port 1
run stagemark status --port 1
