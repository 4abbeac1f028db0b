'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const K = require('../../resources/Html/js/kinds.js');

test('classify: kinds from the MIME type, the extension deciding only when the type says nothing', () => {
  const cases = [
    // [mimeType, fileName, url, kind]
    ['video/mp4', 'a.mp4', 'http://h/a.mp4', 'video'],
    ['Video/MP4; codecs="avc1"', 'a.mp4', 'http://h/a.mp4', 'video'],
    ['audio/mpeg', 'a.mp3', '', 'audio'],
    ['image/svg+xml', 'a.svg', '', 'image'],
    ['text/css', 'a.css', '', 'style'],
    ['application/javascript', 'a.js', '', 'script'],
    ['text/javascript; charset=utf-8', 'a.js', '', 'script'],
    ['application/wasm', 'a.wasm', '', 'script'],
    ['font/woff2', 'a.woff2', '', 'font'],
    ['application/x-font-ttf', 'a.ttf', '', 'font'],
    ['application/vnd.ms-fontobject', 'a.eot', '', 'font'],
    ['text/html', '', 'http://h/', 'document'],
    ['application/pdf', 'a.pdf', '', 'document'],
    ['application/json', 'data.json', '', 'other'],
    ['application/octet-stream', 'clip.mkv', '', 'video'],
    ['', 'song.flac', '', 'audio'],
    ['binary/octet-stream', 'x.woff', '', 'font'],
    ['application/x-unknown-thing', 'pic.webp', '', 'image'],
    ['application/octet-stream', 'unknown', 'http://h/media/movie.mp4?sig=1', 'video'],
    ['application/octet-stream', 'blob', '', 'other'],
    ['text/plain', 'x.mp4', '', 'document'],
    ['application/ogg', 'a.ogg', '', 'video'],
  ];
  for (const [m, n, u, kind] of cases) assert.equal(K.classify(m, n, u).kind, kind, m + ' ' + n);
});

test('classify: streaming playlists are marked with their format', () => {
  const cases = [
    ['application/vnd.apple.mpegurl', 'master.m3u8', 'HLS'],
    ['application/x-mpegURL', 'index', 'HLS'],
    ['audio/mpegurl', 'list', 'HLS'],
    ['text/plain', 'master.m3u8', 'HLS'],
    ['application/octet-stream', 'live.M3U8', 'HLS'],
    ['application/dash+xml', 'manifest.mpd', 'DASH'],
    ['application/xml', 'stream.mpd', 'DASH'],
    ['application/f4m+xml', 'x.f4m', 'HDS'],
    ['audio/x-mpegurl', 'radio.m3u', 'HLS'],
    ['', 'radio.m3u', 'M3U'],
  ];
  for (const [m, n, p] of cases) {
    const c = K.classify(m, n, 'http://h/' + n);
    assert.equal(c.playlist, p, m + ' ' + n);
    assert.equal(c.kind, 'playlist');
    assert.equal(c.segment, false);
  }
  assert.equal(K.classify('application/vnd.ms-sstr+xml', 'Manifest', 'http://h/v.ism/Manifest').playlist, 'Smooth');
  assert.equal(K.classify('application/octet-stream', 'Manifest', 'http://h/v.ism/Manifest').playlist, 'Smooth');
  // A type that plainly says otherwise wins over the extension.
  assert.equal(K.classify('image/png', 'x.m3u8', '').playlist, '');
  assert.equal(K.classify('application/javascript', 'x.mpd', '').playlist, '');
});

test('classify: stream segments are recognised, look-alikes are not', () => {
  const cases = [
    // [mimeType, fileName, segment, kind]
    ['video/mp2t', 'seg-1.ts', true, 'video'],
    ['video/MP2T', 'x', true, 'video'],
    ['application/octet-stream', 'chunk_00042.ts', true, 'video'],
    ['', '1080p_003.m4s', true, 'video'],
    ['video/iso.segment', 'x.m4s', true, 'video'],
    ['audio/iso.segment', 'a.m4s', true, 'audio'],
    ['application/octet-stream', 'audio.cmfa', true, 'audio'],
    ['video/mp4', 'segment-12.mp4', true, 'video'],
    ['audio/mp4', 'frag_7.m4a', true, 'audio'],
    ['video/mp4', 'init.mp4', true, 'video'],
    ['video/mp4', 'init-stream0.m4s', true, 'video'],
    ['application/octet-stream', 'Seg1-Frag27', true, 'video'],
    ['video/mp4', 'movie.mp4', false, 'video'],
    ['video/mp4', 'segmented-film.mp4', false, 'video'],
    ['application/javascript', 'main.ts', false, 'script'],
    ['text/typescript', 'app.ts', false, 'script'],
    ['text/vnd.trolltech.linguist', 'strings.ts', false, 'other'],
    ['image/jpeg', 'chunk-1.jpg', false, 'image'],
    ['image/png', 'seg-3.mp4', false, 'image'],
  ];
  for (const [m, n, seg, kind] of cases) {
    const c = K.classify(m, n, 'http://h/v/' + n);
    assert.equal(c.segment, seg, m + ' ' + n);
    assert.equal(c.kind, kind, m + ' ' + n + ' kind');
  }
});

test('classify never throws on values of the wrong type', () => {
  for (const v of [undefined, null, 5, {}, []]) assert.equal(typeof K.classify(v, v, v).kind, 'string');
});

test('every kind a record can get has a chip', () => {
  for (const m of ['video/mp4', 'audio/x', 'image/x', 'application/dash+xml', 'text/css', 'text/javascript', 'font/ttf', 'text/html', 'x/y'])
    assert.ok(K.KINDS.includes(K.classify(m, '', '').kind), m);
});
