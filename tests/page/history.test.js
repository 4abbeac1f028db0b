'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const H = require('../../resources/Html/js/history.js');
const S = require('../../resources/Html/js/storage.js');
const { fakeClock } = require('./fake-clock.js');

test('the history is written at most a tenth of the time, and at once when asked', () => {
  // Each step: [ms from the start, 'soon' | 'now' | 'empty' (soon, with nothing to write)].
  // Every write takes 5 ms, so the next may start 50 ms after it ends.
  const cases = [
    [[[0, 'soon'], [10, 'soon'], [20, 'soon']], [0, 55]],
    [[[0, 'soon'], [100, 'soon']], [0, 100]],
    [[[0, 'soon'], [10, 'now'], [30, 'soon']], [0, 10, 65]],
    [[[0, 'empty'], [1, 'soon']], [1]],
    [[[0, 'soon'], [10, 'soon'], [20, 'now'], [200, 'soon']], [0, 20, 200]],
  ];
  for (const [steps, expected] of cases) {
    const clock = fakeClock();
    const start = clock.time;
    const writes = [];
    let nothing = false;
    const pacer = H.createPacer(() => {
      if (nothing) return false;
      writes.push(clock.time - start);
      clock.time += 5;
      return true;
    }, clock);
    for (const [at, what] of steps) {
      clock.advance(start + at - clock.time);
      nothing = what === 'empty';
      if (what === 'now') pacer.now();
      else pacer.soon();
    }
    nothing = false;
    clock.advance(1000);
    assert.deepEqual(writes, expected, JSON.stringify(steps));
  }
});

test('scan ids are start times, made unique within the history', () => {
  const cases = [
    [[], 500, 500],
    [[{ id: 400 }], 500, 500],
    [[{ id: 500 }], 500, 501],
    [[{ id: 501 }, { id: 500 }, { id: 502 }], 500, 503],
  ];
  for (const [scans, time, id] of cases) assert.equal(H.uniqueScanId(scans, time), id, JSON.stringify(scans));
});

test('the number of scans to keep, from what was typed', () => {
  const cases = [
    ['3', 5, 3],
    ['2.6', 5, 3],
    ['0', 5, 0],
    ['-4', 5, 0],
    [String(S.MAX_SCANS + 10), 5, S.MAX_SCANS],
    ['many', 5, 5],
    ['', 5, 0],
    ['Infinity', 7, 7],
  ];
  for (const [typed, current, kept] of cases) assert.equal(H.clampLimit(typed, current), kept, typed);
});

test('what the page says about a scan the history could not keep whole', () => {
  const kept = (n) => ({ saved: true, rowsCut: 0, history: [{ rowCount: n }] });
  const cases = [
    [kept(10), 0, ''],
    [{ saved: false, rowsCut: 0, history: [] }, 0, 'This scan could not be saved in the history: it does not fit in the page’s storage.'],
    [Object.assign(kept(5000), { rowsCut: 1 }), 0, 'The history keeps 5,000 addresses of this scan: 1 row was left out (too long, or more than the history holds).'],
    [Object.assign(kept(1), { rowsCut: 2 }), 1, 'The history keeps 1 address of this scan: 2 rows were left out (too long, or more than the history holds). 1 older scan was removed from the history to make room.'],
    [kept(10), 3, '3 older scans were removed from the history to make room.'],
  ];
  for (const [r, dropped, text] of cases) assert.equal(H.cutMessage(r, dropped), text, JSON.stringify(r));
});

test('a saved row comes back as the entry it was made from, and a scan keeps at most its share', () => {
  const entries = [
    { url: 'http://a/x.mp4', fileName: 'x.mp4', mimeType: 'video/mp4', size: '1.0 MB', hits: 3, firstSeen: 10, lastSeen: 20, kind: 'video' },
    { url: 'http://a/y', fileName: '', mimeType: '', size: 'unknown', hits: 1, firstSeen: 0, lastSeen: 0, kind: 'other' },
  ];
  const back = H.scanRowTexts(entries, 10, new WeakMap()).map((t) => H.restoredEntry(JSON.parse(t)));
  for (const [i, e] of entries.entries()) {
    const { kind, ...kept } = e;
    assert.deepEqual(back[i], Object.assign(kept, { details: null }));
  }
  assert.equal(H.scanRowTexts(entries, 1, new WeakMap()).length, 1);
  assert.equal(H.scanRowTexts(entries, 0, new WeakMap()).length, 0);
});

test('a row written again says what its entry holds now, whatever changed since the last write', () => {
  const entry = () => ({ url: 'http://a/x.mp4', fileName: 'x.mp4', mimeType: 'video/mp4', size: '1.0 MB', hits: 1, firstSeen: 10, lastSeen: 10, details: null });
  const withDetails = (status) => ({ status, method: 'GET', length: 5, destination: 'video', headers: [] });
  const cases = [
    ['nothing', () => {}],
    ['hits and last seen', (e) => Object.assign(e, { hits: 2, lastSeen: 30 })],
    ['size and type', (e) => Object.assign(e, { size: '2.0 MB', mimeType: 'video/webm' })],
    ['details came', (e) => (e.details = withDetails(200))],
    ['details changed', (e) => (e.details = withDetails(206)), withDetails(200)],
    ['details went', (e) => (e.details = null), withDetails(200)],
  ];
  for (const [name, change, first] of cases) {
    const e = Object.assign(entry(), { details: first || null });
    const made = new WeakMap();
    H.scanRowTexts([e], 10, made);
    change(e);
    const [again] = H.scanRowTexts([e], 10, made);
    assert.equal(again, H.scanRowTexts([e], 10, new WeakMap())[0], name);
  }
});

test('the scan being captured is named in storage for a page loaded in its place', () => {
  const m = new Map();
  const store = { getItem: (k) => (m.has(k) ? m.get(k) : null), setItem: (k, v) => m.set(k, String(v)), removeItem: (k) => m.delete(k) };
  assert.equal(H.readCapturing(store), null);
  const scan = { id: 1700000000001, url: 'http://127.0.0.1/a', started: 1700000000000, filter: 'everything', scansDropped: 2 };
  H.writeCapturing(store, scan);
  assert.deepEqual(H.readCapturing(store), { id: scan.id, url: scan.url, started: scan.started, filter: scan.filter });
  H.writeCapturing(store, null);
  assert.equal(H.readCapturing(store), null);
  // What is not a scan names none.
  for (const bad of ['{', 'null', '{"id":"x","started":1}', '{"id":1}', '[1,2]']) {
    m.set(H.CAPTURING_KEY, bad);
    assert.equal(H.readCapturing(store), null, bad);
  }
  // A storage that refuses writes loses nothing else.
  const full = { getItem: () => null, setItem: () => { throw new Error('full'); }, removeItem: () => { throw new Error('full'); } };
  assert.doesNotThrow(() => H.writeCapturing(full, scan));
  assert.doesNotThrow(() => H.writeCapturing(full, null));
});
