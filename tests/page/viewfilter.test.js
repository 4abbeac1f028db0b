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

// Rows with what the program told about them: status (-1 unknown), method, destination.
const told = (fileName, status, method, destination) => ({ type: 'entry', fileName, mimeType: '', url: 'http://h/' + fileName, kind: 'other', bytes: 1, host: 'h', version: version++, status, method, destination });
const TOLD = [
  told('ok.mp4', 200, 'GET', 'video'),
  told('part.mp4', 206, 'GET', 'video'),
  told('moved.html', 301, 'GET', 'document'),
  told('gone.png', 404, 'GET', 'image'),
  told('api', 500, 'POST', 'empty'),
  told('failed.js', 0, 'GET', 'script'),
  told('unknown.css', -1, '', ''),
  { type: 'group', fileName: '3 segments', mimeType: '', url: 'http://h/live/', kind: 'video', bytes: 3, host: 'h', version: version++, status: 200,
    statuses: new Map([[200, 2], [404, 1]]), method: 'GET', destination: 'video' },
];

test('status, method and destination terms in the filter text', () => {
  const all = TOLD.map((r) => r.fileName);
  const cases = [
    ['404', ['gone.png', '3 segments']],
    ['4xx', ['gone.png', '3 segments']],
    ['status:4xx', ['gone.png', '3 segments']],
    ['STATUS:2XX', ['ok.mp4', 'part.mp4', '3 segments']],
    ['status:300-499', ['moved.html', 'gone.png', '3 segments']],
    ['status:200,206', ['ok.mp4', 'part.mp4', '3 segments']],
    ['status:0', ['failed.js']],
    ['not 200', ['part.mp4', 'moved.html', 'gone.png', 'api', 'failed.js', 'unknown.css', '3 segments']],
    ['-2xx', ['moved.html', 'gone.png', 'api', 'failed.js', 'unknown.css', '3 segments']],
    ['not not 200', ['ok.mp4', '3 segments']],
    ['method:POST', ['api']],
    ['method:get,post', all.filter((n) => n !== 'unknown.css')],
    ['not method:get', ['api', 'unknown.css']],
    ['dest:image', ['gone.png']],
    ['dest:media', ['ok.mp4', 'part.mp4', '3 segments']],
    ['destination:fetch', ['api']],
    ['dest:document,script', ['moved.html', 'failed.js']],
    ['dest:video 2xx mp4', ['ok.mp4', 'part.mp4']],
    ['"404"', []],
    ['"not" 200', []],
    ['not', []],
    ['999', []],
    ['http://h/api', ['api']],
  ];
  for (const [text, expected] of cases) {
    const f = V.compile({ text });
    assert.equal(f.error, null, text);
    assert.deepEqual(TOLD.filter(f.test).map((r) => r.fileName), expected, text);
  }
  // The rows of a page without details: only negated terms let them through.
  assert.deepEqual(ROWS.filter(V.compile({ text: '200' }).test), []);
  assert.equal(ROWS.filter(V.compile({ text: 'not 200' }).test).length, ROWS.length);
  assert.equal(ROWS.filter(V.compile({ text: '-method:get' }).test).length, ROWS.length);
});

test('a term that cannot be read is reported and left out', () => {
  const cases = [
    ['status:abc video', /status: takes a code/],
    ['status: ok', /status: takes a code/],
    ['status:4xx,x', /status: takes a code/],
    ['method: video', /method: takes a request method/],
    ['method:g3t', /method: takes a request method/],
    ['dest:', /dest: takes a destination/],
  ];
  for (const [text, message] of cases) {
    const f = V.compile({ text });
    assert.equal(f.error.field, 'text', text);
    assert.match(f.error.message, message, text);
  }
  assert.deepEqual(TOLD.filter(V.compile({ text: 'status:abc mp4' }).test).map((r) => r.fileName), ['ok.mp4', 'part.mp4']);
});
