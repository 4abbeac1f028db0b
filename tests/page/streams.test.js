'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
require('./parsers.js').loadParsers();
const S = require('../../resources/Html/js/streams.js');
const E = require('../../resources/Html/js/export.js');

const { BASE, MASTER, AES, SAMPLE_AES, MULTI_DRM, SAMPLE_AES_PLAIN, LIVE, DASH, DASH_LIVE } = require('./playlists.js');

function read(body, url) {
  return S.read({ id: 1, url: url || BASE + 'master.m3u8', body });
}

function pick(obj, keys) {
  const out = {};
  for (const k of keys) out[k] = obj[k];
  return out;
}

test('read: the shape of each kind of playlist', () => {
  // [name, body, url, expected top-level fields]
  const cases = [
    ['master', MASTER, BASE + 'master.m3u8', { ok: true, format: 'HLS', type: 'master', live: false, downloadable: true, iframes: 1 }],
    ['AES-128', AES, BASE + '360p/index.m3u8', { ok: true, format: 'HLS', type: 'media', live: false, duration: 33.75, segments: 4, downloadable: true }],
    ['FairPlay', SAMPLE_AES, BASE + 'fp.m3u8', { ok: true, format: 'HLS', type: 'media', live: false, segments: 2, downloadable: false, drm: ['FairPlay'] }],
    ['Widevine and PlayReady', MULTI_DRM, BASE + 'cenc.m3u8', { ok: true, type: 'media', downloadable: false, drm: ['Widevine', 'PlayReady'] }],
    ['plain SAMPLE-AES', SAMPLE_AES_PLAIN, BASE + 's.m3u8', { ok: true, type: 'media', downloadable: true, drm: [] }],
    ['live', LIVE, BASE + 'live.m3u8', { ok: true, type: 'media', live: true, duration: 6.006, segments: 3, targetDuration: 2 }],
    ['DASH', DASH, BASE + 'manifest.mpd', { ok: true, format: 'DASH', type: 'manifest', live: false, duration: 90.5, downloadable: false }],
    ['DASH live', DASH_LIVE, BASE + 'live.mpd', { ok: true, format: 'DASH', type: 'manifest', live: true, duration: null, downloadable: true }],
  ];
  for (const [name, body, url, expected] of cases) {
    const m = S.read({ url, body });
    assert.deepEqual(pick(m, Object.keys(expected)), expected, name);
    assert.equal(m.url, url, name);
    // A model is plain data: it survives a JSON round trip unchanged.
    assert.deepEqual(JSON.parse(JSON.stringify(m)), m, name);
  }
});

test('read: an HLS master gives every variant with its attributes and absolute address', () => {
  const m = read(MASTER);
  const fields = ['kind', 'url', 'bandwidth', 'averageBandwidth', 'width', 'height', 'frameRate', 'codecs', 'audio', 'subtitles', 'closedCaptions'];
  const expected = [
    ['video', BASE + '360p/index.m3u8', 1280000, 1000000, 640, 360, 29.97, 'avc1.4d401e,mp4a.40.2', 'aac', 'subs', 'cc'],
    ['video', 'https://127.0.0.1:8443/other/1080p.m3u8?token=a%20b', 5000000, null, 1920, 1080, 60, 'hvc1.2.4.L123.B0,mp4a.40.2', 'aac', '', ''],
    ['audio', 'http://127.0.0.1:9000/radio/aac.m3u8', 64000, null, null, null, null, 'mp4a.40.5', '', '', ''],
  ];
  assert.deepEqual(
    m.variants.map((v) => fields.map((f) => v[f])),
    expected,
  );
  assert.deepEqual(
    m.variants.map((v) => S.describe(v)),
    ['640x360, 1.28 Mbit/s, 29.97 fps, avc1.4d401e,mp4a.40.2', '1920x1080, 5.00 Mbit/s, 60 fps, hvc1.2.4.L123.B0,mp4a.40.2', 'audio, 64 kbit/s, mp4a.40.5'],
  );
});

test('read: an HLS master gives its rendition groups with languages, names and addresses', () => {
  const m = read(MASTER);
  const flat = m.groups.map((g) => [g.type, g.id, g.renditions.map((r) => [r.name, r.language, r.url, r.default])]);
  assert.deepEqual(flat, [
    [
      'audio',
      'aac',
      [
        ['English', 'en', BASE + 'audio/en/index.m3u8', true],
        ['Français', 'fr', 'http://127.0.0.1:8080/cdn/audio/fr.m3u8?t=1', false],
      ],
    ],
    ['subtitles', 'subs', [['Deutsch', 'de', 'http://127.0.0.1:8080/show/subs/de.m3u8', false]]],
    ['closed-captions', 'cc', [['CC1', 'en', '', false]]],
  ]);
  assert.equal(m.groups[2].renditions[0].instreamId, 'CC1');
});

test('read: keys of a media playlist, with their absolute addresses, DRM in plain words', () => {
  // [body, url, keys as [method, url, system, drm, segments], words a note holds]
  const cases = [
    [
      AES,
      BASE + '360p/index.m3u8',
      [
        ['AES-128', BASE + '360p/keys/k1.bin', '', false, 2],
        ['AES-128', 'https://127.0.0.1:8443/keys/k2?id=2', '', false, 1],
      ],
      /AES-128/,
    ],
    [SAMPLE_AES, BASE + 'fp.m3u8', [['SAMPLE-AES', '', 'FairPlay', true, 2]], /DRM \(FairPlay\).*cannot be downloaded/],
    [
      MULTI_DRM,
      BASE + 'cenc.m3u8',
      [
        ['SAMPLE-AES-CTR', '', 'Widevine', true, 1],
        ['SAMPLE-AES-CTR', '', 'PlayReady', true, 1],
      ],
      /DRM \(Widevine, PlayReady\)/,
    ],
    [SAMPLE_AES_PLAIN, BASE + 's.m3u8', [['SAMPLE-AES', BASE + 'key.bin', '', false, 1]], /SAMPLE-AES/],
    [LIVE, BASE + 'live.m3u8', [], /Live/],
  ];
  for (const [body, url, keys, note] of cases) {
    const m = S.read({ url, body });
    assert.deepEqual(
      m.keys.map((k) => [k.method, k.url, k.system, k.drm, k.segments]),
      keys,
      url,
    );
    assert.match(m.notes.join(' '), note, url);
  }
  assert.equal(read(SAMPLE_AES).keys[0].uri, 'skd://key-id-42');
});

test('read: a DRM key announced in a master playlist marks every variant', () => {
  const m = read('#EXTM3U\n#EXT-X-SESSION-KEY:METHOD=SAMPLE-AES,URI="skd://x",KEYFORMAT="com.apple.streamingkeydelivery"\n#EXT-X-STREAM-INF:BANDWIDTH=1\na.m3u8\n');
  assert.equal(m.type, 'master');
  assert.deepEqual(m.drm, ['FairPlay']);
  assert.deepEqual(m.variants[0].drm, ['FairPlay']);
  assert.equal(m.downloadable, false);
});

test('read: a DASH manifest gives its adaptation sets and representations', () => {
  const m = read(DASH, BASE + 'manifest.mpd');
  assert.deepEqual(
    m.adaptationSets.map((s) => [s.id, s.contentType, s.mimeType, s.lang, s.label, s.drm, s.representations]),
    [
      ['1', 'video', 'video/mp4', '', '', ['Widevine', 'PlayReady'], [0, 1]],
      ['2', 'audio', 'audio/mp4', 'de', 'Deutsch', [], [2, 3]],
      ['3', 'subtitles', 'text/vtt', 'en', '', [], [4]],
    ],
  );
  const fields = ['format', 'kind', 'bandwidth', 'width', 'height', 'codecs', 'mimeType', 'lang', 'url'];
  assert.deepEqual(
    m.variants.map((v) => fields.map((f) => v[f])),
    [
      ['v720', 'video', 3000000, 1280, 720, 'avc1.64001f', 'video/mp4', '', ''],
      ['v7200', 'video', 800000, 640, 360, 'avc1.4d401e', 'video/mp4', '', ''],
      ['a1', 'audio', 128000, null, null, 'mp4a.40.2', 'audio/mp4', 'de', 'https://127.0.0.1:8443/audio/a1.mp4'],
      ['a2', 'audio', 64000, null, null, 'mp4a.40.2', 'audio/mp4', 'de', BASE + 'media/audio/a2.mp4'],
      ['t1', 'subtitles', 256, null, null, '', 'text/vtt', 'en', BASE + 'media/subs/en.vtt'],
    ],
  );
  assert.ok(Math.abs(m.variants[1].frameRate - 29.97) < 0.01);
  assert.deepEqual(m.variants[0].drm, ['Widevine', 'PlayReady']);
  assert.deepEqual(m.variants[2].drm, []);
  assert.match(m.notes.join(' '), /DRM \(Widevine, PlayReady\)/);
});

test('read: what cannot be read gives a model that says so, never an exception', () => {
  const big = '#EXTM3U\n' + '#EXTINF:1,\n' + 'x'.repeat(100000) + '\n';
  // [message, reason, words of the message]
  const cases = [
    [{ url: BASE + 'big.m3u8', body: null, tooLarge: true }, 'too-large', /larger than 2 MB/],
    [{ url: BASE + 'e.m3u8', body: null, error: 'connection reset' }, 'error', /connection reset/],
    [{ url: BASE + 'n.m3u8', body: null }, 'empty', /did not arrive/],
    [{ url: BASE + 'n.m3u8', body: '  \n' }, 'empty', /empty/],
    [{ url: BASE + 'h.m3u8', body: '<html><body>Not found</body></html>' }, 'malformed', /neither an HLS playlist nor a DASH manifest/],
    [{ url: BASE + 'g.m3u8', body: '#EXTM3U\nthis is not\na playlist at all\n' }, 'malformed', /no variants and no segments/],
    [{ url: BASE + 'm.mpd', body: '<MPD><Period><AdaptationSet></MPD' }, 'malformed', /not a well-formed DASH manifest/],
    [{ url: BASE + 'm.mpd', body: '<?xml version="1.0"?><MPD type="static"></MPD>' }, 'malformed', /no Period/],
    [{ url: BASE + 'm.mpd', body: '<?xml version="1.0"?><NotMPD/><!-- <MPD> -->' }, 'malformed', /not a well-formed DASH manifest/],
    [null, 'empty', /did not arrive/],
    ['text', 'empty', /did not arrive/],
    [{ url: 5, body: 7 }, 'empty', /did not arrive/],
  ];
  for (const [message, reason, words] of cases) {
    const m = S.read(message);
    assert.equal(m.ok, false, JSON.stringify(message));
    assert.equal(m.reason, reason, JSON.stringify(message));
    assert.match(m.message, /^Could not read the (playlist|manifest): /);
    assert.match(m.message, words, JSON.stringify(message));
  }
  // Long and odd inputs still give a model.
  for (const body of [big, '#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI="k",IV=0x1\n#EXTINF:1,\na.ts\n', '#EXTM3U\n#EXT-X-STREAM-INF:RESOLUTION=axb,BANDWIDTH=-,FRAME-RATE=NaN\n\u0000\n']) {
    const m = read(body);
    assert.equal(typeof m.ok, 'boolean');
  }
  // A DRM key whose licence data is not base64 still says what protects the stream.
  const broken = read('#EXTM3U\n#EXT-X-KEY:METHOD=SAMPLE-AES,KEYFORMAT="urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed",URI="data:text/plain;base64,!!",KEYID=0x1\n#EXTINF:1,\na.ts\n');
  assert.deepEqual(pick(broken, ['ok', 'drm', 'segments']), { ok: true, drm: ['Widevine'], segments: 1 });
  // The BOM and an empty live playlist: read, with no segments yet.
  assert.deepEqual(pick(read('\uFEFF#EXTM3U\n#EXT-X-TARGETDURATION:1\n'), ['ok', 'type', 'segments', 'live']), { ok: true, type: 'media', segments: 0, live: true });
});

test('read: references resolve against the playlist address; unresolvable ones stay empty', () => {
  // [playlist address, reference, absolute address]
  const cases = [
    ['http://127.0.0.1/a/b/master.m3u8?x=1', 'v/index.m3u8', 'http://127.0.0.1/a/b/v/index.m3u8'],
    ['http://127.0.0.1/a/b/master.m3u8', '../up.m3u8', 'http://127.0.0.1/a/up.m3u8'],
    ['http://127.0.0.1/a/b/master.m3u8', '/root.m3u8', 'http://127.0.0.1/root.m3u8'],
    ['https://127.0.0.1/a/master.m3u8', '//127.0.0.2/x.m3u8', 'https://127.0.0.2/x.m3u8'],
    ['http://127.0.0.1/a/master.m3u8', 'http://127.0.0.3/abs.m3u8?q=1&r=2', 'http://127.0.0.3/abs.m3u8?q=1&r=2'],
    ['http://127.0.0.1/a/master.m3u8', 'with space.m3u8', 'http://127.0.0.1/a/with%20space.m3u8'],
    ['blob:null/1234', 'rel.m3u8', ''],
    ['', 'rel.m3u8', ''],
  ];
  for (const [url, ref, expected] of cases) {
    const m = S.read({ url, body: '#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\n' + ref + '\n' });
    assert.equal(m.variants[0].url, expected, url + ' + ' + ref);
  }
});

test('markSeen: a variant is seen when the list holds what a player loads for it', () => {
  const master = read(MASTER);
  const dash = read(DASH, BASE + 'manifest.mpd');
  const live = read(DASH_LIVE, BASE + 'live.mpd');
  // [model, row addresses, seen variants, seen renditions]
  const cases = [
    [master, [], [false, false, false], [false, false, false, false]],
    [master, [BASE + '360p/index.m3u8#t=3', BASE + 'audio/en/index.m3u8'], [true, false, false], [true, false, false, false]],
    [master, ['https://127.0.0.1:8443/other/1080p.m3u8?token=a%20b', 'http://127.0.0.1:8080/show/subs/de.m3u8'], [false, true, false], [false, false, true, false]],
    // A media playlist's segments are not its address.
    [master, [BASE + '360p/seg0.ts'], [false, false, false], [false, false, false, false]],
    // A Set is taken as it is: its addresses are already without fragments.
    [master, new Set([BASE + '360p/index.m3u8', BASE + 'audio/en/index.m3u8#t=1']), [true, false, false], [false, false, false, false]],
    [dash, [BASE + 'media/v720/seg-00017.m4s'], [true, false, false, false, false]],
    [dash, [BASE + 'media/v7200/init.mp4', 'https://127.0.0.1:8443/audio/a1.mp4'], [false, true, true, false, false]],
    // Numbers are digits; another representation's id is not this one's.
    [dash, [BASE + 'media/v720/seg-x.m4s', BASE + 'media/v72/seg-00001.m4s', BASE + 'media/v720/seg-00001.m4s?x'], [false, false, false, false, false]],
    [dash, [BASE + 'media/subs/en.vtt', BASE + 'media/audio/a2.mp4'], [false, false, false, true, true]],
    [live, [BASE + 'hd_1800000.m4s'], [true]],
    [live, [BASE + 'hd_init.m4s'], [true]],
    [live, [BASE + 'sd_1800000.m4s'], [false]],
  ];
  for (const [model, rows, variants, renditions] of cases) {
    const out = S.markSeen(model, rows);
    const label = Array.from(rows).join(' ');
    assert.deepEqual(
      out.variants.map((v) => v.seen),
      variants,
      label,
    );
    assert.equal(out.seenCount, variants.filter(Boolean).length);
    if (renditions) assert.deepEqual(out.groups.flatMap((g) => g.renditions.map((r) => r.seen)), renditions, label);
  }
  // The model given stays as it was; one that could not be read comes back unchanged.
  assert.equal(master.variants[0].seen, false);
  const bad = S.read({ url: BASE, body: null, tooLarge: true });
  assert.equal(S.markSeen(bad, [BASE]), bad);
});

// Runs a command line through /bin/sh with the tools replaced by programs that print their
// arguments, NUL after each, and gives back each program's arguments.
function runWithStubs(script) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'trawlet-stream-tools-'));
  try {
    for (const tool of ['ffmpeg', 'yt-dlp']) {
      const file = path.join(dir, tool);
      fs.writeFileSync(file, '#!/bin/sh\nprintf "%s\\0" "' + tool + '"; for a in "$@"; do printf "%s\\0" "$a"; done\n');
      fs.chmodSync(file, 0o755);
    }
    const out = execFileSync('/bin/sh', ['-c', script], { encoding: 'utf8', env: { PATH: dir + ':/usr/bin:/bin' } });
    return out.split('\0').slice(0, -1);
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

const HEADERS = {
  Referer: "http://127.0.0.1:8080/watch?v=1&list=2#it's",
  'User-Agent': 'Mozilla/5.0 (X11; Linux x86_64) "quoted" $HOME `id` \\ %s %d 100%',
  Cookie: 'a=1; b=ünï; c=$(id)',
};
const HEADER_LINES = Object.entries(HEADERS).map(([n, v]) => n + ': ' + v);

test('commands: the shell passes each tool the address, the format and the headers exactly', () => {
  const master = read(MASTER);
  const dash = read(DASH.replace(/<ContentProtection[^]*?(\/>|<\/ContentProtection>)/g, ''), BASE + 'manifest.mpd');
  const aes = read(AES, BASE + '360p/index.m3u8');
  const h = HEADER_LINES;
  const y = Object.entries(HEADERS).flatMap(([n, v]) => ['--add-header', n + ':' + v]);
  // [model, variant, yt-dlp arguments, ffmpeg arguments]
  const cases = [
    [aes, null, ['yt-dlp', ...y, '--', BASE + '360p/index.m3u8'], ['ffmpeg', '-headers', h.join('\r\n'), '-i', BASE + '360p/index.m3u8', '-c', 'copy', 'index.mp4']],
    [
      master,
      1,
      ['yt-dlp', ...y, '--', 'https://127.0.0.1:8443/other/1080p.m3u8?token=a%20b'],
      ['ffmpeg', '-headers', h.join('\r\n'), '-i', 'https://127.0.0.1:8443/other/1080p.m3u8?token=a%20b', '-headers', h.join('\r\n'), '-i', BASE + 'audio/en/index.m3u8', '-map', '0:v', '-map', '1:a', '-c', 'copy', 'master-1080p.mp4'],
    ],
    [master, 2, ['yt-dlp', ...y, '--', 'http://127.0.0.1:9000/radio/aac.m3u8'], ['ffmpeg', '-headers', h.join('\r\n'), '-i', 'http://127.0.0.1:9000/radio/aac.m3u8', '-c', 'copy', 'master-audio-64k.m4a']],
    [dash, 1, ['yt-dlp', ...y, '-f', 'v7200+bestaudio/v7200', '--', BASE + 'manifest.mpd'], ['ffmpeg', '-headers', h.join('\r\n'), '-i', BASE + 'manifest.mpd', '-map', '0:v:1', '-map', '0:a:0?', '-c', 'copy', 'manifest-360p.mp4']],
    [dash, 3, ['yt-dlp', ...y, '-f', 'a2', '--', BASE + 'manifest.mpd'], ['ffmpeg', '-headers', h.join('\r\n'), '-i', BASE + 'manifest.mpd', '-map', '0:a:1', '-c', 'copy', 'manifest-audio-a2.m4a']],
  ];
  for (const [model, index, ytdlp, ffmpeg] of cases) {
    const c = S.commands(model, index, HEADERS);
    assert.deepEqual(c.skipped, []);
    assert.ok(c.ytdlp.endsWith('\n') && c.ffmpeg.endsWith('\n'));
    assert.deepEqual(runWithStubs(c.ytdlp), ytdlp, c.ytdlp);
    assert.deepEqual(runWithStubs(c.ffmpeg), ffmpeg, c.ffmpeg);
    // What a terminal is given holds no control characters that pasting would change.
    assert.doesNotMatch(c.ffmpeg.slice(0, -1), /[\r\n\t]/);
  }
});

test('commands: headers that could break a command are left out; one header needs no printf', () => {
  const aes = read(AES, BASE + 'a.m3u8');
  const c = S.commands(aes, null, [
    ['Referer', 'http://127.0.0.1/'],
    ['X-Bad', 'a\r\nInjected: 1'],
    ['Bad Name', 'x'],
    ['X-Nul', 'a\0b'],
  ]);
  assert.deepEqual(c.skipped, ['X-Bad', 'Bad Name', 'X-Nul']);
  assert.equal(c.ffmpeg, "ffmpeg -headers 'Referer: http://127.0.0.1/' -i http://127.0.0.1:8080/show/ep1/a.m3u8 -c copy a.mp4\n");
  assert.equal(S.commands(aes, null, {}).ytdlp, 'yt-dlp -- http://127.0.0.1:8080/show/ep1/a.m3u8\n');
  assert.equal(S.commands(aes, null, null).ffmpeg, 'ffmpeg -i http://127.0.0.1:8080/show/ep1/a.m3u8 -c copy a.mp4\n');
});

test('commands: none for DRM, subtitles, unknown variants and unread playlists, with the reason', () => {
  const master = read(MASTER);
  // [model, variant, words of the note]
  const cases = [
    [read(SAMPLE_AES, BASE + 'fp.m3u8'), null, /DRM \(FairPlay\)/],
    [read(MULTI_DRM, BASE + 'c.m3u8'), null, /DRM \(Widevine, PlayReady\)/],
    [read(DASH, BASE + 'manifest.mpd'), 0, /DRM \(Widevine, PlayReady\)/],
    [read(DASH, BASE + 'manifest.mpd'), 4, /Only video and audio/],
    [master, 7, /Choose a variant/],
    [S.read({ url: BASE, body: null, tooLarge: true }), 0, /larger than 2 MB/],
    [S.read({ url: 'blob:null/1', body: AES }), null, /no address the tools can load/],
  ];
  for (const [model, index, note] of cases) {
    const c = S.commands(model, index, HEADERS);
    assert.equal(c.ytdlp, '');
    assert.equal(c.ffmpeg, '');
    assert.match(c.note, note);
  }
  assert.match(S.commands(read(LIVE, BASE + 'l.m3u8'), null, {}).note, /Live/);
  assert.match(S.commands(read(DASH_LIVE, BASE + 'l.mpd'), 0, {}).ytdlp, /^yt-dlp -f hd -- /);
});

test('exports: variants as JSON under their playlist, and as marked rows in CSV and text', () => {
  const master = S.markSeen(read(MASTER), [BASE + '360p/index.m3u8']);
  const playlist = { fileName: 'master.m3u8', mimeType: 'application/vnd.apple.mpegurl', size: '1KB', bytes: 1024, kind: 'playlist', playlist: 'HLS', hits: 1, firstSeen: '', lastSeen: '', url: BASE + 'master.m3u8' };
  const other = { fileName: 'a.mp4', mimeType: 'video/mp4', size: '1KB', bytes: 1024, kind: 'video', playlist: '', hits: 1, firstSeen: '', lastSeen: '', url: BASE + 'a.mp4' };
  const modelFor = (url) => (url === playlist.url ? master : null);

  const json = JSON.parse(E.toJson(S.withVariants([playlist, other], modelFor, true)));
  assert.equal(json.length, 2);
  assert.deepEqual(
    json[0].variants.map((v) => [v.url, v.height, v.bandwidth, v.seen]),
    [
      [BASE + '360p/index.m3u8', 360, 1280000, true],
      ['https://127.0.0.1:8443/other/1080p.m3u8?token=a%20b', 1080, 5000000, false],
      ['http://127.0.0.1:9000/radio/aac.m3u8', null, 64000, false],
    ],
  );
  assert.equal(json[1].variants, undefined);

  const flat = S.withVariants([playlist, other], modelFor, false);
  assert.deepEqual(
    flat.map((it) => [it.kind, it.url]),
    [['playlist', playlist.url], ['variant', BASE + '360p/index.m3u8'], ['variant', 'https://127.0.0.1:8443/other/1080p.m3u8?token=a%20b'], ['variant', 'http://127.0.0.1:9000/radio/aac.m3u8'], ['video', other.url]],
  );
  assert.ok(flat.slice(1, 4).every((it) => it.variant === true && it.variantOf === playlist.url));
  const csv = E.toCsv(flat).split('\r\n');
  assert.equal(csv.length, 7);
  assert.equal(csv[2], '"640x360, 1.28 Mbit/s, 29.97 fps, avc1.4d401e,mp4a.40.2",application/vnd.apple.mpegurl,unknown,,variant,1,,,' + BASE + '360p/index.m3u8');
  const text = E.toText(flat).split('\n');
  assert.equal(text[3].split('\t')[4], 'variant');
  // The DASH variants carry their representation ids and DRM into the export.
  const dash = S.variantsJson(read(DASH, BASE + 'manifest.mpd'));
  assert.deepEqual(dash.map((v) => [v.format, v.kind, v.drm.length > 0]), [['v720', 'video', true], ['v7200', 'video', true], ['a1', 'audio', false], ['a2', 'audio', false], ['t1', 'subtitles', false]]);
  assert.deepEqual(S.variantsJson(S.read(null)), []);
});

test('createStore keeps the latest model of each address, the oldest forgotten past its limit', () => {
  const store = S.createStore({ limit: 2 });
  const msg = (name, body) => JSON.stringify({ id: 1, url: BASE + name, body });
  assert.equal(store.take(msg('a.m3u8', LIVE)).live, true);
  assert.equal(store.take(msg('a.m3u8', AES)).live, false);
  assert.equal(store.modelFor(BASE + 'a.m3u8#x').segments, 4);
  assert.equal(store.take({ url: BASE + 'b.mpd', body: null, tooLarge: true }).reason, 'too-large');
  store.take(msg('c.m3u8', MASTER));
  assert.equal(store.size, 2);
  assert.equal(store.modelFor(BASE + 'a.m3u8'), null);
  assert.equal(store.modelFor(BASE + 'c.m3u8').type, 'master');
  for (const bad of ['not json', '{"body":"x"}', 'null', 42]) assert.equal(store.take(bad), null);
  store.clear();
  assert.equal(store.size, 0);
});
