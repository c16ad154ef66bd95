#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the companion tools need, when missing.
set -euo pipefail

packages=(g++ make cmake pkg-config googletest libgtest-dev libbenchmark-dev libcli11-dev
          libsndfile1-dev libcairo2-dev libasound2-dev alsa-utils libncurses-dev tmux
          clang libclang-rt-dev librsvg2-bin python3 time
          libevdev-dev libsdl2-dev evtest qemu-system-x86 util-linux xz-utils
          go-md2man bash-completion dpkg-dev file)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
