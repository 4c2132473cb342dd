#!/usr/bin/env bash
# Proves that the station package can be rebuilt byte for byte: builds the win32 preset's
# release parts once more, from a copy of the sources at another path, in a fresh folder,
# at another time and in another time zone, and compares every file of the package, and
# the zip itself, with the package of an existing build:
#
#   scripts/check-reproducible.sh [BUILD_DIR]     (default build/win32, already built)
#
# On a difference it names the file and the first differing offset, and exits 1.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${1:-build/win32}")
fail() { echo "check-reproducible: $1" >&2; exit 1; }
[ -f "$build/CMakeCache.txt" ] ||
  fail "$build is no configured build; build the win32 preset first (cmake --workflow --preset win32)"
grep -q '^CMAKE_TOOLCHAIN_FILE.*mingw-i686' "$build/CMakeCache.txt" ||
  fail "$build is not a win32 build: only the win32 preset makes the station package"

# Both packages are stamped with the commit's time, whichever the clock says.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    fail "finding the commit's time failed: this is no git checkout; set SOURCE_DATE_EPOCH to the commit's time"
fi
export SOURCE_DATE_EPOCH

work=$(mktemp -d "${TMPDIR:-/tmp}/stagemark-rebuild.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/source" "$work/first" "$work/again"
# The sources as they are, committed or not, without any build.
git ls-files -z --cached --others --exclude-standard |
  tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$work/source"

echo "=== the package of $build"
cmake --build "$build" --target package_zip >/dev/null || fail "making the package of $build failed: see above"
name=$(cd "$build" && ls stagemark-*-win32.zip)

echo "=== the package again, built in $work"
(
  cd "$work/source"
  export TZ=Pacific/Kiritimati  # 14 hours from UTC: a time taken from the clock would show
  cmake --preset win32 -B "$work/build" -DBUILD_TESTING=OFF >/dev/null &&
    cmake --build "$work/build" --target package_zip >/dev/null
) || fail "building the package again in $work failed: see above"

unpack() { python3 -m zipfile -e "$1" "$2"; }
unpack "$build/$name" "$work/first"
unpack "$work/build/$name" "$work/again"

differences=0
files=0
while IFS= read -r file; do
  files=$((files + 1))
  first="$work/first/$file" again="$work/again/$file"
  if [ ! -f "$first" ] || [ ! -f "$again" ]; then
    echo "DIFFERS: $file is in only one of the two packages"
    differences=$((differences + 1))
  elif ! out=$(cmp -- "$first" "$again" 2>&1); then
    byte=$(sed -n 's/.*differ: \(byte\|char\) \([0-9]*\).*/\2/p' <<<"$out")
    if [ -n "$byte" ]; then
      echo "DIFFERS: $file, first at offset $((byte - 1))"
    else
      echo "DIFFERS: $file: $out"
    fi
    differences=$((differences + 1))
  fi
done < <(cd "$work" && find first again -type f | cut -d/ -f2- | sort -u)

if [ "$differences" -gt 0 ]; then
  fail "$differences of $files files differ between two builds of one source: the package cannot be rebuilt byte for byte"
fi
if ! out=$(cmp -- "$build/$name" "$work/build/$name" 2>&1); then
  fail "every file is the same, but the zips differ ($out): the zip's order or stamps depend on the build"
fi
echo "reproducible: all $files files of $name, and the zip itself ($(sha256sum "$build/$name" | cut -c1-16)...), are the same in both builds"
