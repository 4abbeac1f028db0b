'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const L = require('../../resources/Html/js/listtext.js');
const W = require('../../resources/Html/js/words.js');

test('counts with their noun, and clipped texts', () => {
  const cases = [
    [W.plural(1, 'row', 'rows'), '1 row'],
    [W.plural(0, 'row', 'rows'), '0 rows'],
    [W.plural(12345, 'hit', 'hits'), '12,345 hits'],
    [W.formatNumber(1000000), '1,000,000'],
    [W.clipText('abcdef', 3), 'abc…'],
    [W.clipText('abc', 3), 'abc'],
    [W.clipText('', 3), ''],
  ];
  for (const [got, expected] of cases) assert.equal(got, expected);
});

test('the text of each cell', () => {
  const at = new Date(2025, 0, 31, 9, 5, 7).getTime();
  const entry = { type: 'entry', fileName: 'a.mp4', mimeType: 'video/mp4', size: '1.0 MB', hits: 3, url: 'http://h/a.mp4', firstSeen: at, lastSeen: 0 };
  const group = (o) => Object.assign({ type: 'group', fileName: '', size: '2.0 MB', bytes: 2097152, unknownCount: 0 }, o);
  const cases = [
    [entry, 'name', 'a.mp4'],
    [Object.assign({}, entry, { fileName: '' }), 'name', '(no name)'],
    [group({ fileName: '' }), 'name', ''],
    [entry, 'type', 'video/mp4'],
    [entry, 'size', '1.0 MB'],
    [group({ unknownCount: 2 }), 'size', '2.0 MB+'],
    [group({ unknownCount: 2, bytes: -1, size: 'unknown' }), 'size', 'unknown'],
    [group({}), 'size', '2.0 MB'],
    [entry, 'hits', '3'],
    [entry, 'url', 'http://h/a.mp4'],
    [entry, 'first', '09:05:07'],
    [entry, 'last', ''],
    [entry, 'nonsense', ''],
    [entry, 'status', ''],
    [Object.assign({}, entry, { status: 404, method: 'GET' }), 'status', '404'],
    [Object.assign({}, entry, { status: 201, method: 'POST' }), 'status', 'POST 201'],
    [Object.assign({}, entry, { status: 0, method: '' }), 'status', '—'],
    [group({ statuses: new Map([[-1, 1]]) }), 'status', ''],
    [group({ statuses: new Map([[404, 1], [200, 5], [-1, 2]]) }), 'status', '200 404'],
    [group({ statuses: new Map([[500, 1], [200, 5], [0, 1], [206, 1]]) }), 'status', '— 200 206 …'],
  ];
  for (const [row, col, text] of cases) assert.equal(L.cellText(row, col), text, col + ' ' + JSON.stringify(row));
  assert.deepEqual([L.badge(group({})), L.badge({ playlist: 'HLS' }), L.badge(entry)], ['segments', 'HLS', '']);
});

test('the count line and the scope of the actions', () => {
  const counts = (o) => Object.assign({ shown: 0, total: 0, selected: 0, duplicatesHidden: 0, segmentsFolded: 0, dropped: 0 }, o);
  const cases = [
    // counts, malformed records, entries, line, scope
    [counts({}), 0, false, 'No results', 'No rows'],
    [counts({}), 2, false, 'No results · 2 malformed records ignored', 'No rows'],
    [counts({ total: 4 }), 0, true, '0 rows shown of 4 hits', 'No rows'],
    [counts({ shown: 1, total: 1 }), 0, true, '1 row shown of 1 hit', 'All 1 row:'],
    [counts({ shown: 3, total: 40, duplicatesHidden: 2, segmentsFolded: 30, selected: 2, dropped: 1200 }), 1, true,
      '3 rows shown of 40 hits · 2 duplicates folded · 30 segments folded · 2 selected · 1,200 records dropped (the list is full) · 1 malformed record ignored',
      '2 rows selected:'],
  ];
  for (const [c, rejected, hasEntries, text, scope] of cases) assert.deepEqual(L.countLine(c, rejected, hasEntries), { text, scope }, text);
});

test('the word over an empty list', () => {
  const s = (o) => Object.assign({ shown: 0, entries: 0, state: 'idle', started: null, now: 10000 }, o);
  const cases = [
    [s({ shown: 3, entries: 3 }), ''],
    [s({ entries: 3 }), 'filtered'],
    [s({ state: 'running', started: 10000 - L.NOTHING_YET_DELAY }), 'waiting'],
    [s({ state: 'running', started: 10000 - L.NOTHING_YET_DELAY - 1 }), 'nothing'],
    [s({ state: 'running' }), 'waiting'],
    [s({ state: 'paused', started: 0 }), 'paused'],
    [s({ started: 5000 }), 'stopped'],
    [s({}), 'start'],
  ];
  for (const [state, key] of cases) {
    assert.equal(L.emptyKey(state), key, JSON.stringify(state));
    if (key) assert.ok(L.EMPTY_TEXTS[key].length > 10, key);
  }
});
