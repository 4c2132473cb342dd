#!/usr/bin/env bash
# Every test: installs what is missing, then builds and tests both targets, the native
# build again under the sanitizers, runs each fuzz target for a bounded time, and proves
# that the win32 package can be rebuilt byte for byte.
#
#   scripts/test.sh                 every preset: linux, linux-asan, win32, linux-fuzz
#   scripts/test.sh linux win32     only the presets named, in that order
#
# Every preset runs even when one before it failed; a summary line per preset follows,
# and the exit status is non-zero when any failed.
set -uo pipefail
cd "$(dirname "$0")/.."

all=(linux linux-asan win32 linux-fuzz)
presets=()
for preset in "$@"; do
  case " ${all[*]} " in
    *" $preset "*) ;;
    *) echo "test.sh: there is no preset '$preset'; the presets are: ${all[*]}" >&2; exit 64 ;;
  esac
  case " ${presets[*]} " in
    *" $preset "*) echo "test.sh: the preset '$preset' is named twice" >&2; exit 64 ;;
  esac
  presets+=("$preset")
done
[ ${#presets[@]} -gt 0 ] || presets=("${all[@]}")

scripts/install-deps.sh || exit 1

if ! command -v clang++ >/dev/null; then
  kept=()
  for preset in "${presets[@]}"; do
    if [ "$preset" = linux-fuzz ]; then echo "clang++ not found: fuzzing skipped"; else kept+=("$preset"); fi
  done
  presets=("${kept[@]}")
fi

# Tests run side by side, as many at once as there are cores: each waits on processes,
# links and holds as much as it computes, and the longest are split into shards.
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}

declare -A outcome
passed=0 failed=0
# The win32 tests run under Wine, whose loader is a 32-bit program. A kernel that cannot run
# one gets the build here and the tests in an emulated machine that can.
run_preset() {
  if [ "$1" = win32 ] && ! wine --version >/dev/null 2>&1; then
    echo "this kernel cannot run 32-bit programs: the win32 tests run in an emulated machine"
    cmake --preset win32 && cmake --build --preset win32 && scripts/in-vm.sh ctest --preset win32 -j "$(nproc)"
  else
    cmake --workflow --preset "$1"
  fi
}
# The win32 preset's package, built once more elsewhere, must come out the same.
run_and_rebuild() {
  run_preset "$1" || return 1
  [ "$1" != win32 ] || scripts/check-reproducible.sh build/win32
}

for preset in "${presets[@]}"; do
  echo "=== preset $preset"
  start=$SECONDS
  if run_and_rebuild "$preset"; then
    outcome[$preset]="passed"
    passed=$((passed + 1))
  else
    outcome[$preset]="FAILED"
    failed=$((failed + 1))
  fi
  outcome[$preset]+=" in $((SECONDS - start)) s"
done

echo
echo "=== summary"
for preset in "${presets[@]}"; do
  printf '%-12s %s\n' "$preset" "${outcome[$preset]}"
done
echo "presets: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
