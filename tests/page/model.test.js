'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { ResultModel, merge, folderOf, exportItems, rowUrls, rowTargets } = require('../../resources/Html/js/model.js');
const D = require('../../resources/Html/js/details.js');

function rec(url, mimeType, size, fileName) {
  const name = fileName !== undefined ? fileName : url.split(/[?#]/)[0].split('/').pop();
  return { fileName: name, mimeType: mimeType || 'video/mp4', size: size || 'unknown', url };
}
function filled(records, setup) {
  const m = new ResultModel();
  if (setup) setup(m);
  records.forEach((r, i) => m.add(r, 1000 + i));
  m.flush();
  return m;
}
const names = (m) => m.view.map((r) => r.fileName);

test('duplicates fold by address without fragment; every hit shows them all', () => {
  const records = [
    rec('http://h/a.mp4'), rec('http://h/a.mp4#t=10'), rec('http://h/b.mp4'), rec('http://h/a.mp4?x=1'), rec('http://h/a.mp4'),
    rec('http://H/a.mp4'),
  ];
  const m = filled(records);
  assert.deepEqual(m.view.map((r) => [r.url, r.hits, r.firstSeen, r.lastSeen]), [
    ['http://h/a.mp4', 3, 1000, 1004],
    ['http://h/b.mp4', 1, 1002, 1002],
    ['http://h/a.mp4?x=1', 1, 1003, 1003],
    ['http://H/a.mp4', 1, 1005, 1005],
  ]);
  const c = m.counts();
  assert.deepEqual([c.total, c.unique, c.duplicatesHidden, c.shown], [6, 4, 2, 4]);
  m.setFolding(false, true);
  m.flush();
  assert.deepEqual(m.view.map((r) => r.url), records.map((r) => r.url));
  assert.deepEqual(m.view.map((r) => r.occurrence), [1, 2, 1, 1, 3, 1]);
  assert.equal(m.counts().duplicatesHidden, 0);
});

test('a folded row shows the latest type and the latest known size', () => {
  const m = filled([rec('http://h/x', 'text/html', '1KB'), rec('http://h/x', 'video/mp4', 'unknown'), rec('http://h/x#2', 'video/mp4', '2MB')]);
  const r = m.view[0];
  assert.deepEqual([r.mimeType, r.size, r.bytes, r.kind, r.hits], ['video/mp4', '2MB', 2 * 2 ** 20, 'video', 3]);
});

test('segments fold per folder under one row with counts and summed sizes', () => {
  const records = [
    rec('http://h/live/master.m3u8', 'application/vnd.apple.mpegurl', '1KB'),
    rec('http://h/live/s1.ts?tok=1', 'video/mp2t', '1MB'),
    rec('http://h/live/s2.ts?tok=2', 'video/mp2t', 'unknown'),
    rec('http://h/movie.mp4'),
    rec('http://h/live/s1.ts?tok=1', 'video/mp2t', '1MB'),
    rec('http://h/other/s9.ts', 'video/mp2t', '512KB'),
  ];
  const m = filled(records);
  assert.deepEqual(m.view.map((r) => [r.type, r.fileName, r.url]), [
    ['entry', 'master.m3u8', 'http://h/live/master.m3u8'],
    ['group', '2 segments', 'http://h/live/'],
    ['entry', 'movie.mp4', 'http://h/movie.mp4'],
    ['group', '1 segment', 'http://h/other/'],
  ]);
  const g = m.view[1];
  assert.deepEqual([g.hits, g.bytes, g.size, g.unknownCount, g.kind], [3, 2 ** 20, '1MB', 1, 'video']);
  assert.equal(m.view[0].playlist, 'HLS');
  assert.equal(m.counts().segmentsFolded, 3);
  assert.deepEqual(rowUrls([g]), ['http://h/live/s1.ts?tok=1', 'http://h/live/s2.ts?tok=2']);
  // Every hit, segments still folded: the group counts hits.
  m.setFolding(false, true);
  m.flush();
  assert.equal(m.view.find((r) => r.type === 'group').fileName, '3 segments');
  m.setFolding(true, false);
  m.flush();
  assert.deepEqual(names(m), ['master.m3u8', 's1.ts', 's2.ts', 'movie.mp4', 's9.ts']);
});

test('a segment group\'s size follows its segments as they come and change size', () => {
  const seg = (n, size) => rec('http://h/live/s' + n + '.ts', 'video/mp2t', size);
  // [records, expected { size, bytes, unknownCount }]
  const cases = [
    [[seg(1, '1MB')], { size: '1MB', bytes: 2 ** 20, unknownCount: 0 }],
    [[seg(1, 'unknown')], { size: 'unknown', bytes: -1, unknownCount: 1 }],
    [[seg(1, 'unknown'), seg(2, '1KB')], { size: '1KB', bytes: 1024, unknownCount: 1 }],
    // A later hit that knows the size replaces the unknown one.
    [[seg(1, 'unknown'), seg(1, '2KB')], { size: '2KB', bytes: 2048, unknownCount: 0 }],
    // A changed size replaces the old one, once per address.
    [[seg(1, '1KB'), seg(2, '1KB'), seg(1, '3KB'), seg(1, '3KB')], { size: '4KB', bytes: 4096, unknownCount: 0 }],
    // A hit without a size keeps the known one.
    [[seg(1, '1KB'), seg(1, 'unknown')], { size: '1KB', bytes: 1024, unknownCount: 0 }],
    [[seg(1, '1KB'), seg(2, 'unknown'), seg(2, 'unknown')], { size: '1KB', bytes: 1024, unknownCount: 1 }],
  ];
  for (const [records, expected] of cases) {
    const m = filled(records);
    const g = m.view.find((r) => r.type === 'group');
    assert.deepEqual({ size: g.size, bytes: g.bytes, unknownCount: g.unknownCount }, expected, JSON.stringify(records.map((r) => r.size)));
    // The same as adding the sizes up from scratch.
    const known = g.entries.filter((e) => e.bytes >= 0).reduce((n, e) => n + e.bytes, 0);
    assert.equal(g.knownBytes, known);
  }
});

test('a stream of many segments in one folder takes linear time', () => {
  // Adding every segment's size up again at each hit made this quadratic: seconds at
  // this count. The bound is generous for a loaded machine.
  const m = new ResultModel();
  const t0 = Date.now();
  for (let i = 0; i < 40000; i++) m.add(rec('http://h/live/s' + i + '.ts', 'video/mp2t', '1KB'), i);
  m.flush();
  assert.ok(Date.now() - t0 < 3000, 'took ' + (Date.now() - t0) + ' ms');
  assert.equal(m.view[0].size, '39.06MB');
});

test('sorting by size uses bytes, not text; ties keep arrival order; unknown sorts lowest', () => {
  const sizes = ['10B', '2KB', 'unknown', '1.50MB', '999B', '2KB', '1GB', '1023.99KB', '1MB'];
  const m = filled(sizes.map((s, i) => rec('http://h/' + i, 'image/png', s)));
  m.setSort('size', 1);
  m.flush();
  assert.deepEqual(m.view.map((r) => r.size), ['unknown', '10B', '999B', '2KB', '2KB', '1023.99KB', '1MB', '1.50MB', '1GB']);
  assert.deepEqual(m.view.filter((r) => r.size === '2KB').map((r) => r.url), ['http://h/1', 'http://h/5']);
  m.setSort('size', -1);
  m.flush();
  assert.deepEqual(m.view.map((r) => r.size), ['1GB', '1.50MB', '1MB', '1023.99KB', '2KB', '2KB', '999B', '10B', 'unknown']);
  assert.deepEqual(m.view.filter((r) => r.size === '2KB').map((r) => r.url), ['http://h/1', 'http://h/5']);
  m.setSort(null, -1);
  m.flush();
  assert.deepEqual(m.view.map((r) => r.url), sizes.map((s, i) => 'http://h/' + i).reverse());
});

test('sorting by each column', () => {
  const m = filled([rec('http://b/Zed.mp4', 'video/mp4'), rec('http://a/alpha.js', 'application/javascript'), rec('http://c/beta.css', 'text/css'), rec('http://a/alpha.js', 'application/javascript')]);
  const cases = [
    ['name', 1, ['alpha.js', 'beta.css', 'Zed.mp4']],
    ['type', 1, ['alpha.js', 'beta.css', 'Zed.mp4']],
    ['url', -1, ['beta.css', 'Zed.mp4', 'alpha.js']],
    ['hits', -1, ['alpha.js', 'Zed.mp4', 'beta.css']],
    ['last', -1, ['alpha.js', 'beta.css', 'Zed.mp4']],
    ['first', 1, ['Zed.mp4', 'alpha.js', 'beta.css']],
    ['bogus', 1, ['Zed.mp4', 'alpha.js', 'beta.css']],
  ];
  for (const [col, dir, expected] of cases) {
    m.setSort(col, dir);
    m.flush();
    assert.deepEqual(names(m), expected, col + ' ' + dir);
  }
});

// The incremental update must always give what a rebuild from scratch gives.
test('incremental flushes agree with rebuilding, under random arrivals, sorts, filters and folding', () => {
  let seed = 7;
  const rnd = (n) => {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed % n;
  };
  const types = ['video/mp4', 'video/mp2t', 'image/png', 'text/css', 'application/vnd.apple.mpegurl'];
  const exts = { 'video/mp4': 'mp4', 'video/mp2t': 'ts', 'image/png': 'png', 'text/css': 'css', 'application/vnd.apple.mpegurl': 'm3u8' };
  const sizes = ['unknown', '0B', '10B', '1KB', '1.50KB', '3MB', '117.74MB'];
  const cols = [null, 'name', 'type', 'size', 'status', 'hits', 'first', 'last', 'url'];
  const filters = [null, (r) => r.kind === 'video', (r) => r.bytes > 1024, (r) => r.hits > 1, (r) => r.url.includes('d1'), (r) => r.status === 404];
  const statuses = [200, 206, 404, 0];
  for (let round = 0; round < 30; round++) {
    const m = new ResultModel();
    m.setFolding(rnd(2) === 0, rnd(2) === 0);
    m.setSort(cols[rnd(cols.length)], rnd(2) ? 1 : -1);
    m.setFilter(filters[rnd(filters.length)]);
    for (let step = 0; step < 60; step++) {
      const n = 1 + rnd(8);
      for (let i = 0; i < n; i++) {
        const t = types[rnd(types.length)];
        const url = 'http://h/d' + rnd(3) + '/f' + rnd(25) + '.' + exts[t] + (rnd(4) === 0 ? '#frag' + rnd(3) : '');
        const hit = m.add(rec(url, t, sizes[rnd(sizes.length)]), step * 10 + i);
        // Most records get the program's details, with an exact length.
        if (rnd(3) > 0) m.attachDetails(hit, D.parseDetails(JSON.stringify({ url, status: statuses[rnd(4)], length: rnd(5000) })));
      }
      if (rnd(10) === 0) m.setSort(cols[rnd(cols.length)], rnd(2) ? 1 : -1);
      if (rnd(12) === 0) m.setFilter(filters[rnd(filters.length)]);
      if (rnd(15) === 0) m.setFolding(rnd(2) === 0, rnd(2) === 0);
      m.flush();
      const incremental = m.view.map((r) => r.id);
      m.rebuild();
      assert.deepEqual(incremental, m.view.map((r) => r.id), 'round ' + round + ' step ' + step);
      for (const r of m.view) assert.equal(r.inView, true);
    }
  }
});

test('selection: click, ctrl, shift, select all visible, and actions in view order', () => {
  const m = filled(['a', 'b', 'c', 'd', 'e', 'f'].map((n) => rec('http://h/' + n + '.png', 'image/png')));
  const v = m.view;
  const sel = () => m.actionRows().map((r) => r.fileName);
  assert.deepEqual(sel(), ['a.png', 'b.png', 'c.png', 'd.png', 'e.png', 'f.png']);
  m.selectOnly(v[1]);
  m.selectRange(v[3], false);
  assert.deepEqual(sel(), ['b.png', 'c.png', 'd.png']);
  m.toggle(v[5]);
  assert.deepEqual(sel(), ['b.png', 'c.png', 'd.png', 'f.png']);
  m.selectRange(v[4], true);
  assert.deepEqual(sel(), ['b.png', 'c.png', 'd.png', 'e.png', 'f.png']);
  m.toggle(v[2]);
  assert.deepEqual(sel(), ['b.png', 'd.png', 'e.png', 'f.png']);
  m.selectOnly(v[4]);
  m.selectRange(v[0], false);
  assert.deepEqual(sel(), ['a.png', 'b.png', 'c.png', 'd.png', 'e.png']);
  m.clearSelection();
  m.setFilter((r) => r.fileName !== 'c.png');
  m.flush();
  m.selectAllVisible();
  assert.deepEqual(sel(), ['a.png', 'b.png', 'd.png', 'e.png', 'f.png']);
  // Rows that the filter hides leave the selection.
  m.setFilter((r) => r.fileName < 'c');
  m.flush();
  assert.equal(m.counts().selected, 2);
  assert.deepEqual(sel(), ['a.png', 'b.png']);
  m.setFilter(null);
  m.flush();
  assert.deepEqual(sel(), ['a.png', 'b.png']);
  // A range without an anchor selects only the row.
  m.anchor = null;
  m.selectRange(m.view[3], false);
  assert.deepEqual(sel(), ['d.png']);
});

test('rows restored from the history keep their hits and times', () => {
  const m = new ResultModel();
  m.addRestored({ url: 'http://h/a.mp4', fileName: 'a.mp4', mimeType: 'video/mp4', size: '3MB', hits: 4, firstSeen: 10, lastSeen: 50 });
  m.addRestored({ url: 5, fileName: null, hits: 'x', firstSeen: 'y' });
  m.flush();
  assert.deepEqual(m.view.map((r) => [r.url, r.hits, r.firstSeen, r.lastSeen, r.size]), [
    ['http://h/a.mp4', 4, 10, 50, '3MB'],
    ['', 1, 0, 0, 'unknown'],
  ]);
  assert.deepEqual([m.counts().total, m.counts().duplicatesHidden], [5, 3]);
});

test('exportItems expands segment groups and writes times as ISO text', () => {
  const m = filled([rec('http://h/v/s1.ts', 'video/mp2t', '1KB'), rec('http://h/v/s2.ts', 'video/mp2t', '2KB'), rec('http://h/x.mp4')]);
  const items = exportItems(m.view);
  assert.deepEqual(items.map((i) => [i.url, i.segment, i.hits]), [
    ['http://h/v/s1.ts', true, 1],
    ['http://h/v/s2.ts', true, 1],
    ['http://h/x.mp4', false, 1],
  ]);
  assert.equal(items[0].firstSeen, new Date(1000).toISOString());
});

test('merge and folderOf', () => {
  const cmp = (a, b) => a - b;
  const cases = [
    [[], [1, 2], [1, 2]], [[1, 3], [], [1, 3]], [[1, 3], [4, 5], [1, 3, 4, 5]], [[1, 3, 5], [2, 3, 6], [1, 2, 3, 3, 5, 6]], [[5], [1], [1, 5]],
  ];
  for (const [a, b, out] of cases) assert.deepEqual(merge(a.slice(), b, cmp), out);
  const folders = [['http://h/a/b.ts?x=/y#z', 'http://h/a/'], ['http://h/b.ts', 'http://h/'], ['nofolder', 'nofolder']];
  for (const [u, f] of folders) assert.equal(folderOf(u), f, u);
});

test('twenty thousand records: adding, folding, sorting and filtering stay far from quadratic', () => {
  const m = new ResultModel();
  const t0 = process.hrtime.bigint();
  for (let i = 0; i < 20000; i++) {
    m.add(rec('http://h' + (i % 7) + '.com/d' + (i % 50) + '/f' + (i % 18000) + (i % 9 === 0 ? '.ts' : '.mp4'), i % 9 === 0 ? 'video/mp2t' : 'video/mp4', (i % 977) + 'KB'), i);
    if (i % 83 === 0) m.flush();
  }
  m.flush();
  m.setSort('size', -1);
  m.flush();
  m.setFilter((r) => r.url.includes('h3'));
  m.flush();
  m.setFolding(false, false);
  m.flush();
  const ms = Number(process.hrtime.bigint() - t0) / 1e6;
  assert.ok(ms < 10000, 'took ' + ms + ' ms');
  assert.equal(m.counts().total, 20000);
});

// Details as the program sends them, for one address.
const details = (url, o = {}) => D.parseDetails(JSON.stringify(Object.assign({ url, method: 'GET', status: 200, length: null }, o)));

test('details pair with their own hit, once, and the row shows its latest hit', () => {
  const m = new ResultModel();
  const a1 = m.add(rec('http://h/a.mp4', 'video/mp4', '1.84KB'), 1);
  const cases = [
    // hit, details, taken
    [a1, details('http://h/other.mp4', { status: 404 }), false],
    [a1, null, false],
    [null, details('http://h/a.mp4'), false],
    [a1, details('http://h/a.mp4', { status: 206, length: 1880 }), true],
    [a1, details('http://h/a.mp4', { status: 500 }), false],
  ];
  for (const [hit, d, taken] of cases) assert.equal(m.attachDetails(hit, d), taken, JSON.stringify(d && [d.url, d.status]));
  m.flush();
  const row = m.view[0];
  assert.deepEqual([row.status, row.method, row.bytes, row.size], [206, 'GET', 1880, '1.84KB']);
  // A second hit of the address shows its own details once they come; before, the first's.
  const a2 = m.add(rec('http://h/a.mp4#t=1', 'video/mp4', '1.84KB'), 2);
  m.flush();
  assert.equal(m.view[0].status, 206);
  m.attachDetails(a2, details('http://h/a.mp4#t=1', { status: 200, length: 1881, method: 'POST' }));
  m.flush();
  assert.deepEqual([m.view[0].status, m.view[0].method, m.view[0].bytes], [200, 'POST', 1881]);
  // Every hit: each hit its own.
  m.setFolding(false, true);
  m.flush();
  assert.deepEqual(m.view.map((r) => [r.status, r.bytes]), [[206, 1880], [200, 1881]]);
  assert.equal(m.lastHit, a2);
});

test('sizes are exact where the program told the lengths; the size text stays the record\'s own', () => {
  const seg = (i) => rec('http://h/live/s' + i + '.ts', 'video/mp2t', '1.84KB');
  const cases = [
    // lengths told (null: none), group size text, group bytes
    [[1880, 1880, 1880, 1880], '7.34KB', 7520],
    [[null, null, null, null], '7.36KB', 4 * 1884],
    [[1880, null, 1880, null], '7.35KB', 2 * 1880 + 2 * 1884],
  ];
  for (const [lengths, text, bytes] of cases) {
    const m = new ResultModel();
    lengths.forEach((len, i) => {
      const hit = m.add(seg(i), i);
      if (len !== null) m.attachDetails(hit, details(hit.url, { length: len }));
    });
    m.flush();
    const g = m.view[0];
    assert.deepEqual([g.type, g.size, g.bytes], ['group', text, bytes], JSON.stringify(lengths));
    m.setFolding(true, false);
    m.flush();
    assert.deepEqual(m.view.map((r) => r.size), ['1.84KB', '1.84KB', '1.84KB', '1.84KB']);
  }
  // A length told for a record whose size text is unknown sorts and filters as that length.
  const m = new ResultModel();
  m.attachDetails(m.add(rec('http://h/x.mp4', 'video/mp4', 'unknown'), 1), details('http://h/x.mp4', { length: 5 }));
  m.add(rec('http://h/y.mp4', 'video/mp4', '3B'), 2);
  m.setSort('size', 1);
  m.flush();
  assert.deepEqual(m.view.map((r) => [r.fileName, r.size, r.bytes]), [['y.mp4', '3B', 3], ['x.mp4', 'unknown', 5]]);
});

test('a segment group counts its segments\' statuses and sorts by the lowest', () => {
  const m = new ResultModel();
  const statuses = [200, 200, 404, null];
  statuses.forEach((s, i) => {
    const hit = m.add(rec('http://h/live/s' + i + '.ts', 'video/mp2t', '1KB'), i);
    if (s !== null) m.attachDetails(hit, details(hit.url, { status: s }));
  });
  m.add(rec('http://h/a.mp4', 'video/mp4', '1KB'), 9);
  m.attachDetails(m.lastHit, details('http://h/a.mp4', { status: 101 }));
  m.add(rec('http://h/b.mp4', 'video/mp4', '1KB'), 10);
  m.flush();
  const g = m.view[0];
  assert.deepEqual(Array.from(g.statuses.entries()).sort(), [[-1, 1], [200, 2], [404, 1]]);
  assert.equal(g.status, 200);
  m.setSort('status', 1);
  m.flush();
  assert.deepEqual(m.view.map((r) => r.fileName), ['b.mp4', 'a.mp4', '4 segments']);
});

test('rows for commands carry each address\'s details; a page without details has none', () => {
  const m = new ResultModel();
  m.attachDetails(m.add(rec('http://h/live/s1.ts', 'video/mp2t'), 1), details('http://h/live/s1.ts', { status: 206 }));
  m.add(rec('http://h/live/s2.ts', 'video/mp2t'), 2);
  m.add(rec('http://h/a.mp4'), 3);
  m.flush();
  const targets = rowTargets(m.view);
  assert.deepEqual(targets.map((t) => [t.url, t.details && t.details.status]), [['http://h/live/s1.ts', 206], ['http://h/live/s2.ts', null], ['http://h/a.mp4', null]]);
  assert.deepEqual(targets.map((t) => t.url), rowUrls(m.view));
  assert.deepEqual(exportItems(m.view).map((it) => it.details && it.details.status), [206, null, null]);
});
