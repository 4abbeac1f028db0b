#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Trawlet need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
PKGS=(build-essential cmake pkg-config
      libwebkit2gtk-4.1-dev libjavascriptcoregtk-4.1-dev libgtk-3-dev libsoup-3.0-dev
      libjsoncpp-dev libboost-dev
      # The engine plays <video>, <audio> and Media Source streams through GStreamer; these
      # are the plugins it recommends, which --no-install-recommends would leave out. Without
      # all three, Media Source reports H.264 and AAC unsupported and plain MP4 files fail.
      # libav: the decoders of H.264, AAC, MP3, Opus, VP8 and VP9 (avdec_h264, avdec_aac, ...).
      gstreamer1.0-libav
      # bad: the parsers and demuxers the engine's pipelines use when present (h264parse,
      # h265parse, vp9parse, opusparse, tsdemux), second decoders (openh264dec, faad) and
      # fakeaudiosink; stream players stalled more often without it.
      gstreamer1.0-plugins-bad
      # gl: the GL video sink's elements (glupload, glcolorconvert); without them the engine
      # warns that it cannot find its GL video sink, and stream players stalled more often.
      gstreamer1.0-gl)
if [ "${1:-}" = "--test" ]; then
  PKGS+=(libgtest-dev libgmock-dev libbenchmark-dev clang-format
         xvfb xauth xdotool xclip x11-utils imagemagick dbus-x11 fonts-dejavu-core nodejs
         # ffmpeg makes the media tests' streams at test time; its ffprobe reads back a download.
         ffmpeg
         # The page's tests run the download commands it copies against a loopback site.
         curl wget yt-dlp)
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
