#!/usr/bin/env bash
# Runs one command on the kernel's own ALSA sequencer: boots Debian's kernel under QEMU with the
# sequencer, the "Midi Through" port and two virtual MIDI cards (snd-virmidi), this machine's root
# shared read-only under a writable tmpfs overlay, runs COMMAND there in the current folder, prints
# its output and exits with its status.
#
#   scripts/alsa-vm.sh [--build-dir DIR] [--timeout SECONDS] [--env NAME=VALUE]... -- COMMAND...
#
# The initramfs (busybox and the modules) is cached in DIR/alsa-vm (default: build/). What the
# command leaves in $ALSA_VM_KEEP comes back to DIR/alsa-vm/kept/ (the VM's own /tmp, like all
# it writes elsewhere, is gone when it ends). Exit 125 when the VM cannot start (the reason on
# standard error), 124 when it does not end in time.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build_dir=$here/../build
limit=600
envs=()
while (($#)); do
  case $1 in
    --build-dir) build_dir=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --env) envs+=("$2"); shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
(($#)) || { echo "usage: $0 [--build-dir DIR] [--timeout S] [--env N=V]... -- COMMAND..." >&2; exit 2; }

cannot() {
  echo "alsa-vm: the VM cannot start: $*" >&2
  exit 125
}

qemu=$(command -v qemu-system-x86_64) || cannot "no qemu-system-x86_64 (package qemu-system-x86)"
busybox=$(command -v busybox) || cannot "no busybox (package busybox-static)"
file -L "$busybox" 2>/dev/null | grep -q "statically linked" ||
  cannot "$busybox is not statically linked (package busybox-static)"
command -v cpio >/dev/null || cannot "no cpio"
# The newest Debian kernel whose modules are installed beside it.
kernel=
for k in $(ls -1 /boot/vmlinuz-* 2>/dev/null | sort -V -r); do
  if [[ -r $k && -d /lib/modules/${k#/boot/vmlinuz-}/kernel/sound ]]; then kernel=$k; break; fi
done
[[ -n $kernel ]] || cannot "no readable /boot/vmlinuz-* with its sound modules (package linux-image-amd64)"
release=${kernel#/boot/vmlinuz-}

# Modules in the order they depend on each other, with their parameters: two virtual cards.
modules="virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache
9pnet 9pnet_virtio 9p overlay soundcore snd snd-timer snd-seq-device snd-seq snd-seq-dummy
snd-rawmidi snd-seq-midi-event snd-seq-virmidi snd-virmidi"
declare -A params=([snd-virmidi]="enable=1,1")

mkdir -p "$build_dir/alsa-vm"
build_dir=$(cd "$build_dir" && pwd)
key=$( (echo "$release"; cat "$here/alsa-vm-init.sh"; echo "$modules"; md5sum "$busybox") | md5sum | cut -c1-12)
initramfs=$build_dir/alsa-vm/initramfs-$release-$key.cpio
if [[ ! -s $initramfs ]]; then
  staging=$(mktemp -d "$build_dir/alsa-vm/staging.XXXXXX")
  trap 'rm -rf "$staging"' EXIT
  mkdir -p "$staging"/{bin,modules,proc,sys,dev}
  cp "$busybox" "$staging/bin/busybox"
  cp "$here/alsa-vm-init.sh" "$staging/init"
  chmod +x "$staging/init"
  for m in $modules; do
    found=$(find "/lib/modules/$release/kernel" \( -name "$m.ko*" -o -name "${m//-/_}.ko*" \) | head -1)
    [[ -n $found ]] || cannot "kernel $release has no module $m"
    case $found in
      *.xz) xz -dc "$found" >"$staging/modules/$m.ko" ;;
      *.zst) zstd -qdc "$found" >"$staging/modules/$m.ko" ;;
      *.gz) gzip -dc "$found" >"$staging/modules/$m.ko" ;;
      *) cp "$found" "$staging/modules/$m.ko" ;;
    esac
    echo "$m ${params[$m]:-}" >>"$staging/modules/order"
  done
  (cd "$staging" && find . | cpio -o -H newc --quiet) >"$initramfs.tmp.$$"
  mv "$initramfs.tmp.$$" "$initramfs"
  rm -rf "$staging"
  trap - EXIT
fi

# The job's folder: the command in, its output and status out.
job=$(mktemp -d "${TMPDIR:-/tmp}/alsa-vm.XXXXXX")
trap 'rm -rf "$job"' EXIT
{
  echo "export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
  echo "export HOME=/root LANG=C.UTF-8 XDG_RUNTIME_DIR=/tmp/runtime QT_QPA_PLATFORM=offscreen"
  echo "export QUORLE_MIDI_API=alsa ALSA_VM_KEEP=/run/alsa-vm-job/kept"
  echo "mkdir -p \$ALSA_VM_KEEP"
  echo "mkdir -p -m 700 /tmp/runtime"
  for e in "${envs[@]}"; do printf 'export %q\n' "$e"; done
  printf 'cd %q || exit 126\n' "$PWD"
  printf '%q ' "$@"
  echo
} >"$job/command.sh"

accel=(-accel tcg)
if [[ -w /dev/kvm ]]; then accel=(-accel kvm -cpu host); fi
status=0
timeout --kill-after=10 "$limit" "$qemu" "${accel[@]}" -nodefaults -no-user-config -display none \
  -no-reboot -m 2048 -smp 2 -monitor none -serial "file:$job/console.log" \
  -kernel "$kernel" -initrd "$initramfs" -append "console=ttyS0 quiet panic=-1 rdinit=/init" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$job,mount_tag=job,security_model=none" || status=$?

[[ -f $job/output.log ]] && cat "$job/output.log"
if [[ -n $(ls -A "$job/kept" 2>/dev/null) ]]; then
  rm -rf "$build_dir/alsa-vm/kept"
  mv "$job/kept" "$build_dir/alsa-vm/kept"
  echo "alsa-vm: what the command kept is in $build_dir/alsa-vm/kept"
fi
if [[ -f $job/status ]]; then
  exit "$(cat "$job/status")"
fi
if ((status == 124 || status == 137)); then
  echo "alsa-vm: the VM did not end within $limit s; its console:" >&2
  tail -40 "$job/console.log" >&2 || true
  exit 124
fi
echo "alsa-vm: the VM ended (qemu status $status) without running the command; its console:" >&2
tail -40 "$job/console.log" >&2 || true
exit 125
