// What the list says about a stream: the variants of a master playlist or a manifest as the
// details pane shows them (their qualities, rendition groups, whether the scan saw them,
// live or VOD, encryption), the badge of a playlist row that offers variants, and what a
// blob: row can tell the user. Everything here is plain data made from what streams.js
// read; detailspane.js puts it on the page. Classic script (window.Trawlet.streamview) and
// CommonJS module.
(function (root, factory) {
  'use strict';
  const node = typeof module === 'object' && module.exports;
  const T = root && root.Trawlet;
  const api = factory(node ? require('./streams.js') : T.streams, node ? require('./words.js') : T.words);
  if (node) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).streamview = api;
})(typeof self !== 'undefined' ? self : this, function (streams, words) {
  'use strict';

  const { plural } = words;

  // How many playlist rows a blob: row points to at most.
  const MAX_POINTERS = 10;

  const KIND_NAMES = { video: 'Video', audio: 'Audio', subtitles: 'Subtitles', image: 'Images', 'closed-captions': 'Closed captions' };

  // "2 s", "1 min 30.5 s", "1 h 2 min 3 s".
  function durationText(seconds) {
    if (typeof seconds !== 'number' || !Number.isFinite(seconds) || seconds < 0) return '';
    const h = Math.floor(seconds / 3600);
    const m = Math.floor((seconds - h * 3600) / 60);
    const s = Math.round((seconds - h * 3600 - m * 60) * 1000) / 1000;
    const parts = [];
    if (h) parts.push(h + ' h');
    if (h || m) parts.push(m + ' min');
    if (s || parts.length === 0) parts.push(s + ' s');
    return parts.join(' ');
  }

  function isBlob(url) {
    return typeof url === 'string' && url.slice(0, 5).toLowerCase() === 'blob:';
  }

  // The length of one media playlist: "VOD, 33.75 s, 4 segments" or "Live, 3 segments so far".
  function lengthText(m) {
    if (!m || m.ok !== true || m.type === 'master') return '';
    if (m.live) return 'Live' + (typeof m.segments === 'number' ? ', ' + plural(m.segments, 'segment', 'segments') + ' listed so far' : '');
    const parts = ['VOD'];
    const d = durationText(m.duration);
    if (d) parts.push(d);
    if (typeof m.segments === 'number') parts.push(plural(m.segments, 'segment', 'segments'));
    return parts.join(', ');
  }

  // The encryption of a playlist's segments in plain words, with the keys' addresses:
  // { label ("" for none, "AES-128", "SAMPLE-AES", "DRM"), text, keys: [{ method, url }] }.
  function encryptionOf(m) {
    if (!m || m.ok !== true) return null;
    // A DRM key's address (skd:, data:) is a licence's name, not a key a tool could fetch.
    if (m.drm.length) return { label: 'DRM', text: 'DRM (' + m.drm.join(', ') + '): not downloadable', keys: [], licences: m.keys.filter((k) => k.drm && k.uri).map((k) => k.uri) };
    const keys = m.keys.filter((k) => !k.drm).map((k) => ({ method: k.method, url: k.url }));
    if (keys.length === 0) return { label: '', text: 'none', keys: [] };
    const methods = Array.from(new Set(keys.map((k) => k.method)));
    const label = methods.includes('SAMPLE-AES') ? 'SAMPLE-AES' : methods[0];
    const what = label === 'SAMPLE-AES' ? 'ffmpeg decrypts it with the key; some tools cannot' : 'the tools fetch the key and decrypt';
    return { label, text: methods.join(', ') + ' (' + what + ')', keys };
  }

  // A master playlist with what the scan read of each variant's own playlist: a variant
  // whose playlist names a DRM key is not downloadable either. mediaModelFor(url) answers
  // the model read for a playlist's address, or nothing.
  function withMedia(model, mediaModelFor) {
    if (!model || model.ok !== true || model.format !== 'HLS' || model.type !== 'master' || typeof mediaModelFor !== 'function') return model;
    const out = Object.assign({}, model);
    out.variants = model.variants.map((v) => {
      const media = v.url ? mediaModelFor(v.url) : null;
      if (!media || media.ok !== true || media.type !== 'media') return v;
      const drm = Array.from(new Set(v.drm.concat(media.drm)));
      return Object.assign({}, v, { drm, media: { live: media.live, duration: media.duration, segments: media.segments, keys: media.keys, drm: media.drm, ok: true, type: 'media' } });
    });
    return out;
  }

  // The words of a list that say something: none empty, none twice, none the same as name.
  function unique(list, name) {
    return Array.from(new Set(list.filter((w) => w && w !== name)));
  }

  function groupText(model, type, id) {
    if (!id) return '';
    const g = model.groups.find((x) => x.type === type && x.id === id);
    if (!g) return 'group "' + id + '"';
    const names = g.renditions.map((r) => {
      const name = r.name || r.language || 'unnamed';
      const notes = unique([r.language, r.default ? 'default' : '', r.forced ? 'forced' : '', r.instreamId, r.seen ? 'seen' : ''], name);
      return name + (notes.length ? ' (' + notes.join(', ') + ')' : '');
    });
    return 'group "' + id + '": ' + names.join(', ');
  }

  // The bandwidth is in the title; the average only where the playlist tells it.
  function averageText(v) {
    return v.averageBandwidth !== null && v.averageBandwidth !== v.bandwidth ? streams.rate(v.averageBandwidth) : '';
  }

  // The quality at a glance: "640x360, 1.28 Mbit/s, 29.97 fps" or "Audio, 64 kbit/s, de".
  function variantTitle(v) {
    const parts = [];
    if (v.width !== null && v.height !== null) parts.push(v.width + 'x' + v.height);
    else parts.push(KIND_NAMES[v.kind] || 'Variant ' + (v.index + 1));
    if (v.bandwidth !== null) parts.push(streams.rate(v.bandwidth));
    if (v.frameRate !== null) parts.push(Math.round(v.frameRate * 1000) / 1000 + ' fps');
    if (v.lang && v.kind !== 'video') parts.push(v.lang);
    return parts.join(', ');
  }

  // What the pane lists of one quality. commands(index) says whether the download commands
  // exist for it (streams.commands without headers: the headers never decide that).
  function item(model, v, fields, extra) {
    const c = streams.commands(model, v ? v.index : null, null);
    return Object.assign(
      {
        index: v ? v.index : null,
        title: v ? variantTitle(v) : '',
        seen: v ? v.seen === true : true,
        fields: fields.filter(([, text]) => text !== ''),
        encryption: '',
        live: model.live,
        downloadable: c.ytdlp !== '',
        note: c.ytdlp !== '' ? c.note : c.note || 'No download command for this one.',
      },
      extra || {},
    );
  }

  function keyFields(enc, requestHeadersFor) {
    const out = [];
    if (!enc) return out;
    out.push(['Encryption', enc.text]);
    for (const uri of enc.licences || []) if (!/^data:/i.test(uri)) out.push(['Licence key', uri]);
    enc.keys.forEach((k, i) => {
      const label = enc.keys.length > 1 ? 'Key ' + (i + 1) : 'Key';
      out.push([label, k.url || '(no address a tool can load)']);
      // A downloader needs the key request's headers as much as the segments'.
      const sent = k.url && typeof requestHeadersFor === 'function' ? requestHeadersFor(k.url) : null;
      if (sent) out.push([label + ' request', sent.length ? sent.map(([n, value]) => n + ': ' + value).join('; ') : 'no headers to send again']);
    });
    return out;
  }

  function hlsMasterView(model, o) {
    const items = model.variants.map((v) => {
      const media = v.media || null;
      const enc = media ? encryptionOf(media) : v.drm.length ? encryptionOf({ ok: true, drm: v.drm, keys: [] }) : null;
      // The player loaded it, but the engine kept no copy of its text: nothing tells.
      const unknown = !enc && v.seen ? [['Encryption', 'not known (its playlist’s text was not read)']] : [];
      const fields = [
        ['Average bandwidth', averageText(v)],
        ['Codecs', v.codecs.split(',').join(', ')],
        ['Audio', groupText(model, 'audio', v.audio)],
        ['Subtitles', groupText(model, 'subtitles', v.subtitles)],
        ['Closed captions', groupText(model, 'closed-captions', v.closedCaptions)],
        ['Length', media ? lengthText(media) : ''],
      ].concat(keyFields(enc, o.requestHeadersFor), unknown, [['Address', v.url]]);
      return item(model, v, fields, { encryption: enc ? enc.label : '', live: media ? media.live : null });
    });
    // A master says nothing of its length: its variants' playlists do, once read.
    const known = model.variants.find((v) => v.media);
    const sections = [{ title: 'Variants', note: '', items }];
    const groups = model.groups
      .filter((g) => g.renditions.length)
      .map((g) => ({
        title: (KIND_NAMES[g.type] || g.type) + ' group "' + g.id + '"',
        renditions: g.renditions.map((r) => ({
          text: [r.name || 'unnamed'].concat(unique([r.language, r.default ? 'default' : '', r.forced ? 'forced' : '', r.instreamId], r.name)).join(', '),
          url: r.url,
          seen: r.seen === true,
        })),
      }));
    return { length: known ? lengthText(known.media) : '', sections, groups, count: plural(items.length, 'variant', 'variants') };
  }

  function hlsMediaView(model, o) {
    const enc = encryptionOf(model);
    const fields = [
      ['Length', lengthText(model)],
      ['Target duration', model.targetDuration !== null ? durationText(model.targetDuration) : ''],
    ].concat(keyFields(enc, o.requestHeadersFor));
    const it = item(model, null, fields, { title: 'This playlist is one quality', encryption: enc ? enc.label : '' });
    return { length: lengthText(model), sections: [{ title: 'Quality', note: '', items: [it] }], groups: [], count: '' };
  }

  function dashView(model) {
    const sections = model.adaptationSets.map((s) => {
      const parts = [KIND_NAMES[s.contentType] || 'Adaptation set'];
      if (s.mimeType) parts.push(s.mimeType);
      if (s.lang) parts.push(s.lang);
      if (s.label) parts.push(s.label);
      const items = s.representations.map((i) => {
        const v = model.variants[i];
        const fields = [
          ['Id', v.format],
          ['Codecs', v.codecs],
          ['Language', v.kind !== 'video' ? v.lang : ''],
          ['Encryption', v.drm.length ? 'DRM (' + v.drm.join(', ') + '): not downloadable' : ''],
          ['Address', v.url],
        ];
        return item(model, v, fields, { encryption: v.drm.length ? 'DRM' : '' });
      });
      return {
        title: 'Adaptation set ' + (s.id || s.index + 1) + ': ' + parts.join(', '),
        note: s.drm.length ? 'Protected by DRM (' + s.drm.join(', ') + '): not downloadable.' : '',
        items,
      };
    });
    const length = model.live ? 'Live' : model.duration !== null ? 'VOD, ' + durationText(model.duration) : 'VOD';
    return {
      length,
      sections,
      groups: [],
      count: plural(model.variants.length, 'representation', 'representations') + ' in ' + plural(model.adaptationSets.length, 'adaptation set', 'adaptation sets'),
    };
  }

  // The stream part of the details pane for a playlist row. model: what streams.read gave,
  // already marked as seen (streams.markSeen); o: { mediaModelFor(url) (the models of the
  // variants' own playlists), requestHeadersFor(url) (the headers a command would send
  // again for a key the list holds, as [name, value] pairs, or null) }. Answers { ok,
  // title, summary, notes, sections: [{ title, note, items }], groups, message }.
  function view(model, options) {
    const o = options || {};
    if (!model) return null;
    if (model.ok !== true) return { ok: false, title: 'Stream', summary: '', notes: [], sections: [], groups: [], message: model.message };
    const m = withMedia(model, o.mediaModelFor);
    const kind = m.format === 'DASH' ? 'DASH manifest' : m.type === 'master' ? 'HLS master playlist' : 'HLS media playlist';
    const v = m.format === 'DASH' ? dashView(m) : m.type === 'master' ? hlsMasterView(m, o) : hlsMediaView(m, o);
    const summary = [kind, v.length, v.count && v.count + (m.type === 'media' ? '' : ', ' + m.variants.filter((x) => x.seen).length + ' seen')].filter(Boolean).join(' · ');
    const notes = m.notes.slice();
    if (m.type !== 'media' && m.variants.length > 0)
      notes.push('Each quality has its own media downloader (yt-dlp) and ffmpeg command. curl and wget are not offered: they would fetch the playlist’s text only.');
    return { ok: true, title: 'Stream', summary, notes, sections: v.sections, groups: v.groups, message: '' };
  }

  // The badge of a playlist row whose text offered variants: "HLS · 2 variants".
  function badge(row, model) {
    if (!row || !row.playlist || !model || model.ok !== true || model.type === 'media' || model.variants.length === 0) return '';
    return row.playlist + ' · ' + plural(model.variants.length, 'variant', 'variants');
  }

  // The scheme, host and port of an address, lower-case ("" for none); a blob: address
  // names the origin of the page that made it.
  function originOf(url) {
    const s = isBlob(url) ? url.slice(5) : url;
    const m = /^[a-z][a-z0-9+.-]*:\/\/[^/?#\\]*/i.exec(s.slice(0, 2048));
    return m ? m[0].toLowerCase() : '';
  }

  // The kinds of blob: rows that may be a player's Media Source (or a media file the page
  // assembled); the others (a player's worker script, a drawn image) are no stream.
  const MEDIA_KINDS = new Set(['video', 'audio', 'playlist', 'other']);

  // What a blob: row tells the user: nothing can download from that address, and for a
  // media row the stream behind it comes from the playlist or manifest rows of the same
  // page (its origin), or else from the playlists the list holds of other sites (a page's
  // player often loads its stream from a server of its own). rows: the list's rows ({ url,
  // playlist }); kind: the blob row's kind (kinds.js). Answers null for any other address,
  // else { text, playlists: [url, ...] }.
  function blobAdvice(url, rows, kind) {
    if (!isBlob(url)) return null;
    if (kind && !MEDIA_KINDS.has(kind))
      return { text: 'A blob: address exists only inside the page that made it: it cannot be downloaded from that address.', playlists: [] };
    const origin = originOf(url);
    const same = [];
    const other = [];
    for (const r of rows || []) {
      if (!r || !r.playlist || typeof r.url !== 'string' || isBlob(r.url)) continue;
      const list = origin !== '' && originOf(r.url) === origin ? same : other;
      if (list.length < MAX_POINTERS) list.push(r.url);
    }
    const playlists = same.length ? same : other;
    let text =
      'A blob: address exists only inside the page that made it, usually a player feeding the video element through Media Source: ' +
      'it cannot be downloaded from that address.';
    const these = playlists.length === 1 ? 'this playlist' : 'these playlists';
    if (same.length) text += ' The stream comes from ' + these + ' of the same page, whose rows have the download commands:';
    else if (other.length) text += ' The list holds no playlist of that page’s own site; its player may have loaded ' + these + ':';
    else text += ' The list holds no playlist or manifest; the page’s player may load its stream some other way.';
    return { text, playlists };
  }

  return { view, badge, blobAdvice, isBlob, durationText, lengthText, encryptionOf, withMedia, variantTitle };
});
