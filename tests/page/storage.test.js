'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const S = require('../../resources/Html/js/storage.js');

// Local storage with a quota per item, like the engine's, and a switch to refuse writes.
function memoryStorage(maxItemChars) {
  const m = new Map();
  return {
    map: m,
    refuse: false,
    getItem: (k) => (m.has(k) ? m.get(k) : null),
    setItem(k, v) {
      if (this.refuse || String(v).length > (maxItemChars || Infinity)) throw new Error('QuotaExceededError');
      m.set(k, String(v));
    },
    removeItem: (k) => m.delete(k),
    key: (i) => Array.from(m.keys())[i] ?? null,
    get length() {
      return m.size;
    },
  };
}

test('settings: whatever is stored comes back in a usable shape', () => {
  const d = S.defaults();
  const cases = [
    [null, d],
    ['text', d],
    [[1, 2], d],
    [{ url: 5, filterKind: 'video', mimeText: 'x'.repeat(2000), tool: 'rm', theme: 'pink', historyLimit: 999, sortCol: 'evil', sortDir: 0 }, d],
    [{ url: 'http://x', filterKind: 'ext', extText: '*.mp4', tool: 'media', theme: 'dark', historyLimit: 0, sortCol: 'size', sortDir: -1, foldDuplicates: false },
      Object.assign(S.defaults(), { url: 'http://x', filterKind: 'ext', extText: '*.mp4', tool: 'media', theme: 'dark', historyLimit: 0, sortCol: 'size', sortDir: -1, foldDuplicates: false })],
  ];
  for (const [raw, expected] of cases) assert.deepEqual(S.sanitizeSettings(raw), expected, JSON.stringify(raw).slice(0, 80));
});

test('settings: column order and widths are kept only when every column is there once', () => {
  const order = ['url', 'name', 'size', 'status', 'type', 'hits', 'last', 'first'];
  const good = order.map((id, i) => ({ id, width: 100 + i }));
  assert.deepEqual(S.sanitizeSettings({ columns: good }).columns, good);
  // An order stored before a column was added keeps its order and gets the new column
  // after the one it follows by default.
  const older = good.filter((c) => !S.ADDED_COLUMNS.includes(c.id));
  const back = S.sanitizeSettings({ columns: older }).columns;
  assert.deepEqual(back.map((c) => c.id), ['url', 'name', 'size', 'status', 'type', 'hits', 'last', 'first']);
  assert.equal(back.find((c) => c.id === 'status').width, S.DEFAULT_WIDTHS.status);
  const sizeFirst = S.sanitizeSettings({ columns: [older[2], ...older.filter((c, i) => i !== 2)] }).columns;
  assert.deepEqual(sizeFirst.map((c) => c.id).slice(0, 2), ['size', 'status']);
  const cases = [
    good.slice(1),
    [good[1], ...good.slice(1)],
    [...good.slice(0, 6), { id: 'evil', width: 10 }],
  ];
  for (const cols of cases) assert.deepEqual(S.sanitizeSettings({ columns: cols }).columns.map((c) => c.id), S.COLUMN_IDS);
  // A repeated column counts once, at its first place.
  assert.deepEqual(S.sanitizeSettings({ columns: [...good, good[0]] }).columns, good);
  const widths = S.sanitizeSettings({ columns: order.map((id) => ({ id, width: id === 'url' ? 5 : id === 'name' ? 1e9 : 'x' })) }).columns;
  for (const c of widths) assert.equal(c.width, S.DEFAULT_WIDTHS[c.id], c.id);
});

test('settings survive a save and a load; broken storage gives the defaults', () => {
  const st = memoryStorage();
  const s = Object.assign(S.defaults(), { url: 'https://a/', filterKind: 'mime', mimeText: 'video', theme: 'light' });
  assert.equal(S.saveSettings(st, s), true);
  assert.deepEqual(S.loadSettings(st), s);
  st.map.set(S.SETTINGS_KEY, '{broken');
  assert.deepEqual(S.loadSettings(st), S.defaults());
  assert.deepEqual(S.loadSettings(null), S.defaults());
  st.refuse = true;
  assert.equal(S.saveSettings(st, s), false);
});

test('settings: a refused write reaches the caller with what to say', () => {
  const st = memoryStorage();
  st.refuse = true;
  const seen = [];
  assert.equal(S.saveSettings(st, S.defaults(), (e) => seen.push(e)), false);
  assert.equal(seen.length, 1);
  st.refuse = false;
  assert.equal(S.saveSettings(st, S.defaults(), (e) => seen.push(e)), true);
  assert.equal(seen.length, 1);
  const quota = new Error('The quota has been exceeded.');
  quota.name = 'QuotaExceededError';
  const cases = [
    [quota, 'the page’s storage is full.'],
    [{ code: 22 }, 'the page’s storage is full.'],
    [new Error('QuotaExceededError'), 'the page’s storage is full.'],
    [Object.assign(new Error('no'), { name: 'SecurityError' }), 'the page’s storage refused to write (SecurityError).'],
    ['odd', 'the page’s storage refused to write (odd).'],
    [null, 'the page’s storage refused to write (null).'],
  ];
  for (const [e, end] of cases) assert.equal(S.refusalText(e), 'Settings and history will not be kept: ' + end, String(e));
});

// Saves a scan whose rows the test wrote out, as the history gives them: as texts.
const save = (st, history, s, limit) => S.saveScan(st, history, Object.assign({}, s, { texts: s.rows.map(S.rowText) }), limit);

function scan(id, n, extra) {
  return Object.assign({ id, url: 'http://site/' + id, started: id, ended: id + 1, filter: 'everything', total: n, rows: Array.from({ length: n }, (_, i) => ['http://h/' + id + '/' + i, 'f' + i, 'video/mp4', '1KB', 1, id, id]) }, extra);
}

test('history: newest first, at most the limit, each scan stored apart', () => {
  const st = memoryStorage();
  let h = S.loadHistory(st);
  for (let id = 1; id <= 5; id++) h = save(st, h, scan(id, id * 3), 3).history;
  assert.deepEqual(h.map((m) => [m.id, m.rowCount]), [[5, 15], [4, 12], [3, 9]]);
  assert.deepEqual(S.loadHistory(st), h);
  assert.equal(st.getItem(S.SCAN_PREFIX + '1'), null);
  assert.equal(S.loadScanRows(st, 4).length, 12);
  // Saving a scan again replaces it and moves it to the front.
  h = save(st, h, scan(3, 20), 3).history;
  assert.deepEqual(h.map((m) => [m.id, m.rowCount]), [[3, 20], [5, 15], [4, 12]]);
  h = S.trimHistory(st, h, 1);
  assert.deepEqual(S.loadHistory(st).map((m) => m.id), [3]);
  assert.equal(st.getItem(S.SCAN_PREFIX + '5'), null);
  h = S.removeScan(st, h, 3);
  assert.deepEqual(S.loadHistory(st), []);
  assert.equal(st.getItem(S.SCAN_PREFIX + '3'), null);
});

test('history: a limit of 0 keeps nothing', () => {
  const st = memoryStorage();
  const h = save(st, save(st, [], scan(1, 2), 5).history, scan(2, 2), 0);
  assert.deepEqual(h.history, []);
  assert.equal(h.saved, false);
  assert.deepEqual(Array.from(st.map.keys()), [S.HISTORY_KEY]);
});

test('history: when storage refuses, the oldest scans go, then rows of the newest', () => {
  const st = memoryStorage(4000);
  let h = [];
  for (let id = 1; id <= 3; id++) h = save(st, h, scan(id, 20), 5).history;
  assert.equal(h.length, 3);
  // The index itself fits; a scan of 500 rows does not, so it is halved until it does.
  const r = save(st, h, scan(9, 500), 5);
  assert.equal(r.saved, true);
  assert.equal(r.cut, true);
  assert.equal(r.history[0].id, 9);
  assert.ok(r.history[0].truncated);
  assert.ok(r.history[0].rowCount > 0 && r.history[0].rowCount < 500);
  assert.equal(S.loadScanRows(st, 9).length, r.history[0].rowCount);
  st.refuse = true;
  const none = save(st, r.history, scan(10, 5), 5);
  assert.equal(none.saved, false);
  assert.deepEqual(none.history, []);
});

test('history: the whole of it stays within its character budget', () => {
  const st = memoryStorage();
  let h = [];
  const big = (id) => scan(id, 5000, {}); // about 330,000 characters each
  for (let id = 1; id <= 12; id++) h = save(st, h, big(id), 50).history;
  const chars = h.reduce((n, m) => n + m.chars, 0);
  assert.ok(chars <= S.HISTORY_CHARS, String(chars));
  assert.equal(h[0].id, 12);
  assert.ok(h.length < 12);
  for (const m of h) assert.equal(st.getItem(S.SCAN_PREFIX + m.id).length, m.chars);
});

test('history: rows beyond the limit per scan are cut and the scan says so', () => {
  const st = memoryStorage();
  const r = save(st, [], scan(1, S.ROWS_PER_SCAN + 10), 5);
  assert.equal(r.history[0].rowCount, S.ROWS_PER_SCAN);
  assert.equal(r.history[0].truncated, true);
});

test('history: damaged entries are dropped or repaired when read', () => {
  const st = memoryStorage();
  st.map.set(S.HISTORY_KEY, JSON.stringify([null, { id: 'x' }, { id: 1, url: 7, rowCount: -3 }, { id: 1 }, { id: 2, url: 'u', started: 5 }]));
  assert.deepEqual(S.loadHistory(st).map((m) => [m.id, m.url, m.rowCount, m.started]), [[1, '', 0, 1], [2, 'u', 0, 5]]);
  st.map.set(S.SCAN_PREFIX + '2', JSON.stringify([['http://a', 5, null, 9, -1, 'x', 3], 'junk', [7], ['http://b'],
    ['http://c', 'c', 't', '1KB', 2, 1, 2, [404, 'GET', 1024, 'image']], ['http://d', '', '', '', 1, 0, 0, [1e4, 7, -5, 'x'.repeat(40), 'extra']], ['http://e', '', '', '', 1, 0, 0, 'details']]));
  assert.deepEqual(S.loadScanRows(st, 2), [
    ['http://a', '', '', 'unknown', 1, 0, 3],
    ['http://b', '', '', 'unknown', 1, 0, 0],
    ['http://c', 'c', 't', '1KB', 2, 1, 2, [404, 'GET', 1024, 'image']],
    ['http://d', '', '', '', 1, 0, 0, [0, '', -1, '']],
    ['http://e', '', '', '', 1, 0, 0],
  ]);
  st.map.set(S.HISTORY_KEY, '{');
  assert.deepEqual(S.loadHistory(st), []);
});

test('clearHistory removes every stored scan, also ones the index lost', () => {
  const st = memoryStorage();
  let h = save(st, [], scan(1, 3), 5).history;
  h = save(st, h, scan(2, 3), 5).history;
  st.map.set(S.SCAN_PREFIX + '77', '[]');
  st.map.set(S.SETTINGS_KEY, '{}');
  st.map.set('other', 'x');
  assert.deepEqual(S.clearHistory(st), []);
  assert.deepEqual(Array.from(st.map.keys()).sort(), ['other', S.SETTINGS_KEY].sort());
});

test('history: one big scan is trimmed first and the older scans stay when they fit', () => {
  const longUrl = 'http://h/' + 'a'.repeat(S.HISTORY_CHARS);
  const wide = (id, n) => scan(id, n, { rows: Array.from({ length: n }, (_, i) => ['http://h/' + 'w'.repeat(600) + i, 'f', 'video/mp4', '1KB', 1, id, id]) });
  const cases = [
    // name, the new scan, rows kept, older scans kept
    ['one address longer than the budget', scan(9, 30, { rows: [['http://h/ok/0', 'f', 'text/html', '1KB', 1, 9, 9], [longUrl, 'big', 'text/html', '1KB', 1, 9, 9], ['http://h/ok/2', 'f', 'text/html', '1KB', 1, 9, 9]] }), 2, 3],
    ['only an address longer than the budget', scan(9, 1, { rows: [[longUrl, 'big', 'text/html', '1KB', 1, 9, 9]] }), 0, 3],
    ['3,500 addresses of 600 characters', wide(9, 3500), null, null],
  ];
  for (const [name, big, rowsKept, olderKept] of cases) {
    const st = memoryStorage();
    let h = [];
    for (let id = 1; id <= 3; id++) h = save(st, h, scan(id, 20), 5).history;
    const r = save(st, h, big, 5);
    const older = r.history.filter((m) => m.id !== 9);
    const mine = r.history.find((m) => m.id === 9);
    assert.equal(r.cut, true, name);
    assert.equal(r.rowsCut, big.rows.length - (mine ? mine.rowCount : 0), name);
    if (rowsKept !== null) assert.equal(mine ? mine.rowCount : 0, rowsKept, name);
    else assert.ok(mine && mine.rowCount > 2500 && mine.truncated, name + ': ' + (mine && mine.rowCount));
    if (olderKept !== null) assert.equal(older.length, olderKept, name);
    assert.equal(r.scansDropped, 3 - older.length, name);
    // Whatever the index names is stored, and the whole stays within the budget.
    assert.deepEqual(S.loadHistory(st), r.history, name);
    for (const m of r.history) assert.equal(S.loadScanRows(st, m.id).length, m.rowCount, name);
    assert.ok(r.history.reduce((n, m) => n + m.chars, 0) <= S.HISTORY_CHARS, name);
  }
});

test('history: a scan that fits beside the older ones is saved whole and cuts nothing', () => {
  const st = memoryStorage();
  let h = [];
  for (let id = 1; id <= 3; id++) h = save(st, h, scan(id, 20), 5).history;
  const r = save(st, h, scan(9, 2000), 5);
  assert.deepEqual([r.cut, r.rowsCut, r.scansDropped, r.history.length, r.history[0].truncated], [false, 0, 0, 4, false]);
});
