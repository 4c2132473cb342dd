#!/usr/bin/env bash
# The main job on a desk: a short line of stations meets one fresh simulated phone.
# Builds only the native library, the stand-ins and the tools, in build/demo.
set -euo pipefail
cd "$(dirname "$0")/.."

phase() { echo "== $*"; }
quietly() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
}

phase "checking the build tools (cmake, ninja, g++)"
scripts/install-deps.sh demo
phase "configuring build/demo"
quietly cmake --preset linux -B build/demo -DBUILD_TESTING=OFF
phase "building the library, the stand-ins and the station tool"
quietly cmake --build build/demo --target stagemark_tool stagemark_phone
bin=build/demo/bin

# A desk of its own: the phone lives in a file for this run only.
STAGEMARK_SIM_DIR=$(mktemp -d)
export STAGEMARK_SIM_DIR
trap 'rm -rf "$STAGEMARK_SIM_DIR"' EXIT
phase "a line of stations meets one new phone (desk: $STAGEMARK_SIM_DIR)"
echo

run() { echo "\$ $*"; "$bin/$@" || echo "(exit $?)"; echo; }

run stagemark-phone insert --port 1 --bsn 3579024680
run stagemark pass BSN --port 1 --detect 0
run stagemark fail FT --port 1
run stagemark check BSN FT --port 1
run stagemark status --port 1
