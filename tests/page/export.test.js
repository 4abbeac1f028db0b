'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const E = require('../../resources/Html/js/export.js');

// Words a hostile page can put into an address.
const NASTY = [
  'http://h/plain.mp4',
  'http://h/a b.mp4',
  "http://h/it's.mp4",
  'http://h/"dq".mp4',
  'http://h/$HOME/$(id)/`id`/${x}',
  'http://h/a&b;c|d>e<f',
  'http://h/new\nline\r\n',
  'http://h/tab\there',
  'http://h/back\\slash\\',
  'http://h/glob*?[a-z]{1,2}~',
  "''''",
  '!history',
  '-rf',
  '--output=/tmp/x',
  'http://h/ünïcødé/視頻.mp4',
  ' ',
  '#comment',
  'a=b',
];

// Runs a command line through the system's POSIX shell and returns the arguments the
// shell passed on, split at NUL.
function shellArgs(script) {
  const outText = execFileSync('/bin/sh', ['-c', 'args() { for a in "$@"; do printf "%s\\0" "$a"; done; }; ' + script], {
    encoding: 'utf8',
  });
  return outText.split('\0').slice(0, -1);
}

// Runs a command line with every tool replaced by a program that prints its arguments.
function withFakeTools(script) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'trawlet-tools-'));
  try {
    for (const t of Object.values(E.TOOLS)) {
      const file = path.join(dir, t.words[0]);
      fs.writeFileSync(file, '#!/bin/sh\nfor a in "$@"; do printf "%s\\0" "$a"; done\n');
      fs.chmodSync(file, 0o755);
    }
    const out = execFileSync('/bin/sh', ['-c', script], { encoding: 'utf8', env: { PATH: dir + ':/usr/bin:/bin' } });
    return out.split('\0').slice(0, -1);
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

test('shellQuote: the shell gives back exactly the word, whatever it holds', () => {
  for (const w of NASTY.concat([''])) assert.deepEqual(shellArgs('args ' + E.shellQuote(w)), [w], JSON.stringify(w));
  const all = NASTY.map(E.shellQuote).join(' ');
  assert.deepEqual(shellArgs('args ' + all), NASTY);
});

test('shellQuote: plain words stay readable, others are single-quoted, NUL cannot be passed', () => {
  const cases = [
    ['http://h/a.mp4', 'http://h/a.mp4'],
    ['', "''"],
    ['a b', "'a b'"],
    ["it's", "'it'\\''s'"],
    ['x?y=1&z=2', "'x?y=1&z=2'"],
    ['a\0b', null],
  ];
  for (const [w, q] of cases) assert.equal(E.shellQuote(w), q, JSON.stringify(w));
});

test('commandLine: each tool receives every address as one argument, never as an option', () => {
  const expectations = {
    curl: ['--fail', '--location', '--globoff', '--remote-name-all'],
    wget: ['--'],
    media: ['--'],
  };
  for (const tool of Object.keys(E.TOOLS)) {
    const c = E.commandLine(tool, NASTY);
    assert.equal(c.count, NASTY.length);
    assert.equal(c.skipped, 0);
    const got = withFakeTools(c.text);
    const expected = expectations[tool].slice();
    for (const u of NASTY) {
      if (tool === 'curl' && u[0] === '-') expected.push('--url');
      expected.push(u);
    }
    assert.deepEqual(got, expected, tool);
  }
});

test('commandLine: one address on one line, empty and NUL addresses left out', () => {
  assert.equal(E.commandLine('wget', ['http://h/a']).text, 'wget -- http://h/a\n');
  assert.equal(E.commandLine('media', ['http://h/a', 'http://h/b']).text, 'yt-dlp -- \\\n  http://h/a \\\n  http://h/b\n');
  assert.deepEqual(E.commandLine('curl', ['', 'a\0b', 5]), { text: '', count: 0, skipped: 3, sets: 0 });
  const c = E.commandLine('curl', ['http://h/x', 'a\0b']);
  assert.equal(c.count, 1);
  assert.equal(c.skipped, 1);
  assert.throws(() => E.commandLine('rm', ['x']));
});

// A strict RFC 4180 reader, to check what the writer produces.
function parseCsv(text) {
  const rows = [];
  let row = [];
  let i = 0;
  for (;;) {
    let field = '';
    if (text[i] === '"') {
      i++;
      for (;;) {
        if (i >= text.length) throw new Error('unterminated quote');
        if (text[i] === '"') {
          if (text[i + 1] === '"') {
            field += '"';
            i += 2;
          } else {
            i++;
            break;
          }
        } else field += text[i++];
      }
    } else {
      while (i < text.length && text[i] !== ',' && text[i] !== '\r' && text[i] !== '\n') {
        if (text[i] === '"') throw new Error('quote inside an unquoted field at ' + i);
        field += text[i++];
      }
    }
    row.push(field);
    if (text[i] === ',') {
      i++;
      continue;
    }
    if (text.startsWith('\r\n', i)) {
      rows.push(row);
      row = [];
      i += 2;
      if (i === text.length) return rows;
      continue;
    }
    throw new Error('bad character at ' + i + ': ' + JSON.stringify(text[i]));
  }
}

function item(url, over) {
  return Object.assign({ fileName: 'f', mimeType: 'video/mp4', size: '1KB', bytes: 1024, kind: 'video', hits: 1, firstSeen: '', lastSeen: '', url }, over);
}

test('csvField quotes what RFC 4180 asks and defuses spreadsheet formulas', () => {
  const cases = [
    ['plain', 'plain'], ['a,b', '"a,b"'], ['say "hi"', '"say ""hi"""'], ['two\nlines', '"two\nlines"'], ['cr\r', '"cr\r"'],
    ['', ''], [null, ''], [12, '12'], ['=1+1', "'=1+1"], ['+x', "'+x"], ['-x', "'-x"], ['@SUM(A1)', "'@SUM(A1)"],
    ['\tx', "'\tx"], ['=a,b', '"\'=a,b"'],
  ];
  for (const [v, out] of cases) assert.equal(E.csvField(v), out, JSON.stringify(v));
});

test('toCsv round-trips through a strict reader, one record per row', () => {
  const items = NASTY.map((u, i) => item(u, { fileName: 'n,"' + i + '"\n', mimeType: i % 2 ? '' : 'a/b' }));
  const text = E.toCsv(items);
  assert.ok(text.endsWith('\r\n'));
  const rows = parseCsv(text);
  assert.equal(rows.length, items.length + 1);
  assert.deepEqual(rows[0], E.COLUMNS.map((c) => c[1]));
  const urlCol = E.COLUMNS.findIndex((c) => c[0] === 'url');
  const nameCol = E.COLUMNS.findIndex((c) => c[0] === 'fileName');
  rows.slice(1).forEach((r, i) => {
    assert.equal(r.length, E.COLUMNS.length);
    const u = NASTY[i];
    assert.equal(r[urlCol], /^[=+\-@\t\r]/.test(u) ? "'" + u : u);
    assert.equal(r[nameCol], items[i].fileName);
  });
});

test('toText keeps every row on one line; toJson gives the items back', () => {
  const items = [item('http://h/a\tb\nc'), item('http://h/x', { bytes: -1, size: 'unknown', playlist: 'HLS' })];
  const lines = E.toText(items).split('\n');
  assert.equal(lines.length, 4);
  assert.equal(lines[3], '');
  assert.equal(lines[1].split('\t').length, E.COLUMNS.length);
  assert.ok(lines[1].endsWith('http://h/a b c'));
  const back = JSON.parse(E.toJson(items));
  assert.equal(back[0].url, 'http://h/a\tb\nc');
  assert.equal(back[0].bytes, 1024);
  assert.equal(back[1].bytes, null);
  assert.equal(back[1].playlist, 'HLS');
  assert.equal(back[0].playlist, undefined);
});

test('exportFileName is a plain local time stamp with the format extension', () => {
  const d = new Date(2025, 0, 31, 9, 5, 7);
  assert.equal(E.exportFileName('csv', d), 'trawlet-20250131-090507.csv');
  assert.equal(E.exportFileName('json', d), 'trawlet-20250131-090507.json');
  assert.equal(E.exportFileName('text', d), 'trawlet-20250131-090507.txt');
});

// Runs a command text with the tools replaced by programs that print their arguments,
// and gives back one argument list per run of a tool.
function fakeRuns(script) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'trawlet-tools-'));
  try {
    for (const t of Object.values(E.TOOLS)) {
      const file = path.join(dir, t.words[0]);
      fs.writeFileSync(file, '#!/bin/sh\nfor a in "$@"; do printf "%s\\0" "$a"; done\nprintf "\\1\\0"\n');
      fs.chmodSync(file, 0o755);
    }
    const out = execFileSync('/bin/sh', ['-c', script], { encoding: 'utf8', env: { PATH: dir + ':/usr/bin:/bin' } });
    const runs = [[]];
    for (const a of out.split('\0').slice(0, -1)) {
      if (a === '\x01') runs.push([]);
      else runs[runs.length - 1].push(a);
    }
    return runs.slice(0, -1);
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// Header values a page can make the engine send, and worse.
const VALUE = `it's "quoted" $HOME $(id) \`id\` \\ ; & | * ~ !x`;
const H1 = [['Referer', 'http://127.0.0.1/page'], ['Cookie', 'a=' + VALUE]];
const H2 = [['User-Agent', 'Engine/1.0 (X11)'], ['Authorization', 'Basic ' + VALUE]];
const TARGETS = [
  { url: 'http://h/a.mp4', headers: H1 },
  { url: 'http://h/b', headers: [] },
  { url: 'http://h/c.ts', headers: H1 },
  { url: '-d', headers: H2 },
  'http://h/e',
  { url: 'http://h/\0x', headers: H1 },
];

test('commands: addresses with different headers in one command, per tool', () => {
  const curl = ['--fail', '--location', '--globoff', '--remote-name-all'];
  const cases = [
    // tool, runs of the tool with their arguments
    ['curl', [[
      ...curl, '-H', 'Referer: http://127.0.0.1/page', '-H', 'Cookie: a=' + VALUE, 'http://h/a.mp4', 'http://h/c.ts',
      '--next', ...curl, 'http://h/b', 'http://h/e',
      '--next', ...curl, '-H', 'User-Agent: Engine/1.0 (X11)', '-H', 'Authorization: Basic ' + VALUE, '--url', '-d',
    ]]],
    ['wget', [
      ['--header=Referer: http://127.0.0.1/page', '--header=Cookie: a=' + VALUE, '--', 'http://h/a.mp4', 'http://h/c.ts'],
      ['--', 'http://h/b', 'http://h/e'],
      ['--header=User-Agent: Engine/1.0 (X11)', '--header=Authorization: Basic ' + VALUE, '--', '-d'],
    ]],
    ['media', [
      ['--add-headers', 'Referer:http://127.0.0.1/page', '--add-headers', 'Cookie:a=' + VALUE, '--', 'http://h/a.mp4', 'http://h/c.ts'],
      ['--', 'http://h/b', 'http://h/e'],
      ['--add-headers', 'User-Agent:Engine/1.0 (X11)', '--add-headers', 'Authorization:Basic ' + VALUE, '--', '-d'],
    ]],
  ];
  for (const [tool, runs] of cases) {
    const c = E.commandLine(tool, TARGETS);
    assert.deepEqual([c.count, c.skipped, c.sets], [5, 1, 3], tool);
    assert.deepEqual(fakeRuns(c.text), runs, tool);
    assert.equal(c.text.split('\n').filter((l) => /^(curl|wget|yt-dlp)\b/.test(l)).length, tool === 'curl' ? 1 : 3, tool);
  }
});

test('commands: every header value reaches the tool as it is, whatever it holds', () => {
  const values = NASTY.concat(['two\nlines', 'cr\rhere', "'", '"', '$', '`', '\\', '']);
  for (const tool of Object.keys(E.TOOLS)) {
    for (const v of values) {
      const c = E.commandLine(tool, [{ url: 'http://h/a', headers: [['X-Test', v]] }]);
      const args = fakeRuns(c.text)[0];
      const sent = tool === 'curl' ? args[args.indexOf('-H') + 1] : tool === 'wget' ? args[0] : args[1];
      assert.equal(sent, tool === 'media' ? 'X-Test:' + v : tool === 'wget' ? '--header=X-Test: ' + v : 'X-Test: ' + v, tool + ' ' + JSON.stringify(v));
    }
    // A header holding a NUL cannot be passed: it is left out, the address stays.
    const c = E.commandLine(tool, [{ url: 'http://h/a', headers: [['X-A', 'a\0b'], ['X-B', 'ok']] }]);
    assert.ok(!c.text.includes('X-A') && c.text.includes('X-B'), tool);
  }
});

// A loopback site whose files answer only the headers a page's request would have had:
// /page/* wants Referer = the page, the engine's User-Agent and the session cookie,
// /open/* wants only the Referer of another page.
function protectedSite() {
  const http = require('node:http');
  const files = new Map([
    ['/page/a.bin', Buffer.from('first file\n'.repeat(100))],
    ['/page/b.bin', Buffer.from([0, 1, 2, 255, 254, 10, 13])],
    ['/open/c.bin', Buffer.from('third')],
  ]);
  const server = http.createServer((req, res) => {
    const body = files.get(req.url);
    const base = 'http://127.0.0.1:' + server.address().port;
    const ok =
      body &&
      (req.url.startsWith('/page/')
        ? req.headers.referer === base + '/page' && req.headers['user-agent'] === 'Engine/1.0 (X11; Linux)' && /(^|; )sid=s1(;|$)/.test(req.headers.cookie || '')
        : req.headers.referer === base + '/other' && !req.headers.cookie);
    res.writeHead(ok ? 200 : 403, { 'Content-Type': 'application/octet-stream', 'Content-Length': ok ? body.length : 0 });
    res.end(ok ? body : undefined);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({ server, files, base: 'http://127.0.0.1:' + server.address().port })));
}

function have(program) {
  try {
    execFileSync('/bin/sh', ['-c', 'command -v ' + program], { stdio: 'ignore' });
    return true;
  } catch (e) {
    return false;
  }
}

test('commands: the copied text run by /bin/sh fetches what only the page may fetch', async (t) => {
  const { execFile } = require('node:child_process');
  const site = await protectedSite();
  try {
    const ua = 'Engine/1.0 (X11; Linux)';
    const D = require('../../resources/Html/js/details.js');
    const det = (url, referer) => D.parseDetails(JSON.stringify({ url, requestHeaders: [['Referer', referer], ['Range', 'bytes=0-'], ['Sec-Fetch-Dest', 'video']] }));
    const targets = [
      { url: site.base + '/page/a.bin', details: det(site.base + '/page/a.bin', site.base + '/page'), cookie: 'sid=s1; other="x y"' },
      { url: site.base + '/open/c.bin', details: det(site.base + '/open/c.bin', site.base + '/other'), cookie: '' },
      { url: site.base + '/page/b.bin', details: det(site.base + '/page/b.bin', site.base + '/page'), cookie: 'sid=s1; other="x y"' },
    ];
    const expected = Array.from(site.files.values()).map((b) => b.toString('hex')).sort();
    for (const [tool, program] of [['curl', 'curl'], ['wget', 'wget'], ['media', 'yt-dlp']]) {
      await t.test(tool, { skip: !have(program) && program + ' is not installed' }, async () => {
        for (const withCredentials of [true, false]) {
          const list = targets.map((x) => ({ url: x.url, headers: D.commandHeaders(x.details, x.cookie, withCredentials, ua) }));
          const text = E.commandLine(tool, list).text;
          const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'trawlet-fetch-'));
          try {
            await new Promise((resolve) => execFile('/bin/sh', ['-c', text], { cwd: dir, timeout: 60000, env: { PATH: '/usr/bin:/bin', HOME: dir } }, () => resolve()));
            const got = fs.readdirSync(dir).filter((n) => !n.startsWith('.')).map((n) => fs.readFileSync(path.join(dir, n)));
            const kept = got.filter((b) => b.length > 0).map((b) => b.toString('hex')).sort();
            // Without credentials only the file that needs no cookie comes.
            assert.deepEqual(kept, withCredentials ? expected : [site.files.get('/open/c.bin').toString('hex')], tool + ' ' + withCredentials + '\n' + text);
          } finally {
            fs.rmSync(dir, { recursive: true, force: true });
          }
        }
      });
    }
  } finally {
    site.server.close();
  }
});

// HAR from rows as the page has them: with and without the program's details, from a
// saved scan, and a segment group.
function harRows() {
  const { ResultModel } = require('../../resources/Html/js/model.js');
  const D = require('../../resources/Html/js/details.js');
  const m = new ResultModel();
  const add = (url, type, size, details) => {
    const hit = m.add({ fileName: url.split('/').pop(), mimeType: type, size, url }, 1765270000000);
    if (details) m.attachDetails(hit, D.parseDetails(JSON.stringify(Object.assign({ url }, details))));
  };
  add('http://127.0.0.1:1/page', 'text/html', '1KB', {
    method: 'GET', status: 200, statusText: 'OK', length: 1024, started: 1765270000100, received: 1765270000130, destination: 'document',
    requestHeaders: [['User-Agent', 'Engine/1.0'], ['Authorization', 'Basic dTpw']],
    responseHeaders: [['Content-Type', 'text/html'], ['Set-Cookie', 'sid=s1; Path=/; HttpOnly'], ['set-cookie', 'b=2']],
  });
  add('http://127.0.0.1:1/api?q=a%20b&x=1+2&bad=%E0%A4%A&flag', 'application/json', 'unknown', { method: 'POST', status: 500, started: 1765270000050, received: 1765270000040 });
  add('http://127.0.0.1:1/moved', '', 'unknown', { status: 302, redirect: true, redirectTo: 'http://127.0.0.1:1/page' });
  add('http://127.0.0.1:1/plain.mp4', 'video/mp4', '1.84KB', null);
  add('http://127.0.0.1:1/live/s1.ts', 'video/mp2t', '1KB', { status: 206, length: 1024, started: 1765270000200, received: 1765270000210 });
  add('http://127.0.0.1:1/live/s2.ts', 'video/mp2t', '1KB', null);
  m.addRestored({ url: 'http://127.0.0.1:1/saved.png', fileName: 'saved.png', mimeType: 'image/png', size: '10B', hits: 2, firstSeen: 1765260000000, lastSeen: 1765260000000, details: [404, 'GET', 10, 'image'] });
  m.flush();
  return require('../../resources/Html/js/model.js').exportItems(m.view);
}

// What importers of HAR rely on beyond the schema.
function checkImporterRules(har) {
  const ids = new Set(har.log.pages.map((p) => p.id));
  assert.equal(ids.size, har.log.pages.length);
  for (const p of har.log.pages) assert.ok(Number.isFinite(Date.parse(p.startedDateTime)), p.startedDateTime);
  const numbers = (o, where) => {
    for (const [k, v] of Object.entries(o)) {
      if (['time', 'status', 'headersSize', 'bodySize', 'size', 'blocked', 'dns', 'connect', 'ssl', 'send', 'wait', 'receive', 'onContentLoad', 'onLoad'].includes(k))
        assert.ok(typeof v === 'number' && Number.isFinite(v) && v >= -1, where + '.' + k + ' = ' + JSON.stringify(v));
      else if (v && typeof v === 'object') numbers(v, where + '.' + k);
    }
  };
  numbers(har.log, 'log');
  let last = -Infinity;
  for (const e of har.log.entries) {
    assert.ok(ids.has(e.pageref), 'pageref ' + e.pageref);
    const t = Date.parse(e.startedDateTime);
    assert.ok(Number.isFinite(t) && t >= last, e.startedDateTime);
    last = t;
    assert.equal(e.time, e.timings.send + e.timings.wait + e.timings.receive);
    for (const part of [e.request, e.response]) for (const k of ['headers', 'cookies']) assert.ok(Array.isArray(part[k]));
    assert.ok(Array.isArray(e.request.queryString));
  }
}

test('HAR: valid HAR 1.2 that importers take, with and without the program\'s details', async () => {
  const validate = require('har-validator');
  const items = harRows();
  const cases = [
    // items, options
    [items, {}],
    [items, { withCredentials: true, cookies: new Map([['http://127.0.0.1:1/page', 'sid=s1; b=2']]), title: 'http://127.0.0.1:1/page', started: 1765269999000 }],
    [items.map((it) => Object.assign({}, it, { details: null })), {}],
    [[], { now: 1765270000000 }],
  ];
  for (const [list, options] of cases) {
    const har = JSON.parse(E.toHar(list, options));
    await validate.har(har);
    checkImporterRules(har);
    assert.equal(har.log.entries.length, list.length);
  }
});

test('HAR: entries say what the program told; credentials only when asked for', () => {
  const items = harRows();
  const har = JSON.parse(E.toHar(items, { title: 'http://127.0.0.1:1/page', started: 1765269999000 }));
  assert.deepEqual(har.log.pages[0], { startedDateTime: '2025-12-09T08:46:39.000Z', id: 'page_1', title: 'http://127.0.0.1:1/page', pageTimings: { onContentLoad: -1, onLoad: -1 } });
  const byUrl = new Map(har.log.entries.map((e) => [e.request.url, e]));
  const page = byUrl.get('http://127.0.0.1:1/page');
  assert.deepEqual([page.request.method, page.response.status, page.response.statusText, page.response.content, page.time, page.timings.wait], ['GET', 200, 'OK', { size: 1024, mimeType: 'text/html' }, 30, 30]);
  assert.equal(page.startedDateTime, new Date(1765270000100).toISOString());
  const text = JSON.stringify(har).toLowerCase();
  for (const secret of ['authorization', 'set-cookie', 'sid=s1', 'basic dtpw']) assert.ok(!text.includes(secret), secret);
  assert.deepEqual(page.request.cookies, []);
  assert.deepEqual(page.response.cookies, []);
  const api = byUrl.get('http://127.0.0.1:1/api?q=a%20b&x=1+2&bad=%E0%A4%A&flag');
  assert.deepEqual(api.request.queryString, [{ name: 'q', value: 'a b' }, { name: 'x', value: '1 2' }, { name: 'bad', value: '%E0%A4%A' }, { name: 'flag', value: '' }]);
  assert.deepEqual([api.request.method, api.response.status, api.time, api.response.content.size], ['POST', 500, 0, -1]);
  assert.equal(byUrl.get('http://127.0.0.1:1/moved').response.redirectURL, 'http://127.0.0.1:1/page');
  const plain = byUrl.get('http://127.0.0.1:1/plain.mp4');
  assert.deepEqual([plain.request.method, plain.response.status, plain.response.content.size], ['GET', 0, -1]);
  assert.match(plain.comment, /only the address, type and size/);
  assert.match(byUrl.get('http://127.0.0.1:1/saved.png').comment, /saved scan/);
  assert.equal(byUrl.get('http://127.0.0.1:1/live/s1.ts').response.status, 206);
  // Oldest first: the saved row, then by the time each request started.
  assert.equal(har.log.entries[0].request.url, 'http://127.0.0.1:1/saved.png');

  const withCreds = JSON.parse(E.toHar(items, { withCredentials: true, cookies: new Map([['http://127.0.0.1:1/page', 'sid=s1; b=2']]) }));
  const p2 = withCreds.log.entries.find((e) => e.request.url === 'http://127.0.0.1:1/page');
  assert.deepEqual(p2.request.headers.map((h) => h.name), ['User-Agent', 'Authorization', 'Cookie']);
  assert.deepEqual(p2.request.cookies, [{ name: 'sid', value: 's1' }, { name: 'b', value: '2' }]);
  assert.deepEqual(p2.response.cookies, [{ name: 'sid', value: 's1', path: '/', httpOnly: true }, { name: 'b', value: '2' }]);
});

test('HAR: a playlist\'s entry carries its variants as the custom field _variants, and stays valid', async () => {
  require('./parsers.js').loadParsers();
  const S = require('../../resources/Html/js/streams.js');
  const P = require('./playlists.js');
  const validate = require('har-validator');
  const masterUrl = P.BASE + 'master.m3u8';
  const playlist = { fileName: 'master.m3u8', mimeType: 'application/vnd.apple.mpegurl', size: '1KB', bytes: 1024, kind: 'playlist', playlist: 'HLS', hits: 1, firstSeen: '', lastSeen: '', url: masterUrl, details: null, seen: 1765270000000 };
  const items = harRows().concat([playlist]);
  const model = S.markSeen(S.read({ url: masterUrl, body: P.MASTER }), [P.BASE + '360p/index.m3u8']);
  const har = JSON.parse(E.toHar(S.withVariants(items, (u) => (u === masterUrl ? model : null), true), {}));
  await validate.har(har);
  checkImporterRules(har);
  const withVariants = har.log.entries.filter((e) => e._variants !== undefined);
  assert.deepEqual(withVariants.map((e) => e.request.url), [masterUrl]);
  assert.deepEqual(
    withVariants[0]._variants.map((v) => [v.url, v.width, v.height, v.bandwidth, v.codecs, v.audio, v.seen]),
    [
      [P.BASE + '360p/index.m3u8', 640, 360, 1280000, 'avc1.4d401e,mp4a.40.2', 'aac', true],
      ['https://127.0.0.1:8443/other/1080p.m3u8?token=a%20b', 1920, 1080, 5000000, 'hvc1.2.4.L123.B0,mp4a.40.2', 'aac', false],
      ['http://127.0.0.1:9000/radio/aac.m3u8', null, null, 64000, 'mp4a.40.5', null, false],
    ],
  );
  assert.equal(har.log.entries.length, items.length);
});
