#!/usr/bin/env bash
# Runs the page benchmark inside the real program and prints its report (JSON).
#
#   bench/page/run.sh [build-folder] [records] [records-per-second]
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
cp bench/page/bench.html bench/page/bench.js "$work/Html/"
mkdir -p "$work/home/data" "$work/home/config" "$work/home/cache"

# The receiver answers every request (and any preflight) and keeps the first POST body.
node -e '
const http = require("http"), fs = require("fs");
const [reportFile, portFile] = process.argv.slice(1);
const server = http.createServer((req, res) => {
  let body = "";
  req.on("data", (d) => (body += d));
  req.on("end", () => {
    res.setHeader("Access-Control-Allow-Origin", "*");
    res.setHeader("Access-Control-Allow-Headers", "*");
    res.end("ok");
    if (req.method === "POST") fs.writeFileSync(reportFile, body);
  });
});
server.listen(0, "127.0.0.1", () => fs.writeFileSync(portFile, String(server.address().port)));
' "$work/report.json" "$work/port" &
receiver=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port="$(cat "$work/port")"

cat > "$work/Html/index.html" <<HTML
<!DOCTYPE html><meta charset="utf-8"><title>Trawlet page benchmark</title>
<script>location.replace('bench.html?page=app.html&count=$COUNT&rate=$RATE&report=' + encodeURIComponent('http://127.0.0.1:$port/report'));</script>
HTML

export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" NO_AT_BRIDGE=1
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
console.log(JSON.stringify(report, null, 2));
' "$work/report.json" "$work/rss.txt"
else
  echo "no report arrived (the program did not start, or the benchmark failed); the program wrote:" >&2
  tail -n 30 "$work/program.log" >&2 || true
  exit 1
fi
