#!/usr/bin/env bash
# Runs one command in a virtual machine whose kernel runs 32-bit programs, for a machine
# whose own kernel cannot, so that Wine can start and the win32 tests run for real:
#
#   scripts/in-vm.sh ctest --test-dir build/win32 --output-on-failure
#
# The machine is emulated (qemu, no hardware acceleration needed) and slow: the win32 tests
# take about ten minutes in it. It boots Debian's kernel with this machine's own root
# folder as its root, so it sees the same files, programs and build; it exits with the
# command's status. Needs root, and apt-get for qemu, busybox and the kernel package.
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD
vm="$project/build/vm"
case "$project" in
  *[[:space:]]*) echo "in-vm: the project's path has a space, which a kernel command line cannot carry; clone it elsewhere" >&2; exit 64 ;;
esac
[ $# -gt 0 ] || { echo "usage: scripts/in-vm.sh COMMAND [ARG...]" >&2; exit 64; }

# Package lists may be missing or stale on a machine that installed nothing yet.
apt_get() { apt-get "$@" || { apt-get update -q >/dev/null && apt-get "$@"; }; }
fail() { echo "in-vm: $1" >&2; exit 1; }

for package in qemu-system-x86 busybox-static; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    DEBIAN_FRONTEND=noninteractive apt_get install -y -q --no-install-recommends "$package" >/dev/null ||
    fail "installing $package failed: is Debian's archive reachable, and are you root? Install it yourself, then run this again"
done

# Debian's kernel, unpacked rather than installed: it has 32-bit program support, and
# 9p and virtio as modules, loaded by a small initramfs of our own.
mkdir -p "$vm"
kernel_package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
[ -n "$kernel_package" ] || fail "finding Debian's kernel package failed: the package lists have no linux-image-amd64; run apt-get update, then this again"
if [ ! -d "$vm/$kernel_package" ]; then
  (cd "$vm" && apt_get download "$kernel_package" 2>/dev/null && dpkg -x "$kernel_package"_*.deb "$kernel_package.tmp" &&
   rm -f "$kernel_package"_*.deb && mv "$kernel_package.tmp" "$kernel_package") ||
    fail "fetching the kernel $kernel_package failed: is Debian's archive reachable? Remove $vm and run this again"
fi
release=${kernel_package#linux-image-}
modules="$vm/$kernel_package/lib/modules/$release/kernel"
# Each module after the ones it needs.
module_order="virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache 9pnet 9pnet_virtio 9p"

initrd="$vm/initrd"
rm -rf "$initrd" && mkdir -p "$initrd"/{bin,mods,proc,sys,dev,root}
cp /bin/busybox "$initrd/bin/"
for module in $module_order; do
  cp "$(find "$modules" -name "$module.ko")" "$initrd/mods/"
done
cat > "$initrd/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in $module_order; do insmod /mods/\$m.ko || echo "in-vm: module \$m did not load"; done
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose host /root; then
  mount -t proc proc /root/proc; mount -t sysfs sys /root/sys; mount -t devtmpfs dev /root/dev
  mkdir -p /root/dev/pts && mount -t devpts devpts /root/dev/pts
  # Wine's server wants a local /tmp for its socket, and the Wine prefix lives there too:
  # over 9p each of its thousands of small files costs the host a round trip. The project,
  # which may live in /tmp, stays in view.
  mkdir /project && mount --bind /root$project /project
  mount -t tmpfs tmpfs /root/tmp; mount -t tmpfs tmpfs /root/run
  mkdir -p /root$project && mount --bind /project /root$project
  chroot /root /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 CI="${CI:-}" STAGEMARK_WINEPREFIX=/tmp/stagemark-wineprefix /bin/bash "$vm/command" < /dev/null
  echo \$? > /root$vm/status
  sync
fi
poweroff -f
EOF
chmod +x "$initrd/init"
(cd "$initrd" && find . | busybox cpio -o -H newc 2>/dev/null | gzip > "$vm/initrd.gz")

{
  printf 'cd %q\n' "$project"
  printf '%q ' "$@"
  echo
} > "$vm/command"
rm -f "$vm/status"

qemu-system-x86_64 -accel tcg,thread=multi -smp "$(nproc)" -m 6G -nographic -no-reboot \
  -kernel "$vm/$kernel_package/boot/vmlinuz-$release" -initrd "$vm/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1" \
  -virtfs local,path=/,mount_tag=host,security_model=passthrough,id=host,multidevs=remap \
  </dev/null | sed -u -e 's/\x1b\[[0-9;?]*[a-zA-Z]//g' -e '/^\s*$/d'

if [ ! -f "$vm/status" ]; then
  fail "the virtual machine stopped before the command ended: see its console above; is there memory for 6 GB more?"
fi
exit "$(cat "$vm/status")"
