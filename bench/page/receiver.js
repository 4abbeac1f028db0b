// The loopback receiver of the page benchmark (started by run.sh, not a test).
//
//   node receiver.js REPORT_FILE PORT_FILE WORK_FOLDER
//
// Answers every request (and any preflight) on a free loopback port, written to
// PORT_FILE. The first POST body is the benchmark's report; it is written to REPORT_FILE
// with the processor time the program used between the benchmark's marks added.
//
// A GET with ?mark=NAME takes a snapshot of the processor time of every thread of the
// program and of its web process, found as the processes whose HOME is the work folder's
// home. Processor time, unlike the gaps between frames, hardly depends on how busy the
// machine is, so it tells what the page costs the engine on a shared machine: the page's
// own thread (script, style, layout, recording the paint), the threads that rasterize
// and composite what changed, the script compiler, the collector, and the program.
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');

const [reportFile, portFile, work] = process.argv.slice(2);
const home = 'HOME=' + path.join(work, 'home');
const TICK_MS = 10; // USER_HZ is 100 on Linux.

function read(file) {
  try {
    return fs.readFileSync(file, 'latin1');
  } catch (e) {
    return '';
  }
}

// The processes started for this run: the program (from the work folder) and everything
// with the work folder's home (its web and network processes).
function ownProcesses() {
  const out = [];
  for (const name of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    const cmd = read('/proc/' + name + '/cmdline').split('\0')[0];
    if (cmd === path.join(work, 'trawlet')) out.push({ pid: name, program: true });
    else if (read('/proc/' + name + '/environ').split('\0').includes(home)) out.push({ pid: name, program: false });
  }
  return out;
}

function groupOf(proc, tid, comm) {
  if (proc.program) return 'program';
  if (!/WebKitWebProces/.test(read('/proc/' + proc.pid + '/comm'))) return 'otherProcesses';
  if (tid === proc.pid) return 'page';
  if (/llvmpipe|Skia|Tile|Paint/i.test(comm)) return 'raster';
  if (/Compositor|Scrolling/i.test(comm)) return 'compositor';
  if (/JIT/i.test(comm)) return 'jit';
  if (/Heap|GC/i.test(comm)) return 'gc';
  return 'other';
}

// Milliseconds of processor time per group, per thread id so that threads that end
// between two snapshots are not counted twice.
function snapshot() {
  const threads = {};
  for (const proc of ownProcesses()) {
    let tids = [];
    try {
      tids = fs.readdirSync('/proc/' + proc.pid + '/task');
    } catch (e) {
      continue;
    }
    for (const tid of tids) {
      const stat = read('/proc/' + proc.pid + '/task/' + tid + '/stat');
      const close = stat.lastIndexOf(')');
      if (close < 0) continue;
      const comm = stat.slice(stat.indexOf('(') + 1, close);
      const f = stat.slice(close + 2).split(' ');
      // utime and stime are the 14th and 15th fields; f starts at the 3rd.
      threads[tid] = { group: groupOf(proc, tid, comm), ms: (Number(f[11]) + Number(f[12])) * TICK_MS };
    }
  }
  return threads;
}

function difference(a, b) {
  const out = { page: 0, raster: 0, compositor: 0, jit: 0, gc: 0, other: 0, program: 0, otherProcesses: 0 };
  if (!a || !b) return null;
  for (const [tid, t] of Object.entries(b)) out[t.group] += t.ms - (a[tid] && a[tid].group === t.group ? a[tid].ms : 0);
  return out;
}

const marks = {};
let reported = false;
const server = http.createServer((req, res) => {
  let body = '';
  req.on('data', (d) => (body += d));
  req.on('end', () => {
    const mark = new URL(req.url, 'http://127.0.0.1').searchParams.get('mark');
    if (req.method === 'GET' && mark) marks[mark] = snapshot();
    res.setHeader('Access-Control-Allow-Origin', '*');
    res.setHeader('Access-Control-Allow-Headers', '*');
    res.end('ok');
    if (req.method === 'POST' && !reported) {
      reported = true;
      let report = body;
      try {
        const r = JSON.parse(body);
        r.cpuMsIdle = difference(marks['idle-start'], marks['idle-end']);
        r.cpuMsWhileAppending = difference(marks['feed-start'], marks['feed-end']);
        r.cpuMsSortingAndFiltering = difference(marks['feed-end'], marks['done']);
        report = JSON.stringify(r);
      } catch (e) {
        // Not a report this receiver understands: kept as it came.
      }
      fs.writeFileSync(reportFile, report);
    }
  });
});
server.listen(0, '127.0.0.1', () => fs.writeFileSync(portFile, String(server.address().port)));
