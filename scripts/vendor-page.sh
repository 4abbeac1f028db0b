#!/usr/bin/env bash
# Copies the playlist parsers the page uses into resources/Html/js/vendor/, with the licence
# of every package whose code their browser builds carry. The versions are pinned by
# resources/npm/package-lock.json; the copies are committed, so that neither the build nor
# the program ever needs the network. Run it after changing the pins, and commit the result;
# the page tests fail while the copies differ from what the lockfile installs.
#
# Usage: scripts/vendor-page.sh [--no-install]   (--no-install: use resources/npm/node_modules as it is)
set -euo pipefail
cd "$(dirname "$0")/.."
npm_dir=resources/npm
out=resources/Html/js/vendor
if [ "${1:-}" != "--no-install" ]; then
  (cd "$npm_dir" && npm ci --no-audit --no-fund)
fi
mods=$npm_dir/node_modules
rm -rf "$out"
mkdir -p "$out"
# The browser builds (UMD): each defines one global (m3u8Parser, mpdParser) when loaded by a
# plain script tag. mpd-parser's uses the engine's own DOMParser there. The packages' own
# minified builds are taken: the same code, smaller for the page to load, and without the
# packages' comments, which are theirs to keep, not ours to carry.
cp "$mods/m3u8-parser/dist/m3u8-parser.min.js" "$out/m3u8-parser.js"
cp "$mods/mpd-parser/dist/mpd-parser.min.js" "$out/mpd-parser.js"
# Both parsers are Apache-2.0; their LICENSE files are the short notice, so the licence's
# full text goes beside them. The builds also carry code of two MIT-licensed packages: the
# parsers' shared helpers, and Babel's object helper (in m3u8-parser's). Their references
# to the global-object package are left to the page's own window.
cp "$mods/m3u8-parser/LICENSE" "$out/m3u8-parser.LICENSE"
cp "$mods/mpd-parser/LICENSE" "$out/mpd-parser.LICENSE"
cp /usr/share/common-licenses/Apache-2.0 "$out/Apache-2.0.txt"
cp "$mods/@videojs/vhs-utils/LICENSE" "$out/vhs-utils.LICENSE"
cp "$mods/@babel/runtime/LICENSE" "$out/babel-runtime.LICENSE"
version() { node -p "require('./$mods/$1/package.json').version"; }
cat > "$out/README.txt" <<TXT
Copied by scripts/vendor-page.sh from the npm packages pinned in resources/npm; do not edit.

m3u8-parser $(version m3u8-parser)   dist/m3u8-parser.min.js   Apache-2.0 (m3u8-parser.LICENSE, Apache-2.0.txt)
mpd-parser $(version mpd-parser)    dist/mpd-parser.min.js    Apache-2.0 (mpd-parser.LICENSE, Apache-2.0.txt)

Code of these packages is bundled in those builds, under the MIT licence:
@videojs/vhs-utils $(version @videojs/vhs-utils)  vhs-utils.LICENSE
@babel/runtime $(version @babel/runtime)     babel-runtime.LICENSE
TXT
echo "vendored into $out:"
ls "$out"
