#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Trawlet need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
PKGS=(build-essential cmake pkg-config
      libwebkit2gtk-4.1-dev libjavascriptcoregtk-4.1-dev libgtk-3-dev libsoup-3.0-dev
      libjsoncpp-dev libboost-dev)
if [ "${1:-}" = "--test" ]; then
  PKGS+=(libgtest-dev libgmock-dev libbenchmark-dev clang-format
         xvfb xauth xdotool xclip x11-utils imagemagick dbus-x11 fonts-dejavu-core nodejs)
  # The installation and package checks: validators and the package tools.
  PKGS+=(desktop-file-utils appstream dpkg-dev)
fi
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
