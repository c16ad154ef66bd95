#!/bin/busybox sh
# The test guest's first process. In: the host's root over 9p (read-only) and a writable share
# holding the command to run. Out: the command run in the host's root with a writable tmpfs on
# top, its output and exit status in the writable share, then the power off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in $(cat /modules.order); do
  insmod "/modules/$module.ko" || echo "guest: cannot load $module"
done
mkdir -p /host /upper /newroot
# The host root does not change under the guest: its pages may be cached.
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose,ro hostroot /host
mount -t tmpfs -o size=256m tmpfs /upper
mkdir -p /upper/data /upper/work
mount -t overlay overlay -o lowerdir=/host,upperdir=/upper/data,workdir=/upper/work /newroot
mount -t proc proc /newroot/proc
mount -t sysfs sysfs /newroot/sys
mount -t devtmpfs devtmpfs /newroot/dev
mkdir -p /newroot/dev/pts /newroot/dev/shm
mount -t devpts devpts /newroot/dev/pts
mount -t tmpfs tmpfs /newroot/dev/shm
# /tmp stays the host's (written through the overlay): the checks may be run from a clone or a
# build there, which a tmpfs over it would hide.
mount -t tmpfs tmpfs /newroot/run
mkdir -p /newroot/run/vm
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 results /newroot/run/vm
# The folder shared writable, at its own place, when there is one.
if grep -q '^MORVANTIS_GUEST_SHARE=' /newroot/run/vm/shared 2>/dev/null; then
  shared="$(sed -n 's/^MORVANTIS_GUEST_SHARE=//p' /newroot/run/vm/shared)"
  mkdir -p "/newroot$shared"
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 shared "/newroot$shared"
fi
chroot /newroot /bin/bash /run/vm/command >/newroot/run/vm/output 2>&1
echo $? >/newroot/run/vm/status
sync
umount /newroot/run/vm
poweroff -f
