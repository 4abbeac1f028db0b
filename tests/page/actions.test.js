'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const A = require('../../resources/Html/js/actions.js');
const { START_ERRORS } = require('../../resources/Html/js/service.js');

const row = (url) => ({ type: 'entry', url, fileName: url.split('/').pop(), mimeType: 'video/mp4', size: '1 KB', hits: 1 });
const group = (...urls) => ({ type: 'group', urls: () => urls, entries: urls.map(row) });
const urls = (n) => Array.from({ length: n }, (_, i) => 'http://h/' + i + '.mp4');

// Actions on a stand-in service that answers each call with answer(method, params), and
// records what the page said (say), noticed and asked. "cookies" is answered apart, by
// o.cookies(urls) (an answer text, or null for a refusal; no cookies unless given), and
// recorded in cookieCalls.
function makeActions(answer, o = {}) {
  const got = { calls: [], cookieCalls: [], said: [], noticed: [], asked: [], saved: [] };
  const actions = A.createActions({
    say: (t) => got.said.push(t),
    notice: (t) => got.noticed.push(t),
    confirm: (q) => {
      got.asked.push(q);
      return !!o.confirm;
    },
    tool: () => o.tool || 'curl',
    format: () => o.format || 'text',
    credentials: () => o.credentials !== false,
    harCredentials: () => !!o.harCredentials,
    userAgent: o.userAgent,
    scan: () => o.scan || null,
    call(method, params) {
      if (method === 'cookies') {
        got.cookieCalls.push(params.urls);
        const text = o.cookies ? o.cookies(params.urls) : JSON.stringify({ returnValue: 1, cookies: params.urls.map(() => '') });
        return text === null ? { ok: false } : { ok: true, answer: text };
      }
      got.calls.push([method, params.url]);
      return answer(method, params);
    },
    save(name, text, mime) {
      if (o.saveFails) throw new Error('no room');
      got.saved.push([name, mime]);
    },
    fileName: (format) => 'trawlet-20250131-142501.' + format,
    withVariants: o.withVariants,
    streamModel: o.streamModel,
    detailsFor: o.detailsFor,
  });
  return { actions, got };
}
const ok = () => ({ ok: true });

test('opening rows: one call per address, and one message for the lot', () => {
  const refuse = (bad) => (m, p) => (bad.includes(p.url) ? { ok: false } : { ok: true });
  const cases = [
    // rows, answer, user confirms, calls made, said, noticed
    [[], ok, false, 0, [], ['Nothing to open.']],
    [[group('http://h/s1.ts', 'http://h/s2.ts')], ok, false, 0, [], ['Segments are opened one by one: switch off “Fold segments” first.']],
    [[row('http://h/a')], ok, false, 1, [''], ['Opened 1 address.']],
    [[row('http://h/a'), group('http://h/s1.ts')], ok, false, 1, [''], ['Opened 1 address.']],
    [[row('http://h/a')], refuse(['http://h/a']), false, 1, ['The address could not be opened: no program takes it, or it is malformed.'], []],
    [urls(3).map(row), refuse(['http://h/1.mp4']), false, 3, ['1 address of 3 could not be opened: no program takes them, or they are malformed.'], []],
    [urls(3).map(row), () => ({ ok: false, error: 'no-service' }), false, 1, [START_ERRORS['no-service']], []],
    [urls(A.OPEN_WITHOUT_ASKING).map(row), ok, false, A.OPEN_WITHOUT_ASKING, [''], ['Opened 10 addresses.']],
    [urls(A.OPEN_WITHOUT_ASKING + 1).map(row), ok, false, 0, [], []],
    [urls(A.OPEN_WITHOUT_ASKING + 1).map(row), ok, true, A.OPEN_WITHOUT_ASKING + 1, [''], ['Opened 11 addresses.']],
  ];
  for (const [rows, answer, confirm, calls, said, noticed] of cases) {
    const { actions, got } = makeActions(answer, { confirm });
    actions.openRows(rows);
    const name = rows.length + ' rows, confirm ' + confirm;
    assert.equal(got.calls.length, calls, name);
    assert.ok(got.calls.every(([m]) => m === 'open'), name);
    assert.deepEqual([got.said, got.noticed], [said, noticed], name);
    assert.equal(got.asked.length, rows.length > A.OPEN_WITHOUT_ASKING ? 1 : 0, name);
  }
});

test('copying: addresses one per line in one call, commands without what cannot be passed', () => {
  const cases = [
    // action, tool, rows, answer, text copied (null: none), noticed, said
    ['copyAddresses', 'curl', [row('http://h/a'), group('http://h/s1.ts', 'http://h/s2.ts')], ok, 'http://h/a\nhttp://h/s1.ts\nhttp://h/s2.ts', ['Copied 3 addresses.'], ['']],
    ['copyAddresses', 'curl', [], ok, null, ['Nothing to copy.'], []],
    ['copyAddresses', 'curl', [row('http://h/a')], () => ({ ok: false }), 'http://h/a', [], ['The clipboard did not take the text; try again.']],
    ['copyAddresses', 'curl', [row('http://h/a')], () => ({ ok: false, error: 'no-service' }), 'http://h/a', [], [START_ERRORS['no-service']]],
    ['copyCommand', 'wget', [row('http://h/a')], ok, 'wget -- http://h/a\n', ['Copied a wget command for 1 address.'], ['']],
    ['copyCommand', 'media', [row('http://h/a'), row('http://h/\0b')], ok, 'yt-dlp -- http://h/a\n',
      ['Copied a media downloader command for 1 address.', 'Copied a media downloader command for 1 address; 1 address was left out (empty, or holding a NUL character).'], ['']],
    ['copyCommand', 'curl', [row('http://h/\0b')], ok, null, ['None of these addresses can be passed on a command line.'], []],
    ['copyCommand', 'curl', [], ok, null, ['Nothing to copy.'], []],
  ];
  for (const [action, tool, rows, answer, text, noticed, said] of cases) {
    const { actions, got } = makeActions(answer, { tool });
    actions[action](rows);
    const name = action + ' ' + tool + ' ' + rows.length;
    assert.deepEqual(got.calls, text === null ? [] : [['copyURL', text]], name);
    assert.deepEqual([got.noticed, got.said], [noticed, said], name);
  }
});

test('saved exports: a second save within the same second gets a number, a failed one says so', () => {
  const { actions, got } = makeActions(ok, { format: 'csv' });
  for (let i = 0; i < 3; i++) actions.exportSave([row('http://h/a')]);
  assert.deepEqual(got.saved, [
    ['trawlet-20250131-142501.csv', 'text/csv;charset=utf-8'],
    ['trawlet-20250131-142501-2.csv', 'text/csv;charset=utf-8'],
    ['trawlet-20250131-142501-3.csv', 'text/csv;charset=utf-8'],
  ]);
  assert.deepEqual(got.noticed, got.saved.map(([n]) => 'Saving ' + n + ' in your download folder.'));

  const failing = makeActions(ok, { saveFails: true });
  failing.actions.exportSave([row('http://h/a')]);
  assert.deepEqual(failing.got.said, ['The file could not be saved: no room. Use “Copy export” instead.']);
  assert.deepEqual(failing.got.noticed, []);
});

test('the program\'s word on a saved file: where it went, why not, and nothing for anything else', () => {
  const long = 'x'.repeat(2000);
  const cases = [
    ['{"saved":true,"name":"a.csv","path":"/home/u/Downloads/a.csv"}', [], ['Saved /home/u/Downloads/a.csv.'], true],
    ['{"saved":true,"name":"a.csv"}', [], ['Saved a.csv in your download folder.'], true],
    ['{"saved":false,"name":"a.csv","error":"No space left on device"}', ['The file a.csv could not be saved: No space left on device. Use “Copy export” instead.'], [], true],
    ['{"saved":false}', ['The file could not be saved: the program gave no reason. Use “Copy export” instead.'], [], true],
    ['{"saved":false,"error":"' + long + '"}', ['The file could not be saved: ' + 'x'.repeat(500) + '…. Use “Copy export” instead.'], [], true],
    ['not json', [], [], false],
    ['{"saved":"yes","path":"/p"}', [], [], false],
    ['null', [], [], false],
  ];
  for (const [text, said, noticed, taken] of cases) {
    const { actions, got } = makeActions(ok);
    assert.equal(actions.fileSaved(text), taken, text);
    assert.deepEqual(got.said.filter((t) => t !== ''), said, text);
    assert.deepEqual(got.noticed, noticed, text);
  }
});

test('file names: numbered while the name repeats, from 1 again when it changes', () => {
  const next = A.createFileNamer();
  const cases = [
    ['t-1.csv', 't-1.csv'],
    ['t-1.csv', 't-1-2.csv'],
    ['t-1.csv', 't-1-3.csv'],
    ['t-2.json', 't-2.json'],
    ['t-2.json', 't-2-2.json'],
    ['t-1.csv', 't-1.csv'],
  ];
  for (const [base, name] of cases) assert.equal(next(base), name, base);
});

test('copying an export names its format and counts its rows, segments one by one', () => {
  const { actions, got } = makeActions(ok, { format: 'json' });
  actions.exportCopy([row('http://h/a'), group('http://h/s1.ts', 'http://h/s2.ts')]);
  assert.equal(got.calls.length, 1);
  assert.equal(JSON.parse(got.calls[0][1]).length, 3);
  assert.deepEqual(got.noticed, ['Copied JSON of 3 rows.']);
});

test('commands carry each address\'s headers and the cookies of the moment, or none when switched off', () => {
  const D = require('../../resources/Html/js/details.js');
  const told = (url, headers) => Object.assign(row(url), { details: D.parseDetails(JSON.stringify({ url, requestHeaders: headers })) });
  const rows = [
    told('http://h/a', [['Referer', 'http://p/'], ['Authorization', 'Basic x']]),
    told('http://h/b', [['Referer', 'http://p/']]),
    row('http://h/c'),
  ];
  const jar = (urls) => JSON.stringify({ returnValue: 1, cookies: urls.map((u) => (u === 'http://h/c' ? '' : 'sid=1')) });
  const cases = [
    // options, text copied, noticed, cookie calls
    [{ cookies: jar }, "curl --fail --location --globoff --remote-name-all \\\n  -H 'Referer: http://p/' \\\n  -H 'User-Agent: UA/1' \\\n  -H 'Authorization: Basic x' \\\n  -H 'Cookie: sid=1' \\\n  http://h/a \\\n" +
      "  --next --fail --location --globoff --remote-name-all \\\n  -H 'Referer: http://p/' \\\n  -H 'User-Agent: UA/1' \\\n  -H 'Cookie: sid=1' \\\n  http://h/b \\\n  --next --fail --location --globoff --remote-name-all \\\n  http://h/c\n",
      ['Copied a curl command for 3 addresses.'], 1],
    [{ cookies: jar, credentials: false }, "curl --fail --location --globoff --remote-name-all \\\n  -H 'Referer: http://p/' \\\n  -H 'User-Agent: UA/1' \\\n  http://h/a \\\n  http://h/b \\\n  --next --fail --location --globoff --remote-name-all \\\n  http://h/c\n",
      ['Copied a curl command for 3 addresses.'], 0],
    [{ cookies: () => null, tool: 'wget' }, "wget \\\n  '--header=Referer: http://p/' \\\n  '--header=User-Agent: UA/1' \\\n  '--header=Authorization: Basic x' -- \\\n  http://h/a\nwget \\\n  '--header=Referer: http://p/' \\\n  '--header=User-Agent: UA/1' -- \\\n  http://h/b\nwget -- http://h/c\n",
      ['Copied a wget command per header set for 3 addresses, without cookies.'], 1],
    [{ cookies: () => '{"returnValue":1,"cookies":["x"]}', tool: 'media' }, null, null, 1],
  ];
  for (const [options, text, noticed, cookieCalls] of cases) {
    const { actions, got } = makeActions(ok, Object.assign({ userAgent: 'UA/1' }, options));
    actions.copyCommand(rows);
    const name = JSON.stringify(Object.keys(options));
    assert.equal(got.cookieCalls.length, cookieCalls, name);
    if (cookieCalls) assert.deepEqual(got.cookieCalls[0], ['http://h/a', 'http://h/b', 'http://h/c'], name);
    if (text === null) {
      // An answer of the wrong length is no answer: no cookies, and the page says so.
      assert.ok(!got.calls[0][1].includes('Cookie') && /without cookies\.$/.test(got.noticed[0]), name);
      continue;
    }
    assert.deepEqual(got.calls, [['copyURL', text]], name);
    assert.deepEqual(got.noticed, noticed, name);
  }
});

test('the HAR export asks for cookies only with its credentials switch on', () => {
  const jar = (urls) => JSON.stringify({ returnValue: 1, cookies: urls.map(() => 'sid=1') });
  for (const harCredentials of [false, true]) {
    const { actions, got } = makeActions(ok, { format: 'har', harCredentials, cookies: jar, scan: { url: 'http://h/page', started: 1765270000000 } });
    actions.exportCopy([row('http://h/a'), group('http://h/s1.ts')]);
    assert.equal(got.cookieCalls.length, harCredentials ? 1 : 0);
    const har = JSON.parse(got.calls[0][1]);
    assert.equal(har.log.pages[0].title, 'http://h/page');
    assert.equal(har.log.entries.length, 2);
    assert.equal(JSON.stringify(har).includes('sid=1'), harCredentials);
    assert.deepEqual(got.noticed, ['Copied HAR of 2 rows.']);
  }
});

test('an export carries what read playlists offer, and still counts the rows', () => {
  const formats = [];
  const withVariants = (items, format) => {
    formats.push(format);
    return items.concat([{ url: 'http://h/v1.m3u8', kind: 'variant' }, { url: 'http://h/v2.m3u8', kind: 'variant' }]);
  };
  const { actions, got } = makeActions(ok, { format: 'csv', withVariants });
  actions.exportCopy([row('http://h/a'), row('http://h/b')]);
  assert.deepEqual(formats, ['csv']);
  const lines = got.calls[0][1].split('\r\n');
  assert.equal(lines.length, 1 + 4 + 1);
  assert.ok(lines[4].endsWith(',variant,,,,http://h/v2.m3u8'));
  assert.deepEqual(got.noticed, ['Copied CSV of 2 rows.']);
});

test('a quality\'s command: its own playlist\'s headers when the list holds it, the cookies for its address', () => {
  require('./parsers.js').loadParsers();
  const S = require('../../resources/Html/js/streams.js');
  const D = require('../../resources/Html/js/details.js');
  const P = require('./playlists.js');
  const told = (url, referer) => D.parseDetails(JSON.stringify({ url, requestHeaders: [['Referer', referer]] }));
  const masterUrl = P.BASE + 'master.m3u8';
  const v360 = P.BASE + '360p/index.m3u8';
  const models = {
    [masterUrl]: S.read({ url: masterUrl, body: P.MASTER }),
    [P.BASE + 'fp.m3u8']: S.read({ url: P.BASE + 'fp.m3u8', body: P.SAMPLE_AES }),
  };
  const rowsByUrl = { [v360]: told(v360, 'http://p/variant') };
  const master = Object.assign(row(masterUrl), { details: told(masterUrl, 'http://p/master'), playlist: 'HLS' });
  const jar = (urls) => JSON.stringify({ returnValue: 1, cookies: urls.map((u) => 'for=' + u.split('/').pop()) });
  const options = { cookies: jar, userAgent: 'UA/1', streamModel: (u) => models[u] || null, detailsFor: (u) => rowsByUrl[u] || null };
  // [row, variant, tool, options, text copied (null: none), noticed, cookie calls]
  const cases = [
    [master, 0, 'ytdlp', {}, "yt-dlp --add-header Referer:http://p/variant --add-header User-Agent:UA/1 --add-header Cookie:for=index.m3u8 -- " + v360 + '\n',
      ['Copied the media downloader (yt-dlp) command for 640x360, 1.28 Mbit/s, 29.97 fps.'], [[v360]]],
    // Not loaded by the player: the master's request stands for it.
    [master, 2, 'ffmpeg', { credentials: false }, "ffmpeg -headers \"$(printf '%s\\r\\n%s' 'Referer: http://p/master' 'User-Agent: UA/1')\" -i http://127.0.0.1:9000/radio/aac.m3u8 -c copy master-audio-64k.m4a\n",
      ['Copied the ffmpeg command for Audio, 64 kbit/s.'], []],
    [master, 1, 'ytdlp', { cookies: () => null }, "yt-dlp --add-header Referer:http://p/master --add-header User-Agent:UA/1 -- 'https://127.0.0.1:8443/other/1080p.m3u8?token=a%20b'\n",
      ['Copied the media downloader (yt-dlp) command for 1920x1080, 5.00 Mbit/s, 60 fps, without cookies.'], [['https://127.0.0.1:8443/other/1080p.m3u8?token=a%20b']]],
    [master, 9, 'ytdlp', {}, null, ['Choose a variant first.'], [[masterUrl]]],
    [Object.assign(row(P.BASE + 'fp.m3u8'), { playlist: 'HLS' }), null, 'ffmpeg', {}, null, ['Protected by DRM (FairPlay): it cannot be downloaded in a playable form.'], [[P.BASE + 'fp.m3u8']]],
    [Object.assign(row(P.BASE + 'unread.m3u8'), { playlist: 'HLS' }), 0, 'ytdlp', {}, null, ['The playlist’s text was not read, so there is no command per quality.'], []],
  ];
  for (const [r, index, tool, extra, text, noticed, cookieCalls] of cases) {
    const { actions, got } = makeActions(ok, Object.assign({}, options, extra));
    actions.copyStreamCommand(r, index, tool);
    const name = r.url + ' ' + index + ' ' + tool;
    assert.deepEqual(got.calls, text === null ? [] : [['copyURL', text]], name);
    assert.deepEqual(got.noticed, noticed, name);
    assert.deepEqual(got.cookieCalls, cookieCalls, name);
  }
});
