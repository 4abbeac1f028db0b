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
    curl: ['--location', '--globoff', '--remote-name-all'],
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
