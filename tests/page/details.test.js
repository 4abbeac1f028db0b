'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const D = require('../../resources/Html/js/details.js');

// A details text as the program writes it, with members replaced or added by over.
function text(over = {}) {
  return JSON.stringify(
    Object.assign(
      {
        id: 17,
        url: 'http://127.0.0.1:1234/a.mp4',
        method: 'GET',
        status: 200,
        statusText: 'OK',
        requestHeaders: [
          ['Referer', 'http://127.0.0.1:1234/'],
          ['User-Agent', 'Engine/1.0'],
          ['Accept', '*/*'],
        ],
        responseHeaders: [
          ['Content-Type', 'video/mp4'],
          ['Content-Length', '1880'],
        ],
        length: 1880,
        started: 1765270000123,
        received: 1765270000150,
        window: 0,
        destination: 'video',
        redirect: false,
        redirectTo: null,
      },
      over
    )
  );
}

test('parseDetails: whatever arrives gets a defined answer, and never an exception', () => {
  const cases = [
    // text, null (refused) or the members to expect
    [undefined, null],
    [42, null],
    ['', null],
    ['not json', null],
    ['{"url":', null],
    ['null', null],
    ['[1,2]', null],
    ['"http://x"', null],
    ['{"id":1}', null],
    ['{"url":7}', null],
    ['x'.repeat(D.TEXT_LIMIT + 1), null],
    ['{"url":"http://x"}', { id: -1, method: '', status: 0, statusText: '', request: [], response: [], length: -1, started: 0, received: 0, window: 0, destination: '', redirect: false, redirectTo: null }],
    [text(), { id: 17, method: 'GET', status: 200, length: 1880, window: 0, destination: 'video', request: ['Referer', 'http://127.0.0.1:1234/', 'User-Agent', 'Engine/1.0', 'Accept', '*/*'] }],
    [text({ id: -3, status: 1000, length: null, started: 'soon', received: -5, window: 2.5 }), { id: -1, status: 0, length: -1, started: 0, received: 0, window: 0 }],
    [text({ id: 'x', status: '200', length: '1880', method: 'GET /x', statusText: 7, destination: 'Video!' }), { id: -1, status: 0, length: -1, method: '', statusText: '', destination: '' }],
    [text({ length: 2 ** 60, window: 3, redirect: 'yes', redirectTo: 5 }), { length: -1, window: 3, redirect: false, redirectTo: null }],
    [text({ status: 302, redirect: true, redirectTo: 'http://127.0.0.1:1234/b' }), { status: 302, redirect: true, redirectTo: 'http://127.0.0.1:1234/b' }],
    // Headers: only pairs of strings with a name are kept, flat, names trimmed, long values cut.
    [text({ requestHeaders: 'Referer: x' }), { request: [] }],
    [text({ requestHeaders: [['A'], ['B', 1], [2, 'x'], ['', 'v'], ['  ', 'v'], ['x'.repeat(300), 'v'], 'C: d', null, [' E ', 'f', 'extra']] }), { request: ['E', 'f'] }],
    [text({ responseHeaders: [['Big', 'v'.repeat(D.VALUE_LIMIT + 10)]] }), { response: ['Big', 'v'.repeat(D.VALUE_LIMIT)] }],
  ];
  for (const [input, expected] of cases) {
    const name = String(input).slice(0, 60);
    let d;
    assert.doesNotThrow(() => (d = D.parseDetails(input, D.createPool())), name);
    if (expected === null) assert.equal(d, null, name);
    else for (const [k, v] of Object.entries(expected)) assert.deepEqual(d[k], v, name + ' ' + k);
  }
  const many = D.parseDetails(text({ responseHeaders: Array.from({ length: 500 }, (_, i) => ['H' + i, 'v']) }));
  assert.equal(many.response.length, 2 * D.MAX_HEADERS);
});

test('details of many responses share their strings and request header lists', () => {
  const pool = D.createPool();
  const a = D.parseDetails(text(), pool);
  const b = D.parseDetails(text({ url: 'http://127.0.0.1:1234/b.mp4', responseHeaders: [['Content-Type', 'video/mp4'], ['Content-Length', '99']] }), pool);
  assert.equal(a.request, b.request, 'one request header list for both');
  assert.equal(a.response[0], b.response[0]);
  const c = D.parseDetails(text({ requestHeaders: [['Referer', 'http://other/']] }), pool);
  assert.notEqual(c.request, a.request);
  // A full pool starts afresh and keeps working.
  const small = D.createPool(4);
  for (let i = 0; i < 50; i++) assert.equal(D.parseDetails(text({ statusText: 'T' + i }), small).statusText, 'T' + i);
});

test('commandHeaders: Referer, Origin, User-Agent and Authorization as sent, the cookie of the moment, nothing else', () => {
  const d = D.parseDetails(
    text({
      requestHeaders: [
        ['Host', '127.0.0.1'],
        ['range', 'bytes=0-'],
        ['Content-Length', '3'],
        ['Sec-Fetch-Dest', 'video'],
        ['sec-fetch-mode', 'no-cors'],
        ['Accept', '*/*'],
        ['origin', 'http://page'],
        ['User-Agent', 'Engine/1.0'],
        ['referer', 'http://page/watch'],
        ['Authorization', 'Basic dTpw'],
        ['Cookie', 'from=engine'],
      ],
    })
  );
  const bare = D.parseDetails(text({ requestHeaders: [['Referer', 'http://page/'], ['X-Evil', 'a\r\nHost: b'], ['Origin', 'a\nb']] }));
  const cases = [
    // details, cookie, with credentials, stand-in user agent, headers
    [d, 'a=1; b=2', true, undefined, [['Referer', 'http://page/watch'], ['Origin', 'http://page'], ['User-Agent', 'Engine/1.0'], ['Authorization', 'Basic dTpw'], ['Cookie', 'a=1; b=2']]],
    [d, 'a=1', false, undefined, [['Referer', 'http://page/watch'], ['Origin', 'http://page'], ['User-Agent', 'Engine/1.0']]],
    [d, '', true, 'Other/2', [['Referer', 'http://page/watch'], ['Origin', 'http://page'], ['User-Agent', 'Engine/1.0'], ['Authorization', 'Basic dTpw']]],
    [bare, 'c=3', true, 'Engine/1.0', [['Referer', 'http://page/'], ['User-Agent', 'Engine/1.0'], ['Cookie', 'c=3']]],
    [bare, 'bad\nline', true, undefined, [['Referer', 'http://page/']]],
    [null, 'c=3', true, 'Engine/1.0', [['Cookie', 'c=3']]],
    [null, 'c=3', false, 'Engine/1.0', []],
    [null, null, true, undefined, []],
  ];
  for (const [details, cookie, creds, ua, expected] of cases)
    assert.deepEqual(D.commandHeaders(details, cookie, creds, ua), expected, JSON.stringify([cookie, creds, ua]));
});

test('the pane masks credential headers until asked, and says what it lacks', () => {
  const d = D.parseDetails(
    text({
      requestHeaders: [['Authorization', 'Bearer secret'], ['proxy-authorization', 'p'], ['Referer', 'http://page/']],
      responseHeaders: [['Set-Cookie', 'sid=s3cr3t; HttpOnly'], ['Content-Type', 'video/mp4']],
    })
  );
  const row = { type: 'entry', fileName: 'a.mp4', url: d.url };
  const masked = D.describe(row, d, false);
  assert.equal(masked.masked, 3);
  assert.ok(!JSON.stringify(masked).includes('secret') && !JSON.stringify(masked).includes('s3cr3t'));
  assert.deepEqual(masked.request.map((h) => [h.name, h.masked]), [['Authorization', true], ['proxy-authorization', true], ['Referer', false]]);
  assert.equal(masked.request[0].text, '•••••• (13 characters)');
  const shown = D.describe(row, d, true);
  assert.equal(shown.masked, 0);
  assert.equal(shown.request[0].text, 'Bearer secret');
  assert.equal(shown.response[0].text, 'sid=s3cr3t; HttpOnly');
  const fields = Object.fromEntries(shown.fields);
  assert.equal(fields.Status, '200 OK');
  assert.equal(fields.Size, '1,880 bytes');
  assert.equal(fields.Window, 'the scan window');
  assert.match(fields.Received, /\(after 27 ms\)$/);

  const cases = [
    [null, /only the address, type and size/],
    [D.fromSaved(row.url, [404, 'GET', 10, 'image']), /keep the status, method and size, not the headers/],
    [D.parseDetails(text({ status: 0, statusText: '' })), /^$/],
  ];
  for (const [details, note] of cases) assert.match(D.describe(row, details, false).note, note);
  assert.equal(Object.fromEntries(D.describe(row, cases[2][0], false).fields).Status, 'none (the load failed or was refused)');
  assert.equal(Object.fromEntries(D.describe(row, D.parseDetails(text({ window: 2 })), false).fields).Window, 'additional window 2');
});

test('what the history keeps of details: status, method, length and destination', () => {
  const d = D.parseDetails(text({ requestHeaders: [['Cookie', 'a=1'], ['Authorization', 'x']] }));
  const saved = D.toSaved(d);
  assert.deepEqual(saved, [200, 'GET', 1880, 'video']);
  assert.equal(D.toSaved(null), null);
  const back = D.fromSaved('http://h/a', saved);
  assert.deepEqual([back.url, back.status, back.method, back.length, back.destination, back.saved, back.request, back.response], ['http://h/a', 200, 'GET', 1880, 'video', true, [], []]);
  for (const bad of [null, 'x', {}]) assert.equal(D.fromSaved('u', bad), null);
  assert.deepEqual(D.fromSaved('u', ['x', 5, 'y', 7]).status, 0);
});

test('cookie headers as HAR lists them', () => {
  assert.deepEqual(D.parseCookieHeader('a=1; b = 2 ;c=x=y; ;flag'), [
    { name: 'a', value: '1' },
    { name: 'b', value: '2' },
    { name: 'c', value: 'x=y' },
    { name: 'flag', value: '' },
  ]);
  assert.deepEqual(D.parseSetCookie('sid=abc; Path=/; Domain=example.com; Expires=Wed, 21 Oct 2037 07:28:00 GMT; HttpOnly; Secure; SameSite=Lax'), {
    name: 'sid',
    value: 'abc',
    path: '/',
    domain: 'example.com',
    expires: '2037-10-21T07:28:00.000Z',
    httpOnly: true,
    secure: true,
  });
  assert.deepEqual(D.parseSetCookie('x; Expires=never'), { name: 'x', value: '' });
});
