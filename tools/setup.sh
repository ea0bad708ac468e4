#!/usr/bin/env bash
# Installs the Debian packages that building and testing Ombrix need, when any is missing.
# Runs apt-get as root, or through sudo for an ordinary user.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev
  libsqlite3-dev sqlite3
  libmosquitto-dev mosquitto mosquitto-clients
  libgtest-dev libgmock-dev libbenchmark-dev
  socat direwolf xvfb xauth procps systemd
  clang-14 libclang-rt-14-dev
  g++-arm-linux-gnueabihf g++-aarch64-linux-gnu qemu-user
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
