#!/usr/bin/env bash
# Installs every Debian package the engine, its tests and its benchmarks need.
# Idempotent: when everything is present it only runs dpkg-query and exits.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsdl2-dev libmruby-dev mruby libphysfs-dev libopenal-dev libstb-dev
  liblodepng-dev libcjson-dev zlib1g-dev libmpg123-dev libexpat1-dev
  libcurl4-openssl-dev libcurl4 libgtest-dev googletest
  xvfb xauth xdotool fonts-dejavu-core zip unzip curl python3
  libopenal1 imagemagick sox gnuplot-nox
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
