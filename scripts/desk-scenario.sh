#!/usr/bin/env bash
# A station program tried on the desk, as the README shows it: a phone that failed BT, the
# route check of a later station, a planned write fault, a paced cycle, and the trace.
#   scripts/desk-scenario.sh [BIN_DIR]     (default build/linux/bin)
# Exits non-zero when any step does not come out as shown.
set -uo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/linux/bin}

STAGEMARK_SIM_DIR=$(mktemp -d)
export STAGEMARK_SIM_DIR
trap 'rm -rf "$STAGEMARK_SIM_DIR"' EXIT
failures=0

# Runs a step, shows it, and checks its exit code.
step() {
  local expected=$1
  shift
  echo "\$ $*"
  "$bin/$@"
  local code=$?
  [ "$code" -eq 0 ] || echo "(exit $code)"
  if [ "$code" -ne "$expected" ]; then
    echo "!! expected exit $expected" >&2
    failures=$((failures + 1))
  fi
  echo
}

echo "# A phone that failed BT"
step 0 stagemark-phone insert --port 1 --bsn 3579024680
step 0 stagemark-phone set --port 1 BSN=passed BT=failed
echo "# The route check of a later station refuses it"
step 1 stagemark check BSN BT --port 1
echo "# A write fault: the station's error path"
step 0 stagemark-phone fault --port 1 write
step 2 stagemark pass CT --port 1
echo "# Paced like the line: one read and one write of 1036 bytes"
step 0 stagemark-phone trace --port 1 --clear
step 0 stagemark-phone pace --port 1 on
start=$(date +%s%N)
step 0 stagemark pass CT --port 1
echo "(the cycle took $((($(date +%s%N) - start) / 1000000)) ms)"
echo
echo "# A station that records directly while its handle is open, and the check that fires"
step 0 stagemark-phone pace --port 1 off
if [ -n "${STAGEMARK_FAULTY_STATION:-}" ]; then
  echo "\$ faulty_station direct-beside-handle 1"
  "$STAGEMARK_FAULTY_STATION" direct-beside-handle 1 || failures=$((failures + 1))
  echo
fi
step 0 stagemark-phone trace --port 1
if [ -n "${STAGEMARK_FAULTY_STATION:-}" ] && ! "$bin/stagemark-phone" trace --port 1 | grep -q "CHECK  the write to phone 3579024680 undid CT"; then
  echo "!! the check did not fire" >&2
  failures=$((failures + 1))
fi
echo "scenario: $((failures == 0 ? 1 : 0)) passed, $((failures == 0 ? 0 : 1)) failed"
[ "$failures" -eq 0 ]
