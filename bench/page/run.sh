#!/usr/bin/env bash
# Runs the page benchmark inside the real program and prints its report (JSON).
#
#   bench/page/run.sh [build-folder] [records] [records-per-second] [page] [details]
#
# page is the page under test: app.html (the real page, the default) or standin.html
# (a page that only keeps the texts, to tell the machine's cost from the page's).
# details is 1 (the default: every record is followed by the program's details of it,
# about a kilobyte of headers) or 0 (records only).
#
# The program always opens Html/index.html beside itself, so this copies the program
# (trawlet, bridge/, Html/) into a temporary folder, moves the real page to Html/app.html,
# adds the benchmark page, and makes Html/index.html a one-line redirect to it with the
# address of a loopback receiver for the report. The program runs under Xvfb with its own
# home, data and configuration folders, so the user's history and settings stay untouched.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD="${1:-build}"
COUNT="${2:-20000}"
RATE="${3:-5000}"
PAGE="${4:-app.html}"
DETAILS="${5:-1}"
case "$DETAILS" in 0 | 1) ;; *) echo "details must be 0 or 1" >&2; exit 1 ;; esac
case "$PAGE" in app.html | standin.html) ;; *) echo "page must be app.html or standin.html" >&2; exit 1 ;; esac
for f in "$BUILD/trawlet" "$BUILD/bridge" "$BUILD/Html/index.html"; do
  [ -e "$f" ] || { echo "missing $f: build the program first (cmake --build $BUILD)" >&2; exit 1; }
done

work="$(mktemp -d /tmp/trawlet-page-bench-XXXXXX)"
receiver=""
cleanup() {
  [ -n "$receiver" ] && kill "$receiver" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cp "$BUILD/trawlet" "$work/"
cp -r "$BUILD/bridge" "$BUILD/Html" "$work/"
mv "$work/Html/index.html" "$work/Html/app.html"
cp bench/page/bench.html bench/page/bench.js bench/page/standin.html "$work/Html/"
mkdir -p "$work/home/data" "$work/home/config" "$work/home/cache"

# The receiver keeps the report and the processor time used between the benchmark's marks.
node bench/page/receiver.js "$work/report.json" "$work/port" "$work" &
receiver=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port="$(cat "$work/port")"

cat > "$work/Html/index.html" <<HTML
<!DOCTYPE html><meta charset="utf-8"><title>Trawlet page benchmark</title>
<script>location.replace('bench.html?page=$PAGE&count=$COUNT&rate=$RATE&details=$DETAILS&report=' + encodeURIComponent('http://127.0.0.1:$port/report'));</script>
HTML

export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" NO_AT_BRIDGE=1
# Without a graphics card the engine draws through Mesa's software renderer, which compiles
# its shaders the first time they are needed: hundreds of milliseconds that a user pays
# once, on the program's first start. The compiled shaders are kept beside the build, as
# the user's cache keeps them, so that only the first run of the benchmark pays for them
# (the report says whether it did).
shaders="$(cd "$BUILD" && pwd)/page-bench-shader-cache"
shadersWarm=false
[ -d "$shaders" ] && shadersWarm=true
mkdir -p "$shaders"
export MESA_SHADER_CACHE_DIR="$shaders"
# The engine tells the page nothing about its heap, but logs its collections: the
# heap's size after the last one is the closest figure there is.
export JSC_logGC=true
xvfb-run -a -s "-screen 0 1400x900x24" dbus-run-session -- sh -c '
  "$1/trawlet" >"$1/program.log" 2>&1 & pid=$!
  i=0
  while [ ! -s "$1/report.json" ] && [ $i -lt 1800 ] && kill -0 $pid 2>/dev/null; do sleep 0.1; i=$((i+1)); done
  # The page has no view of its own memory in this engine; the resident size of its web
  # process (the only one: the benchmark starts no scan) stands in, heap and all.
  for w in $(pgrep -P $pid -f WebKitWebProcess); do grep VmRSS /proc/$w/status; done > "$1/rss.txt" 2>/dev/null
  kill $pid 2>/dev/null; wait $pid 2>/dev/null; true
' sh "$work"

if [ -s "$work/report.json" ]; then
  node -e '
const fs = require("fs");
const report = JSON.parse(fs.readFileSync(process.argv[1], "utf8"));
const rss = (fs.readFileSync(process.argv[2], "utf8").match(/\d+/g) || []).map(Number);
report.webProcessRssMB = rss.length ? +(Math.max(...rss) / 1024).toFixed(1) : null;
report.shaderCacheWarm = process.argv[3] === "true";
const log = fs.readFileSync(process.argv[4], "latin1");
const after = [...log.matchAll(/=> (\d+)kb, p=/g)].map((m) => Number(m[1]));
report.jsHeapAfterLastCollectionMB = after.length ? +(after[after.length - 1] / 1024).toFixed(1) : null;
report.jsCollections = { eden: (log.match(/=> EdenCollection/g) || []).length, full: (log.match(/=> FullCollection/g) || []).length };
console.log(JSON.stringify(report, null, 2));
' "$work/report.json" "$work/rss.txt" "$shadersWarm" "$work/program.log"
else
  echo "no report arrived (the program did not start, or the benchmark failed); the program wrote:" >&2
  tail -n 30 "$work/program.log" >&2 || true
  exit 1
fi
