#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Trawlet need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
PKGS=(build-essential cmake pkg-config
      libwebkit2gtk-4.1-dev libjavascriptcoregtk-4.1-dev libgtk-3-dev libsoup-3.0-dev
      libjsoncpp-dev libboost-dev
      # The engine plays <video>, <audio> and Media Source streams through GStreamer; these
      # are the plugins it recommends, which --no-install-recommends would leave out.
      # libav: the decoders of H.264, AAC, MP3 and Opus (avdec_h264, avdec_aac, ...).
      gstreamer1.0-libav
      # bad: the H.264 parser that Media Source playback of H.264 needs (h264parse), the
      # MPEG-TS demuxer (tsdemux), the Opus and VP9 parsers, and fakeaudiosink.
      gstreamer1.0-plugins-bad
      # gl: the OpenGL upload and colour conversion that the engine's video sink uses.
      gstreamer1.0-gl)
if [ "${1:-}" = "--test" ]; then
  PKGS+=(libgtest-dev libgmock-dev libbenchmark-dev clang-format
         xvfb xauth xdotool xclip x11-utils imagemagick dbus-x11 fonts-dejavu-core nodejs
         # ffmpeg makes the media test's streams at test time.
         ffmpeg)
  # The installation and package checks: validators and the package tools.
  PKGS+=(desktop-file-utils appstream dpkg-dev)
  # The media test's players come from npm; some Node packages bring npm with them.
  command -v npm >/dev/null || PKGS+=(npm)
fi
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
