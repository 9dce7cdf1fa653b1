#!/usr/bin/env bash
# Installs the Debian 12 packages Cantorel needs, only those that are missing.
# Usage: scripts/setup.sh [run|test|fuzz]   ("test" adds the tools the tests use)
set -euo pipefail

mode=${1:-run}
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libicu-dev libmpg123-dev mpg123 libpulse-dev libsqlite3-dev libtag1-dev zlib1g-dev libgtest-dev
)
if [ "$mode" = run ]; then
  packages+=(xvfb xauth x11-utils imagemagick)
fi
if [ "$mode" = test ]; then
  packages+=(clang-format lame ffmpeg id3v2 eyed3 python3-mutagen desktop-file-utils appstream dpkg-dev file man-db dbus-daemon libglib2.0-bin pulseaudio pulseaudio-utils sox xvfb xauth x11-utils xdotool imagemagick
             clang libclang-rt-14-dev)
fi
if [ "$mode" = fuzz ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Refresh the package lists only when a package is not known to apt yet.
if ! $sudo apt-get install -y --no-install-recommends --dry-run "${missing[@]}" >/dev/null 2>&1; then
  $sudo apt-get update -q
fi
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
