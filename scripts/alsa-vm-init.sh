#!/bin/busybox sh
# The first process of the ALSA test VM (see alsa-vm.sh): loads the sequencer and two virtual
# MIDI cards, lays a writable overlay over the host's read-only root, runs the job's command there
# and powers off. The job's folder is shared writable; the command's output and status go there.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev

fail() {
  echo "alsa-vm: $*" >/dev/console
  poweroff -f
}

while read -r module args; do
  [ -n "$module" ] || continue
  insmod "/modules/$module.ko" $args || fail "cannot load $module"
done </modules/order

mkdir -p /job /host /rw /root
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 job /job || fail "no job share"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=loose,ro hostroot /host || fail "no host root"
mount -t tmpfs -o size=75% rw /rw
mkdir -p /rw/upper /rw/work
mount -t overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work overlay /root ||
  fail "no overlay over the host root"
mount --move /dev /root/dev
ln -s /proc/self/fd /root/dev/fd
mount -t proc proc /root/proc
mount -t sysfs sys /root/sys
mount -t tmpfs tmp /root/tmp
mkdir -p /root/dev/shm /root/run/alsa-vm-job
mount -t tmpfs shm /root/dev/shm
mount --move /job /root/run/alsa-vm-job

chroot /root /bin/sh /run/alsa-vm-job/command.sh >/root/run/alsa-vm-job/output.log 2>&1
echo $? >/root/run/alsa-vm-job/status
sync
poweroff -f
