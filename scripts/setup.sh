#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the benchmarks need.
# Does nothing when they are all present. Run as root (or through sudo) on Debian 12.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format clang libclang-rt-14-dev
  qt6-base-dev librtmidi-dev libasound2-dev libjack-jackd2-dev jackd2
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  xvfb xauth imagemagick fonts-dejavu-core
  libelf-dev qt6-tools-dev qt6-tools-dev-tools qt6-documentation-tools libqt6sql6-sqlite
  desktop-file-utils libsqlite3-dev libsqlitecpp-dev libssl-dev
  # The ALSA tests boot Debian's kernel under QEMU, with its sequencer and virtual MIDI cards.
  qemu-system-x86 linux-image-amd64 busybox-static cpio alsa-utils file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
((${#missing[@]} == 0)) && exit 0

sudo=()
if ((EUID != 0)); then sudo=(sudo); fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to enable realtime scheduling; the answer does not matter here.
echo "jackd2 jackd/tweak_rt_limits boolean false" | "${sudo[@]}" debconf-set-selections
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
