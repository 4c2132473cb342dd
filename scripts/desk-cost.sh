#!/usr/bin/env bash
# What the desk costs one station process: the system calls of one traced
# 'stagemark pass CT' (strace counts), and the wall time of such a process beside a
# station process whose phone is in memory (no desk), each the median of N runs.
#   scripts/desk-cost.sh [BIN_DIR] [RUNS]     (default build/linux/bin, 51 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/linux/bin}
runs=${2:-51}
command -v strace >/dev/null || { echo "desk-cost: strace is missing; install it with apt-get install strace" >&2; exit 1; }
STAGEMARK_SIM_DIR=$(mktemp -d)
export STAGEMARK_SIM_DIR
trap 'rm -rf "$STAGEMARK_SIM_DIR"' EXIT
"$bin/stagemark-phone" insert --port 1 >/dev/null

echo "system calls of one 'stagemark pass CT' on the desk (strace -f -c):"
strace -f -c -o "$STAGEMARK_SIM_DIR/calls" "$bin/stagemark" pass CT --port 1 >/dev/null
# Columns: % time, seconds, usecs/call, calls, [errors,] syscall.
awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { print "  " $NF, $4 }' "$STAGEMARK_SIM_DIR/calls" | sort -k2 -n -r
awk '$NF == "total" { print "  total", $4 }' "$STAGEMARK_SIM_DIR/calls"

median_ms() {
  local times=()
  for _ in $(seq "$runs"); do
    local start=$(date +%s%N)
    "$@" >/dev/null
    times+=($((($(date +%s%N) - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk -v n="$runs" 'NR == int((n + 1) / 2) { printf "%.2f", $1 / 1000 }'
}
echo
echo "wall time of one station process, median of $runs runs:"
echo "  stagemark pass CT on the desk: $(median_ms "$bin/stagemark" pass CT --port 1) ms"
echo "  the same calls, phone in memory (memory_station): $(median_ms "$bin/memory_station") ms"
