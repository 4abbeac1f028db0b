'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
require('./parsers.js').loadParsers();
const S = require('../../resources/Html/js/streams.js');
const V = require('../../resources/Html/js/streamview.js');
const { BASE, MASTER, AES, SAMPLE_AES, MULTI_DRM, LIVE, DASH, DASH_LIVE } = require('./playlists.js');

const read = (body, name) => S.read({ url: BASE + name, body });
const V360 = BASE + '360p/index.m3u8';
const V1080 = 'https://127.0.0.1:8443/other/1080p.m3u8?token=a%20b';

// The fields of one item as an object, the way a person reads the pane.
const fieldsOf = (it) => Object.fromEntries(it.fields);
const items = (view) => view.sections.flatMap((s) => s.items);

test('view: a master lists each variant with its quality, groups, length and whether it was seen', () => {
  const master = read(MASTER, 'master.m3u8');
  // The 360p variant's playlist was read: its keys, length and DRM belong to that variant.
  // [variant playlists read, rows in the list, summary, per variant: [title, seen, encryption, downloadable, Length, Encryption]]
  const cases = [
    [{}, [], 'HLS master playlist · 3 variants, 0 seen', [
      ['640x360, 1.28 Mbit/s, 29.97 fps', false, '', true, undefined, undefined],
      ['1920x1080, 5.00 Mbit/s, 60 fps', false, '', true, undefined, undefined],
      ['Audio, 64 kbit/s', false, '', true, undefined, undefined],
    ]],
    // Seen, but the engine kept no copy of its playlist: its encryption is not known.
    [{}, [V360], 'HLS master playlist · 3 variants, 1 seen', [
      ['640x360, 1.28 Mbit/s, 29.97 fps', true, '', true, undefined, 'not known (its playlist’s text was not read)'],
      ['1920x1080, 5.00 Mbit/s, 60 fps', false, '', true, undefined, undefined],
      ['Audio, 64 kbit/s', false, '', true, undefined, undefined],
    ]],
    [{ [V360]: read(AES, '360p/index.m3u8'), [V1080]: read(LIVE, 'l.m3u8') }, [V360 + '#x', V1080], 'HLS master playlist · VOD, 33.75 s, 4 segments · 3 variants, 2 seen', [
      ['640x360, 1.28 Mbit/s, 29.97 fps', true, 'AES-128', true, 'VOD, 33.75 s, 4 segments', 'AES-128 (the tools fetch the key and decrypt)'],
      ['1920x1080, 5.00 Mbit/s, 60 fps', true, '', true, 'Live, 3 segments listed so far', 'none'],
      ['Audio, 64 kbit/s', false, '', true, undefined, undefined],
    ]],
    // A variant whose own playlist names a DRM key has no commands, though the master says nothing.
    [{ [V1080]: read(SAMPLE_AES, 'fp.m3u8') }, [V1080], 'HLS master playlist · VOD, 12 s, 2 segments · 3 variants, 1 seen', [
      ['640x360, 1.28 Mbit/s, 29.97 fps', false, '', true, undefined, undefined],
      ['1920x1080, 5.00 Mbit/s, 60 fps', true, 'DRM', false, 'VOD, 12 s, 2 segments', 'DRM (FairPlay): not downloadable'],
      ['Audio, 64 kbit/s', false, '', true, undefined, undefined],
    ]],
  ];
  for (const [media, rows, summary, expected] of cases) {
    const label = rows.join(' ');
    const view = V.view(S.markSeen(master, rows), { mediaModelFor: (u) => media[u] || null });
    assert.equal(view.summary, summary, label);
    assert.deepEqual(
      items(view).map((it) => [it.title, it.seen, it.encryption, it.downloadable, fieldsOf(it).Length, fieldsOf(it).Encryption]),
      expected,
      label,
    );
  }
  const [first, second, audio] = items(V.view(master, {}));
  assert.deepEqual(fieldsOf(first), {
    'Average bandwidth': '1.00 Mbit/s',
    Codecs: 'avc1.4d401e, mp4a.40.2',
    Audio: 'group "aac": English (en, default), Français (fr)',
    Subtitles: 'group "subs": Deutsch (de)',
    'Closed captions': 'group "cc": CC1 (en)',
    Address: V360,
  });
  assert.equal(fieldsOf(second).Subtitles, undefined);
  assert.match(first.note, /audio is a separate rendition \(English\)/);
  assert.equal(audio.note, '');
  assert.match(V.view(master, {}).notes.join(' '), /curl and wget are not offered/);
});

test('view: rendition groups say which renditions the player loaded', () => {
  const view = V.view(S.markSeen(read(MASTER, 'master.m3u8'), [BASE + 'audio/en/index.m3u8']), {});
  assert.deepEqual(
    view.groups.map((g) => [g.title, g.renditions.map((r) => [r.text, r.seen])]),
    [
      ['Audio group "aac"', [['English, en, default', true], ['Français, fr', false]]],
      ['Subtitles group "subs"', [['Deutsch, de', false]]],
      ['Closed captions group "cc"', [['CC1, en', false]]],
    ],
  );
  assert.match(fieldsOf(items(view)[0]).Audio, /English \(en, default, seen\)/);
});

test('view: a media playlist is one quality with its length and keys, and the key requests', () => {
  const sent = { [BASE + '360p/keys/k1.bin']: [['Referer', 'http://127.0.0.1:8080/watch'], ['User-Agent', 'Engine']] };
  const headers = (u) => sent[u] || null;
  // [playlist, name, summary, tag, fields]
  const cases = [
    [AES, '360p/index.m3u8', 'HLS media playlist · VOD, 33.75 s, 4 segments', 'AES-128', {
      Length: 'VOD, 33.75 s, 4 segments',
      'Target duration': '10 s',
      Encryption: 'AES-128 (the tools fetch the key and decrypt)',
      'Key 1': BASE + '360p/keys/k1.bin',
      'Key 1 request': 'Referer: http://127.0.0.1:8080/watch; User-Agent: Engine',
      'Key 2': 'https://127.0.0.1:8443/keys/k2?id=2',
    }],
    [SAMPLE_AES, 'fp.m3u8', 'HLS media playlist · VOD, 12 s, 2 segments', 'DRM', {
      Length: 'VOD, 12 s, 2 segments',
      'Target duration': '6 s',
      Encryption: 'DRM (FairPlay): not downloadable',
      'Licence key': 'skd://key-id-42',
    }],
    // Licence data is no address: it is left out.
    [MULTI_DRM, 'c.m3u8', 'HLS media playlist · VOD, 4 s, 1 segment', 'DRM', { Length: 'VOD, 4 s, 1 segment', 'Target duration': '4 s', Encryption: 'DRM (Widevine, PlayReady): not downloadable' }],
    [LIVE, 'live.m3u8', 'HLS media playlist · Live, 3 segments listed so far', '', { Length: 'Live, 3 segments listed so far', 'Target duration': '2 s', Encryption: 'none' }],
  ];
  for (const [body, name, summary, encryption, fields] of cases) {
    const view = V.view(read(body, name), { requestHeadersFor: headers });
    assert.equal(view.summary, summary, name);
    assert.equal(items(view).length, 1);
    const it = items(view)[0];
    assert.deepEqual([it.index, it.encryption, it.downloadable], [null, encryption, encryption !== 'DRM'], name);
    assert.deepEqual(fieldsOf(it), fields, name);
  }
  assert.equal(items(V.view(read(LIVE, 'live.m3u8'), {}))[0].live, true);
  assert.match(items(V.view(read(LIVE, 'live.m3u8'), {}))[0].note, /Live/);
  assert.match(items(V.view(read(SAMPLE_AES, 'fp.m3u8'), {}))[0].note, /cannot be downloaded/);
});

test('view: a DASH manifest lists its adaptation sets and their representations', () => {
  const dash = S.markSeen(read(DASH, 'manifest.mpd'), [BASE + 'media/v7200/seg-00003.m4s']);
  const view = V.view(dash, {});
  assert.equal(view.summary, 'DASH manifest · VOD, 1 min 30.5 s · 5 representations in 3 adaptation sets, 1 seen');
  assert.deepEqual(
    view.sections.map((s) => [s.title, s.note, s.items.map((it) => [it.title, it.seen, it.downloadable, fieldsOf(it).Id])]),
    [
      ['Adaptation set 1: Video, video/mp4', 'Protected by DRM (Widevine, PlayReady): not downloadable.', [['1280x720, 3.00 Mbit/s, 30 fps', false, false, 'v720'], ['640x360, 800 kbit/s, 29.97 fps', true, false, 'v7200']]],
      ['Adaptation set 2: Audio, audio/mp4, de, Deutsch', '', [['Audio, 128 kbit/s, de', false, true, 'a1'], ['Audio, 64 kbit/s, de', false, true, 'a2']]],
      ['Adaptation set 3: Subtitles, text/vtt, en', '', [['Subtitles, 256 bit/s, en', false, false, 't1']]],
    ],
  );
  assert.match(view.sections[2].items[0].note, /Only video and audio/);
  assert.equal(fieldsOf(view.sections[1].items[0]).Address, 'https://127.0.0.1:8443/audio/a1.mp4');
  const live = V.view(read(DASH_LIVE, 'live.mpd'), {});
  assert.equal(live.summary, 'DASH manifest · Live · 1 representation in 1 adaptation set, 0 seen');
  assert.equal(items(live)[0].downloadable, true);
});

test('view: a playlist that could not be read says why and nothing else', () => {
  for (const message of [{ body: null, tooLarge: true }, { body: '<html></html>' }, { body: null, error: 'the engine kept no copy of this body' }]) {
    const view = V.view(S.read(Object.assign({ url: BASE + 'x.m3u8' }, message)), {});
    assert.equal(view.ok, false);
    assert.match(view.message, /^Could not read the playlist: /);
    assert.deepEqual([view.sections, view.groups], [[], []]);
  }
  assert.equal(V.view(null, {}), null);
});

test('badge: a playlist row that offers variants says how many', () => {
  const row = (playlist) => ({ playlist, url: BASE + 'x' });
  // [row, model, badge]
  const cases = [
    [row('HLS'), read(MASTER, 'master.m3u8'), 'HLS · 3 variants'],
    [row('DASH'), read(DASH, 'manifest.mpd'), 'DASH · 5 variants'],
    [row('HLS'), read('#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\na.m3u8\n', 'one.m3u8'), 'HLS · 1 variant'],
    [row('HLS'), read(AES, 'a.m3u8'), ''],
    [row('HLS'), S.read({ url: BASE, body: null, tooLarge: true }), ''],
    [row('HLS'), null, ''],
    [row(''), read(MASTER, 'master.m3u8'), ''],
  ];
  for (const [r, model, badge] of cases) assert.equal(V.badge(r, model), badge, badge);
});

test('blobAdvice: a blob: row cannot be downloaded and points to the playlists of its page', () => {
  const rows = [
    { url: 'http://127.0.0.1:8080/watch', playlist: '' },
    { url: 'http://127.0.0.1:8080/hls/master.m3u8', playlist: 'HLS' },
    { url: 'http://127.0.0.1:9000/other.mpd', playlist: 'DASH' },
    { url: 'blob:http://127.0.0.1:8080/0f6e', playlist: '' },
    { url: 'http://127.0.0.1:8080/dash/stream.mpd?x=1', playlist: 'DASH' },
  ];
  // [address, playlists pointed to, words of the text]
  const cases = [
    ['blob:http://127.0.0.1:8080/5d1c-77', ['http://127.0.0.1:8080/hls/master.m3u8', 'http://127.0.0.1:8080/dash/stream.mpd?x=1'], /cannot be downloaded from that address.*these playlists/],
    ['BLOB:HTTP://127.0.0.1:9000/aa', ['http://127.0.0.1:9000/other.mpd'], /this playlist of the same page/],
    // A page whose player loads its stream from another server.
    ['blob:http://127.0.0.2/aa', ['http://127.0.0.1:8080/hls/master.m3u8', 'http://127.0.0.1:9000/other.mpd', 'http://127.0.0.1:8080/dash/stream.mpd?x=1'], /no playlist of that page’s own site.*these playlists/],
    ['blob:null/1234', ['http://127.0.0.1:8080/hls/master.m3u8', 'http://127.0.0.1:9000/other.mpd', 'http://127.0.0.1:8080/dash/stream.mpd?x=1'], /no playlist of that page’s own site/],
  ];
  for (const [url, playlists, words] of cases) {
    const advice = V.blobAdvice(url, rows);
    assert.deepEqual(advice.playlists, playlists, url);
    assert.match(advice.text, words, url);
  }
  assert.match(V.blobAdvice('blob:http://127.0.0.1/x', rows.slice(0, 1)).text, /holds no playlist or manifest/);
  // A player's worker script is no stream: it points nowhere.
  for (const [kind, pointers] of [['script', 0], ['image', 0], ['video', 2], ['audio', 2], ['other', 2]]) {
    const advice = V.blobAdvice('blob:http://127.0.0.1:8080/w', rows, kind);
    assert.equal(advice.playlists.length, pointers, kind);
    assert.match(advice.text, /cannot be downloaded from that address/, kind);
  }
  for (const url of ['http://127.0.0.1:8080/hls/master.m3u8', 'data:video/mp4,x', '', null]) assert.equal(V.blobAdvice(url, rows), null);
  const many = Array.from({ length: 30 }, (_, i) => ({ url: 'http://127.0.0.1/' + i + '.m3u8', playlist: 'HLS' }));
  assert.equal(V.blobAdvice('blob:http://127.0.0.1/x', many).playlists.length, 10);
});

test('durationText and lengthText', () => {
  const cases = [
    [0, '0 s'],
    [2, '2 s'],
    [33.75, '33.75 s'],
    [90.5, '1 min 30.5 s'],
    [3600, '1 h 0 min'],
    [3723.25, '1 h 2 min 3.25 s'],
    [-1, ''],
    [NaN, ''],
    [null, ''],
  ];
  for (const [seconds, text] of cases) assert.equal(V.durationText(seconds), text, String(seconds));
  assert.equal(V.lengthText(read(MASTER, 'master.m3u8')), '');
  assert.equal(V.lengthText(null), '');
});
