#!/usr/bin/env bash
# Installs, as root with apt-get, whatever the build and the tests need and the machine lacks.
#   install-deps.sh        everything the tests need, both targets
#   install-deps.sh demo   only what the demo needs: the native build of the tool
# Needs root only when something is missing.
set -euo pipefail

demo_packages=(cmake ninja-build g++)
packages=(
  cmake ninja-build g++ python3 googletest libbenchmark-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386
  clang libclang-rt-14-dev
  # A station built as Visual C++ builds it: clang-cl, lld-link, llvm-dlltool, and the
  # C library's headers in Microsoft's form, from Wine.
  clang-tools-14 lld llvm libwine-dev
  # The bindings, each tested by its language's own runtime.
  python3-pytest python3-setuptools python3-pip mono-mcs mono-runtime
  # The Python wheel, built offline and installed into a fresh venv; the Linux install,
  # built against with pkg-config.
  python3-build python3-wheel python3-venv pkgconf
)

[ "${1:-}" = demo ] && packages=("${demo_packages[@]}")

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "run as root, or install these yourself: ${missing[*]}" >&2
  exit 1
fi
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
