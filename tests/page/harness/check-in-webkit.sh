#!/usr/bin/env bash
# Dev-only: checks the page in a bare WebKitGTK view under Xvfb with the fake service
# (builds pagerun in a temporary folder; needs the WebKitGTK development files and xvfb).
# Prints one line per check and fails when any check fails. Optionally saves snapshots (the
# full list with the details pane open on its fifth row):
#   tests/page/harness/check-in-webkit.sh [snapshot-folder]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
page="file://$(cd "$here/../../../resources/Html" && pwd)/index.html"
work="$(mktemp -d /tmp/trawlet-page-check-XXXXXX)"
trap 'rm -rf "$work"' EXIT
gcc -O1 -o "$work/pagerun" "$here/pagerun.c" $(pkg-config --cflags --libs webkit2gtk-4.1)
run() { xvfb-run -a -s "-screen 0 1400x1000x24" "$work/pagerun" "$page" --data "$work/data" --size 1200x800 "$@"; }
out="$(run --inject "$here/fake-service.js" --inject "$here/dom-checks.js")"
out="$out"$'\n'"$(run --inject "$here/fake-service.js" --inject "$here/dom-checks.js")"
echo "$out"
if [ -n "${1:-}" ]; then
  mkdir -p "$1"
  rm -rf "$work/data"
  run --inject "$here/fake-service.js" --done "document.readyState === 'complete' ? 'ready' : null" --snapshot "$1/empty.png" >/dev/null
  shots="window.addEventListener('load',()=>{document.getElementById('url').value='https://www.example.com/watch';document.getElementById('start').click();for(let i=0;i<400;i++){const r=fakeRecord(i);addResult(r);addResultDetails(fakeDetails(i,JSON.parse(r).url));}requestAnimationFrame(()=>{const row=document.querySelectorAll('#results .row')[4];row.dispatchEvent(new MouseEvent('click',{bubbles:true}));document.getElementById('act-details').click();requestAnimationFrame(()=>requestAnimationFrame(()=>{window.__done='full';}));});});"
  echo "$shots" > "$work/fill.js"
  rm -rf "$work/data"; run --inject "$here/fake-service.js" --inject "$work/fill.js" --snapshot "$1/full-light.png" >/dev/null
  rm -rf "$work/data"; run --dark --inject "$here/fake-service.js" --inject "$work/fill.js" --snapshot "$1/full-dark.png" >/dev/null
  echo "snapshots in $1"
fi
! grep -q '^FAIL' <<<"$out"
