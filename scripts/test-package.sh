#!/usr/bin/env bash
# Builds the Debian package, checks what it holds, installs it with apt, checks the installed
# program under /usr as an installation (scripts/check-installed.sh), then purges it and checks
# that nothing of it is left. Changes the system, so it needs root (or sudo) and refuses to run
# where a trawlet package is installed already.
#
# Usage: scripts/test-package.sh [BUILD_FOLDER]   (default build, as scripts/test.sh makes it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
fail() { echo "test-package: $*" >&2; exit 1; }
if dpkg-query -W -f='${Status}' trawlet 2>/dev/null | grep -q "installed"; then
  fail "a trawlet package is installed already; remove it first"
fi

deb=$(./scripts/package.sh "$build")
echo "package: $deb"
dpkg-deb --info "$deb"
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|')
echo "$contents"
for path in /usr/bin/trawlet /usr/lib/trawlet/trawlet /usr/lib/trawlet/Html/index.html \
            /usr/lib/trawlet/bridge/libtrawletbridge.so \
            /usr/share/applications/io.github.trawlet.Trawlet.desktop \
            /usr/share/metainfo/io.github.trawlet.Trawlet.metainfo.xml \
            /usr/share/icons/hicolor/16x16/apps/io.github.trawlet.Trawlet.png \
            /usr/share/icons/hicolor/32x32/apps/io.github.trawlet.Trawlet.png \
            /usr/share/icons/hicolor/48x48/apps/io.github.trawlet.Trawlet.png \
            /usr/share/icons/hicolor/scalable/apps/io.github.trawlet.Trawlet.svg; do
  grep -qx -- "$path" <<<"$contents" || fail "the package has no $path"
done
if grep -E '_test$|_bench$|gtest|benchmark' <<<"$contents"; then fail "the package holds tests"; fi

depends=$(dpkg-deb --field "$deb" Depends)
recommends=$(dpkg-deb --field "$deb" Recommends)
for lib in libwebkit2gtk-4.1-0 libgtk-3-0 libjsoncpp25 libc6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
for plugin in gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav gstreamer1.0-gl; do
  grep -q "$plugin" <<<"$recommends" || fail "Recommends lacks $plugin: $recommends"
done

DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$deb"
./scripts/check-installed.sh /usr "$build"

DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -qq trawlet
left=()
while read -r path; do
  [ -z "$path" ] && continue
  # Folders the package shares with others (/usr, /usr/share/icons/...) stay.
  if [ -e "$path" ] || [ -L "$path" ]; then
    [ -d "$path" ] && [ ! -L "$path" ] && dpkg-query -S "$path" >/dev/null 2>&1 && continue
    left+=("$path")
  fi
done <<<"$contents"
[ "${#left[@]}" -eq 0 ] || fail "left after purge: ${left[*]}"
[ ! -e /usr/lib/trawlet ] || fail "/usr/lib/trawlet is left"
echo "test-package: built, installed, started and purged $(basename "$deb")"
