'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const V = require('../../resources/Html/js/viewfilter.js');

let version = 0;
function row(fileName, mimeType, url, kind, bytes, host) {
  return { fileName, mimeType, url, kind, bytes, host, version: version++ };
}
const ROWS = [
  row('movie.mp4', 'video/mp4', 'https://cdn.example.com/v/movie.mp4', 'video', 50 * 2 ** 20, 'cdn.example.com'),
  row('trailer.webm', 'video/webm', 'https://www.example.com/t/trailer.webm?x=1', 'video', 2 * 2 ** 20, 'www.example.com'),
  row('song.mp3', 'audio/mpeg', 'https://music.other.org/song.mp3', 'audio', 4 * 2 ** 20, 'music.other.org'),
  row('logo.png', 'image/png', 'https://www.example.com/img/logo.png', 'image', 12 * 1024, 'www.example.com'),
  row('master.m3u8', 'application/vnd.apple.mpegurl', 'https://cdn.example.com/live/master.m3u8', 'playlist', 1024, 'cdn.example.com'),
  row('app.js', 'application/javascript', 'https://static.example.net/app.js', 'script', -1, 'static.example.net'),
  row('My Video (1).MP4', 'video/mp4', 'https://example.com/My%20Video%20(1).MP4', 'video', -1, 'example.com'),
];
const names = (options) => {
  const f = V.compile(options);
  return ROWS.filter(f.test).map((r) => r.fileName);
};

test('compile: each setting alone and together', () => {
  const cases = [
    [{}, ROWS.map((r) => r.fileName)],
    [{ text: '   ' }, ROWS.map((r) => r.fileName)],
    [{ text: 'mp4' }, ['movie.mp4', 'My Video (1).MP4']],
    [{ text: 'VIDEO' }, ['movie.mp4', 'trailer.webm', 'My Video (1).MP4']],
    [{ text: 'example mp4' }, ['movie.mp4', 'My Video (1).MP4']],
    [{ text: 'example -cdn' }, ['trailer.webm', 'logo.png', 'app.js', 'My Video (1).MP4']],
    [{ text: '"my video"' }, ['My Video (1).MP4']],
    [{ text: 'mp4', negate: true }, ['trailer.webm', 'song.mp3', 'logo.png', 'master.m3u8', 'app.js']],
    [{ text: '\\.(mp3|png)$', regex: true }, ['song.mp3', 'logo.png']],
    [{ text: '^video/', regex: true, negate: true }, ['song.mp3', 'logo.png', 'master.m3u8', 'app.js']],
    [{ text: '(1)', regex: false }, ['My Video (1).MP4']],
    [{ kinds: ['audio', 'playlist'] }, ['song.mp3', 'master.m3u8']],
    [{ kinds: [] }, ROWS.map((r) => r.fileName)],
    [{ minBytes: 2 ** 20 }, ['movie.mp4', 'trailer.webm', 'song.mp3', 'app.js', 'My Video (1).MP4']],
    [{ minBytes: 2 ** 20, keepUnknownSize: false }, ['movie.mp4', 'trailer.webm', 'song.mp3']],
    [{ minBytes: 2 ** 20, maxBytes: 4 * 2 ** 20, keepUnknownSize: false }, ['trailer.webm', 'song.mp3']],
    [{ maxBytes: 1024, keepUnknownSize: false }, ['master.m3u8']],
    [{ includeHosts: 'example.com' }, ['movie.mp4', 'trailer.webm', 'logo.png', 'master.m3u8', 'My Video (1).MP4']],
    [{ includeHosts: 'cdn.example.com, music.other.org' }, ['movie.mp4', 'song.mp3', 'master.m3u8']],
    [{ excludeHosts: '*.example.com' }, ['song.mp3', 'app.js']],
    [{ excludeHosts: 'https://www.example.com/some/page' }, ['movie.mp4', 'song.mp3', 'master.m3u8', 'app.js', 'My Video (1).MP4']],
    [{ text: 'mp4', kinds: ['video'], includeHosts: 'cdn.example.com' }, ['movie.mp4']],
  ];
  for (const [options, expected] of cases) assert.deepEqual(names(options), expected, JSON.stringify(options));
});

test('compile: active says whether anything is filtered', () => {
  assert.equal(V.compile({}).active, false);
  assert.equal(V.compile({ text: ' ', kinds: [], includeHosts: ' ,' }).active, false);
  assert.equal(V.compile({ text: 'x' }).active, true);
  assert.equal(V.compile({ minBytes: 0 }).active, true);
});

test('compile: a broken regular expression is reported and leaves the text out', () => {
  for (const bad of ['(', '[a-', '*x', 'a{2,1}']) {
    const f = V.compile({ text: bad, regex: true, kinds: ['audio'] });
    assert.equal(f.error.field, 'text', bad);
    assert.match(f.error.message, /regular expression/);
    assert.deepEqual(ROWS.filter(f.test).map((r) => r.fileName), ['song.mp3']);
  }
});

test('compile: a regular expression keeps no state between rows', () => {
  const f = V.compile({ text: 'mp4', regex: true });
  assert.deepEqual([f.test(ROWS[0]), f.test(ROWS[0]), f.test(ROWS[0])], [true, true, true]);
});

test('tokenize: words, phrases and exclusions', () => {
  const w = (word, exclude = false, quoted = false) => ({ word, exclude, quoted });
  const cases = [
    ['a b', [w('a'), w('b')]],
    ['  A\tB  ', [w('a'), w('b')]],
    ['-x y', [w('x', true), w('y')]],
    ['- x', [w('-'), w('x')]],
    ['"a b" c', [w('a b', false, true), w('c')]],
    ['-"a b"', [w('a b', true, true)]],
    ['"open', [w('open', false, true)]],
    ['""', []],
    ['', []],
  ];
  for (const [t, expected] of cases) assert.deepEqual(V.tokenize(t), expected, t);
});

test('parseHosts and hostMatches', () => {
  assert.deepEqual(V.parseHosts('A.com, *.b.org;c.net  https://u@d.io:8080/p?q #x'), ['a.com', 'b.org', 'c.net', 'd.io']);
  assert.deepEqual(V.parseHosts('[::1]:80 .e.com e.com'), ['[::1]', 'e.com']);
  assert.deepEqual(V.parseHosts(null), []);
  const cases = [
    ['example.com', ['example.com'], true], ['www.example.com', ['example.com'], true], ['badexample.com', ['example.com'], false],
    ['example.com', ['www.example.com'], false], ['', ['example.com'], false], ['a.b.c', ['c'], true],
  ];
  for (const [host, list, expected] of cases) assert.equal(V.hostMatches(host, list), expected, host + ' ' + list);
});

test('the search text of a row follows the row when it changes', () => {
  const r = row('a.mp4', 'video/mp4', 'http://h/a.mp4', 'video', 1, 'h');
  const f = V.compile({ text: 'webm' });
  assert.equal(f.test(r), false);
  r.fileName = 'a.webm';
  r.version++;
  assert.equal(f.test(r), true);
});

test('huge fields are searched up to the limit, in bounded time', () => {
  const big = row('x', 'y', 'http://h/' + 'a'.repeat(1 << 20) + 'needle', 'other', 1, 'h');
  const f = V.compile({ text: 'needle' });
  assert.equal(f.test(big), false);
  const near = row('x', 'y', 'http://h/needle' + 'a'.repeat(1 << 20), 'other', 1, 'h');
  assert.equal(f.test(near), true);
});
