#!/usr/bin/env bash
# Prepares the test guest once. In: a folder to keep it in (the build folder's vm/). Out, in that
# folder: Debian's full amd64 kernel unpacked and uncompressed (vmlinux), and initramfs.cpio
# holding a static busybox, the kernel's modules for 9p, overlayfs, evdev and uinput, and
# guest_init.sh as /init. The packages are fetched with apt-get download; nothing is installed
# on the host. Any failure (no network, no package) stops with a message and status 1, so the
# tests that need the guest fail rather than pass unseen.
set -euo pipefail
export LC_ALL=C
here="$(cd "$(dirname "$0")" && pwd)"
dir="${1:?usage: prepare_guest.sh FOLDER}"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
fail() { echo "prepare_guest: $*" >&2; exit 1; }

# Built already, and from this very init script and module list: nothing to do.
stamp="$(cat "$here/guest_init.sh" "$0" | md5sum | cut -c1-32)"
if [ -f "$dir/vmlinux" ] && [ -f "$dir/initramfs.cpio" ] && [ "$(cat "$dir/stamp" 2>/dev/null)" = "$stamp" ]; then
  exit 0
fi

# The full kernel flavour (the cloud one has neither uinput nor 9p), as linux-image-amd64 names
# it; the package lists are brought up to date once if they do not know it or it is gone.
kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | sed -n 1p
}
download() {
  local package
  package="$(kernel_package)"
  [ -n "$package" ] || return 1
  (cd "$dir/debs" && apt-get download "$package" busybox-static >"$dir/download.log" 2>&1)
}
rm -rf "$dir/debs" "$dir/root"
mkdir -p "$dir/debs" "$dir/root"
if ! download; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq >/dev/null 2>&1 || true
  download || fail "cannot download linux-image-amd64's kernel and busybox-static: $(tail -n 3 "$dir/download.log" 2>/dev/null)"
fi
for deb in "$dir"/debs/*.deb; do dpkg-deb -x "$deb" "$dir/root"; done

# The uncompressed kernel boots about 5 s sooner under emulation: the xz stream inside vmlinuz.
vmlinuz="$(echo "$dir"/root/boot/vmlinuz-*)"
offset="$(grep -obUaP -m1 '\xfd7zXZ\x00' "$vmlinuz" | cut -d: -f1 | sed -n 1p)"
[ -n "$offset" ] || fail "no xz stream in $vmlinuz"
tail -c +"$((offset + 1))" "$vmlinuz" | xz -dc >"$dir/vmlinux.new" 2>/dev/null || true
[ "$(head -c 4 "$dir/vmlinux.new" | od -An -tx1 | tr -d ' ')" = 7f454c46 ] || fail "cannot uncompress $vmlinuz"
mv "$dir/vmlinux.new" "$dir/vmlinux"

# The initramfs: busybox, the modules in the order they load, and the init script.
modules="$(ls -d "$dir"/root/lib/modules/*)"
staging="$dir/initramfs"
rm -rf "$staging"
mkdir -p "$staging"/{bin,proc,sys,dev,modules}
cp "$dir/root/bin/busybox" "$staging/bin/busybox"
cp "$here/guest_init.sh" "$staging/init"
order=(virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci netfs fscache
       9pnet 9pnet_virtio 9p overlay evdev uinput joydev)
for module in "${order[@]}"; do
  file="$(find "$modules" -name "$module.ko" -print -quit)"
  [ -n "$file" ] || fail "the kernel has no module $module"
  cp "$file" "$staging/modules/"
done
printf '%s\n' "${order[@]}" >"$staging/modules.order"
(cd "$staging" && find . | "$staging/bin/busybox" cpio -o -H newc >"$dir/initramfs.cpio" 2>/dev/null)
rm -rf "$staging" "$dir/root" "$dir/debs"
echo "$stamp" >"$dir/stamp"
