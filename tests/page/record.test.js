'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const R = require('../../resources/Html/js/record.js');

test('parseRecord takes what the program writes and refuses anything without a string url', () => {
  const cases = [
    ['{"fileName":"video.flv","mimeType":"video/x-flv","size":"1.50MB","url":"http://host/files/video.flv"}\n',
      { fileName: 'video.flv', mimeType: 'video/x-flv', size: '1.50MB', url: 'http://host/files/video.flv' }],
    ['{"fileName":"","mimeType":"","size":"0B","url":"http://h/dir/"}', { fileName: '', mimeType: '', size: '0B', url: 'http://h/dir/' }],
    ['{"fileName":"a\\u0001b","mimeType":"x\\ny","size":"unknown","url":"http://h/\\"q\\""}',
      { fileName: 'a\u0001b', mimeType: 'x\ny', size: 'unknown', url: 'http://h/"q"' }],
    ['{"url":"http://h/"}', { fileName: '', mimeType: '', size: 'unknown', url: 'http://h/' }],
    ['{"fileName":5,"mimeType":null,"size":7,"url":"u"}', { fileName: '', mimeType: '', size: 'unknown', url: 'u' }],
    ['{"fileName":"a","size":"","url":""}', { fileName: 'a', mimeType: '', size: 'unknown', url: '' }],
    ['{"url":5}', null],
    ['{"fileName":"a"}', null],
    ['["http://h/"]', null],
    ['null', null],
    ['"http://h/"', null],
    ['not json', null],
    ['{"url":"http://h/"', null],
    ['', null],
    [42, null],
    [undefined, null],
    [{ url: 'http://h/' }, null],
  ];
  for (const [input, expected] of cases) assert.deepEqual(R.parseRecord(input), expected, JSON.stringify(input));
});

test('parseRecord keeps exactly the four members, dropping extra ones', () => {
  const r = R.parseRecord('{"url":"u","__proto__":{"x":1},"extra":"y"}');
  assert.deepEqual(Object.keys(r).sort(), ['fileName', 'mimeType', 'size', 'url']);
  assert.equal(({}).x, undefined);
});

// The size texts of the program's formatting table, both ways.
const SIZE_TABLE = [
  [0, '0B'], [1000, '1000B'], [1023, '1023B'], [1024, '1KB'], [1025, '1.00KB'], [1030, '1.01KB'],
  [1536, '1.50KB'], [2047, '2.00KB'], [2048, '2KB'], [5000, '4.88KB'], [10240, '10KB'], [1048570, '1023.99KB'],
  [1048571, '1024.00KB'], [1048575, '1024.00KB'], [1048576, '1MB'], [123456789, '117.74MB'], [2 ** 30, '1GB'],
  [2 ** 40, '1TB'], [2 ** 50, '1PB'],
];

test('formatSize writes sizes as the program does', () => {
  for (const [bytes, text] of SIZE_TABLE) assert.equal(R.formatSize(bytes), text, String(bytes));
  assert.equal(R.formatSize(-1), 'unknown');
  assert.equal(R.formatSize(NaN), 'unknown');
});

test('parseSize gives bytes that order like the sizes, within the rounding of two decimals', () => {
  for (const [bytes, text] of SIZE_TABLE) {
    const got = R.parseSize(text);
    assert.ok(Math.abs(got - bytes) <= bytes * 0.005 + 0.5, text + ' gave ' + got);
  }
  assert.equal(R.parseSize('16384.00PB'), 16384 * 2 ** 50);
  const ordered = ['0B', '10B', '1023B', '1KB', '1.50KB', '2KB', '1023.99KB', '1MB', '117.74MB', '1GB', '1PB'];
  const bytes = ordered.map(R.parseSize);
  for (let i = 1; i < bytes.length; i++) assert.ok(bytes[i] > bytes[i - 1], ordered[i]);
});

test('parseSize answers -1 for anything the program would not write', () => {
  for (const t of ['unknown', '', '1.5MB', '1.500MB', '1.50B', '-1KB', '1 KB', '1kb', '1XB', 'KB', '1.KB', ' 1KB', null, 5, '9'.repeat(40) + 'B'])
    assert.equal(R.parseSize(t), -1, String(t));
});

test('parseSizeInput reads the size bounds people type', () => {
  const cases = [
    ['', null], ['  ', null], [null, null], ['100', 100], ['1k', 1024], ['1 KB', 1024], ['1KiB', 1024], ['1.5MB', 1572864],
    ['2g', 2 * 2 ** 30], ['.5m', 524288], ['3 mb', 3145728], ['1T', 2 ** 40], ['1p', 2 ** 50], ['0', 0],
  ];
  for (const [input, expected] of cases) assert.equal(R.parseSizeInput(input), expected, String(input));
  for (const bad of ['abc', '1x', '-1', '1.2.3', 'MB', '1 M B']) assert.ok(Number.isNaN(R.parseSizeInput(bad)), bad);
});

test('addressKey drops the fragment only', () => {
  const cases = [
    ['http://h/a.mp4', 'http://h/a.mp4'], ['http://h/a.mp4#t=5', 'http://h/a.mp4'], ['http://h/a?x=1#y#z', 'http://h/a?x=1'],
    ['#', ''], ['', ''],
  ];
  for (const [u, k] of cases) assert.equal(R.addressKey(u), k, u);
});

test('hostOf finds the host without throwing on odd addresses', () => {
  const cases = [
    ['http://Example.COM/a', 'example.com'], ['https://user:pw@host.com:8080/x', 'host.com'], ['http://h.com?q=1', 'h.com'],
    ['http://h.com#f', 'h.com'], ['http://[::1]:8080/x', '[::1]'], ['blob:https://site.org/1234-5678', 'site.org'],
    ['data:text/plain,hello', ''], ['about:blank', ''], ['h.com/path', ''], ['', ''], ['http://', ''],
    ['http://a@b@c.com/', 'c.com'], ['http://h.com\\evil', 'h.com'], ['file:///home/u/x.mp4', ''],
  ];
  for (const [u, h] of cases) assert.equal(R.hostOf(u), h, u);
});

test('pathOf and extensionOf find the path and the lower-case extension', () => {
  const paths = [
    ['http://h/a/b.mp4?x=1#y', '/a/b.mp4'], ['http://h', ''], ['http://h/', '/'], ['blob:http://h/uuid', '/uuid'], ['relative/x.js', 'relative/x.js'],
  ];
  for (const [u, p] of paths) assert.equal(R.pathOf(u), p, u);
  const exts = [
    ['video.MP4', 'mp4'], ['a.tar.gz', 'gz'], ['name.', ''], ['.htaccess', 'htaccess'], ['noext', ''], ['', ''], ['dir.d/file', ''],
    ['x.' + 'a'.repeat(20), ''], ['/a/b.M3U8', 'm3u8'],
  ];
  for (const [n, e] of exts) assert.equal(R.extensionOf(n), e, n);
});

test('long hostile addresses are handled in one pass', () => {
  const long = 'http://' + 'a'.repeat(1 << 20) + '/x';
  const t0 = process.hrtime.bigint();
  assert.equal(R.hostOf(long).length, 1 << 20);
  R.pathOf(long);
  R.addressKey(long);
  assert.ok(Number(process.hrtime.bigint() - t0) / 1e6 < 2000);
});
