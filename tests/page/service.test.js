'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const S = require('../../resources/Html/js/service.js');

test('buildStartParams: the settings "start" gets, or what is wrong with the input', () => {
  const cases = [
    [['http://a/', 'off', 'x', 'y'], { params: { url: 'http://a/', filterEnabled: false, useFileExtFilter: false, mimeFilter: '' } }],
    [['  www.a.com \n', 'off'], { params: { url: 'www.a.com', filterEnabled: false, useFileExtFilter: false, mimeFilter: '' } }],
    [['a', 'mime', ' Video '], { params: { url: 'a', filterEnabled: true, useFileExtFilter: false, mimeFilter: 'video' } }],
    [['a', 'mime', 'video/mp4'], { params: { url: 'a', filterEnabled: true, useFileExtFilter: false, mimeFilter: 'video/mp4' } }],
    [['a', 'ext', '', '*.mp4;*.flv'], { params: { url: 'a', filterEnabled: true, useFileExtFilter: true, fileExtFilter: '.mp4;.MP4;.flv;.FLV' } }],
    [['', 'off'], { error: 'empty-url' }],
    [['   ', 'mime', 'video'], { error: 'empty-url' }],
    [[null, 'off'], { error: 'empty-url' }],
    [['a', 'mime', ''], { error: 'empty-mime' }],
    [['a', 'mime', '  '], { error: 'empty-mime' }],
    [['a', 'mime', 'video;audio'], { error: 'mime-list' }],
    [['a', 'mime', 'video audio'], { error: 'mime-list' }],
    [['a', 'ext', '', ''], { error: 'empty-ext' }],
    [['a', 'ext', '', ' ;, * . '], { error: 'empty-ext' }],
    [['a', 'weird'], { params: { url: 'a', filterEnabled: false, useFileExtFilter: false, mimeFilter: '' } }],
  ];
  for (const [args, expected] of cases) assert.deepEqual(S.buildStartParams(...args), expected, JSON.stringify(args));
  for (const e of ['empty-url', 'empty-mime', 'mime-list', 'empty-ext', 'no-service']) assert.ok(S.START_ERRORS[e].length > 10, e);
});

test('normalizeExtensions: every item gets its dot, in three cases, without empty items', () => {
  const cases = [
    ['*.mp4;*.flv', ['.mp4', '.MP4', '.flv', '.FLV']],
    ['.mp4,.flv', ['.mp4', '.MP4', '.flv', '.FLV']],
    [' *.mp4 ; *.flv ', ['.mp4', '.MP4', '.flv', '.FLV']],
    ['mp4 flv', ['.mp4', '.MP4', '.flv', '.FLV']],
    ['.Mp4', ['.Mp4', '.mp4', '.MP4']],
    ['.mp4;;.mp4;', ['.mp4', '.MP4']],
    ['*', []],
    ['.', []],
    ['', []],
    ['tar.gz', ['.tar.gz', '.TAR.GZ']],
  ];
  for (const [text, expected] of cases) assert.deepEqual(S.normalizeExtensions(text), expected, text);
});

function fakeService(answer) {
  const svc = {
    calls: [],
    call() {
      svc.calls.push({ uri: this.uri, method: this.method, params: this.params });
      return typeof answer === 'function' ? answer.call(this) : answer;
    },
  };
  return svc;
}

test('call: sets the envelope, sends JSON text and reads the answer', () => {
  const cases = [
    ['{"returnValue":1}\n', { ok: true, answer: '{"returnValue":1}\n' }],
    ['{"returnValue":0}\n', { ok: false, answer: '{"returnValue":0}\n' }],
    ['{"returnValue":"1"}\n', { ok: false, answer: '{"returnValue":"1"}\n' }],
    ['null\n', { ok: false, answer: 'null\n' }],
    ['garbage', { ok: false, error: 'bad-answer', answer: 'garbage' }],
    [undefined, { ok: false, error: 'bad-answer', answer: 'undefined' }],
  ];
  for (const [answer, expected] of cases) {
    const svc = fakeService(answer);
    assert.deepEqual(S.call('open', { url: 'http://a/' }, svc), expected, String(answer));
    assert.deepEqual(svc.calls, [{ uri: 'com.kestovan.trawlet', method: 'open', params: '{"url":"http://a/"}' }]);
  }
});

test('call: methods without parameters replace stale ones; failures never throw', () => {
  const svc = fakeService('{"returnValue":1}\n');
  S.call('copyURL', { url: 'x' }, svc);
  S.call('pause', undefined, svc);
  assert.equal(svc.calls[1].params, '{}');
  const throwing = fakeService(() => {
    throw new Error('boom');
  });
  assert.deepEqual(S.call('stop', null, throwing), { ok: false, error: 'exception', message: 'boom' });
  assert.deepEqual(S.call('stop', null, null), { ok: false, error: 'no-service' });
  assert.deepEqual(S.call('stop', null, {}), { ok: false, error: 'no-service' });
  // Without a service object in the global scope (an ordinary browser, or Node here).
  assert.deepEqual(S.call('stop'), { ok: false, error: 'no-service' });
});

test('call: the native side may call back into the page while "call" runs', () => {
  let seen = null;
  const svc = fakeService(function () {
    seen = JSON.parse(this.params).url;
    return '{"returnValue":1}\n';
  });
  assert.equal(S.call('start', { url: 'www.a.com', filterEnabled: false }, svc).ok, true);
  assert.equal(seen, 'www.a.com');
});

test('cookies: one Cookie header per address, in batches, or null without a usable answer', () => {
  const urls = (n) => Array.from({ length: n }, (_, i) => 'http://h/' + i);
  const answering = (make) => {
    const calls = [];
    const fn = (method, params) => {
      calls.push([method, params.urls.length]);
      return make(params.urls);
    };
    return { fn, calls };
  };
  const good = (list) => ({ ok: true, answer: JSON.stringify({ returnValue: 1, cookies: list.map((u) => (u.endsWith('1') ? 'a=1' : '')) }) + '\n' });
  const cases = [
    // addresses, answer, cookies, calls
    [urls(3), good, ['', 'a=1', ''], [['cookies', 3]]],
    [urls(S.COOKIE_BATCH + 2), good, urls(S.COOKIE_BATCH + 2).map((u) => (u.endsWith('1') ? 'a=1' : '')), [['cookies', S.COOKIE_BATCH], ['cookies', 2]]],
    [[], good, [], []],
    [urls(2), () => ({ ok: false, answer: '{"returnValue":0}' }), null, [['cookies', 2]]],
    [urls(2), () => ({ ok: false, error: 'no-service' }), null, [['cookies', 2]]],
    [urls(2), () => ({ ok: true, answer: 'garbage' }), null, [['cookies', 2]]],
    [urls(2), () => ({ ok: true, answer: '{"returnValue":1,"cookies":"a=1"}' }), null, [['cookies', 2]]],
    [urls(2), () => ({ ok: true, answer: '{"returnValue":1,"cookies":["a=1"]}' }), null, [['cookies', 2]]],
    [urls(2), () => ({ ok: true, answer: '{"returnValue":1,"cookies":[5,null]}' }), ['', ''], [['cookies', 2]]],
  ];
  for (const [list, make, expected, calls] of cases) {
    const a = answering(make);
    assert.deepEqual(S.cookies(list, a.fn), expected, JSON.stringify(list.length));
    assert.deepEqual(a.calls, calls);
  }
  // Through the service object: method and params as the contract names them.
  const svc = { call() { this.seen = [this.method, JSON.parse(this.params)]; return '{"returnValue":1,"cookies":["x=1"]}\n'; } };
  assert.deepEqual(S.cookies(['http://h/'], (m, p) => S.call(m, p, svc)), ['x=1']);
  assert.deepEqual(svc.seen, ['cookies', { urls: ['http://h/'] }]);
});
