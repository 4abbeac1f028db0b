// What a stream's playlist offers: an HLS master playlist's variants and rendition groups,
// an HLS media playlist's length and keys, a DASH manifest's adaptation sets and
// representations; which of them the scan saw; the download commands for one chosen
// quality; and the variants as export rows. The text is read by the vendored parsers
// (js/vendor, globals m3u8Parser and mpdParser); everything else here only turns their
// output into a plain model, which never holds a parser's own objects, so that it can be
// kept, copied and exported as it is. Classic script (window.Trawlet.streams) and CommonJS
// module; under Node the tests load the parsers into the global object first, as the
// page's script tags do.
(function (root, factory) {
  'use strict';
  const node = typeof module === 'object' && module.exports;
  const api = factory(node ? require('./record.js') : root.Trawlet.record, node ? require('./export.js') : root.Trawlet.exporting);
  if (node) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).streams = api;
})(typeof self !== 'undefined' ? self : this, function (record, exporting) {
  'use strict';

  // Where the parsers' script tags put them. Looked up at each call, so that loading order
  // only matters by the time a playlist arrives.
  const globalObject = typeof globalThis !== 'undefined' ? globalThis : self;

  // The body limit of the native side: a longer playlist arrives as { tooLarge: true }.
  const BODY_LIMIT_TEXT = '2 MB';

  // Key formats and DASH protection schemes of the DRM systems people meet, by the name
  // they know them by. A key or scheme of any of these needs a licence server and a
  // content decryption module, which no download tool has.
  const WIDEVINE = 'urn:uuid:edef8ba9-79d6-4ace-a3c8-27dcd51d21ed';
  const PLAYREADY = 'urn:uuid:9a04f079-9840-4286-ab92-e65be0885f95';
  const FAIRPLAY = 'com.apple.streamingkeydelivery';
  const DRM_SYSTEMS = new Map([
    [WIDEVINE, 'Widevine'],
    [PLAYREADY, 'PlayReady'],
    ['com.microsoft.playready', 'PlayReady'],
    [FAIRPLAY, 'FairPlay'],
    ['urn:uuid:94ce86fb-07ff-4f43-adb8-93d2fa968ca2', 'FairPlay'],
    ['urn:uuid:1077efec-c0b2-4d02-ace3-3c1e52e2fb4b', 'Clear Key'],
    ['urn:uuid:e2719d58-a985-b3c9-781a-b030af78d30e', 'Clear Key'],
  ]);
  // The DASH scheme that only says the media is encrypted (common encryption); the
  // systems that hand out its keys come in schemes of their own.
  const MP4_PROTECTION = 'urn:mpeg:dash:mp4protection:2011';

  const VIDEO_CODECS = /^(avc[1-4]|hvc1|hev1|dvh1|dvhe|dva1|dvav|vp0?[89]|vp09|av01|mp4v|theora)\b/i;
  const AUDIO_CODECS = /^(mp4a|ac-3|ec-3|ac-4|opus|flac|mp3|alac|dtsc|dtse|dtsh|dtsl|vorbis)\b/i;
  const TEXT_CODECS = /^(stpp|wvtt|tx3g|c608)\b/i;

  // ---- small helpers -------------------------------------------------------------------

  function num(v) {
    const n = typeof v === 'number' ? v : typeof v === 'string' && v.trim() !== '' ? Number(v) : NaN;
    return Number.isFinite(n) ? n : null;
  }

  function str(v) {
    return typeof v === 'string' ? v : '';
  }

  // The absolute address of a reference in a playlist: relative ones resolve against the
  // playlist's own address. "" when neither makes an address (a playlist read from a
  // blob: or data: address holding a relative reference).
  function absolute(uri, base) {
    if (typeof uri !== 'string' || uri === '') return '';
    try {
      return new URL(uri, base || undefined).href;
    } catch (e) {
      return '';
    }
  }

  function codecList(codecs) {
    return str(codecs)
      .split(',')
      .map((c) => c.trim())
      .filter((c) => c !== '');
  }

  // What a variant carries, from its codecs when they tell, else from its resolution.
  function kindFromCodecs(codecs, hasResolution) {
    const list = codecList(codecs);
    const video = list.some((c) => VIDEO_CODECS.test(c));
    const audio = list.some((c) => AUDIO_CODECS.test(c));
    if (video || hasResolution) return 'video';
    if (audio) return 'audio';
    if (list.length > 0 && list.every((c) => TEXT_CODECS.test(c))) return 'subtitles';
    return 'video';
  }

  function failure(format, url, reason, message) {
    return { ok: false, format, url, reason, message };
  }

  // The words for a DRM system in every note and export.
  function drmNote(systems) {
    const names = Array.from(new Set(systems)).join(', ');
    return 'Protected by DRM (' + names + '): it cannot be downloaded in a playable form.';
  }

  // ---- HLS -----------------------------------------------------------------------------

  // One key tag's meaning. A key of no key format (or "identity") is a plain key that any
  // client can fetch and decrypt with; every other key format belongs to a DRM system,
  // and so does a key served from an skd: address whatever its format says.
  function hlsKey(attrs, base) {
    const method = str(attrs.METHOD).toUpperCase() || 'AES-128';
    const uri = str(attrs.URI);
    const keyFormat = str(attrs.KEYFORMAT);
    const lower = keyFormat.toLowerCase();
    let system = '';
    if (/^skd:/i.test(uri) || lower === FAIRPLAY) system = 'FairPlay';
    else if (lower !== '' && lower !== 'identity') system = DRM_SYSTEMS.get(lower) || 'key format ' + keyFormat;
    return {
      method,
      url: system && !/^https?:/i.test(uri) ? '' : absolute(uri, base),
      uri,
      keyFormat,
      system,
      drm: system !== '',
      segments: 0,
    };
  }

  // Reads the key tags in order with the parsers' own line and tag readers, because the
  // playlist parser keeps only the key formats it plays itself. EXT-X-SESSION-KEY (in a
  // master playlist) is read as the key it announces. Counts for each key the segments it
  // applies to: a key replaces the earlier one of its key format, METHOD=NONE ends them
  // all.
  function hlsKeys(m3u8, text, base) {
    if (!/^#EXT-X-(SESSION-)?KEY:/m.test(text)) return [];
    // Only key tags and addresses matter here; the tag reader tries every tag it knows on
    // each line, so the rest is left out before it reads a long playlist a second time.
    const wanted = text.split(/\r?\n/).filter((l) => l !== '' && (l[0] !== '#' || /^#EXT-X-(SESSION-)?KEY:/.test(l)));
    const lines = new m3u8.LineStream();
    const tags = new m3u8.ParseStream();
    lines.pipe(tags);
    tags.addTagMapper({ expression: /^#EXT-X-SESSION-KEY:/, map: (line) => '#EXT-X-KEY:' + line.slice(19) });
    const keys = [];
    const seen = new Map();
    let active = new Map();
    tags.on('data', (entry) => {
      if (entry.type === 'uri') {
        for (const k of active.values()) k.segments++;
        return;
      }
      if (entry.type !== 'tag' || entry.tagType !== 'key' || !entry.attributes) return;
      const attrs = entry.attributes;
      if (str(attrs.METHOD).toUpperCase() === 'NONE') {
        active = new Map();
        return;
      }
      const k = hlsKey(attrs, base);
      const id = k.method + '\n' + k.uri + '\n' + k.keyFormat.toLowerCase();
      let kept = seen.get(id);
      if (!kept) {
        kept = k;
        seen.set(id, k);
        keys.push(k);
      }
      active.set(k.keyFormat.toLowerCase(), kept);
    });
    lines.push(wanted.join('\n'));
    lines.push('\n');
    return keys;
  }

  function hlsRenditions(manifest, base) {
    const groups = [];
    const types = [
      ['AUDIO', 'audio'],
      ['SUBTITLES', 'subtitles'],
      ['CLOSED-CAPTIONS', 'closed-captions'],
      ['VIDEO', 'video'],
    ];
    const media = manifest.mediaGroups || {};
    for (const [tag, type] of types) {
      const byId = media[tag] || {};
      for (const id of Object.keys(byId)) {
        const renditions = [];
        for (const name of Object.keys(byId[id] || {})) {
          const r = byId[id][name] || {};
          renditions.push({
            name,
            language: str(r.language),
            url: absolute(r.uri, base),
            default: r.default === true,
            autoselect: r.autoselect === true,
            forced: r.forced === true,
            instreamId: str(r.instreamId),
            seen: false,
          });
        }
        groups.push({ type, id, renditions });
      }
    }
    return groups;
  }

  function hlsVariant(p, index, base) {
    const a = p.attributes || {};
    const res = a.RESOLUTION || {};
    const width = num(res.width);
    const height = num(res.height);
    const group = (v) => (typeof v === 'string' && v !== '' && v !== 'NONE' ? v : '');
    return {
      index,
      kind: kindFromCodecs(a.CODECS, width !== null),
      url: absolute(p.uri, base),
      bandwidth: num(a.BANDWIDTH),
      averageBandwidth: num(a['AVERAGE-BANDWIDTH']),
      width,
      height,
      frameRate: num(a['FRAME-RATE']),
      codecs: str(a.CODECS),
      mimeType: '',
      lang: '',
      name: str(a.NAME),
      format: '',
      audio: group(a.AUDIO),
      subtitles: group(a.SUBTITLES),
      closedCaptions: group(a['CLOSED-CAPTIONS']),
      video: group(a.VIDEO),
      adaptationSet: -1,
      drm: [],
      seen: false,
    };
  }

  function readHls(m3u8, text, url) {
    const parser = new m3u8.Parser();
    // Keys of a DRM system are read by hlsKeys alone, and this parser takes their lines as
    // its own (a custom tag): it would decode their licence data, and data that is not
    // base64 would stop it reading the whole playlist.
    // The parser reports what it skipped as events; a playlist it cannot use shows in what
    // it made, so the events are not needed.
    parser.addParser({ expression: /^#EXT-X-KEY:.*KEYFORMAT="?(?!identity[",\s]|")/i, customType: 'drmKey', dataParser: () => true });
    parser.push(text);
    parser.end();
    const manifest = parser.manifest || {};
    const keys = hlsKeys(m3u8, text, url);
    const playlists = Array.isArray(manifest.playlists) ? manifest.playlists : [];
    const segments = Array.isArray(manifest.segments) ? manifest.segments : [];
    const drmSystems = keys.filter((k) => k.drm).map((k) => k.system);
    const notes = [];
    if (drmSystems.length) notes.push(drmNote(drmSystems));

    if (playlists.length > 0) {
      const variants = playlists.map((p, i) => hlsVariant(p, i, url));
      for (const v of variants) v.drm = drmSystems.slice();
      const iframes = Array.isArray(manifest.iFramePlaylists) ? manifest.iFramePlaylists.length : 0;
      return {
        ok: true,
        format: 'HLS',
        type: 'master',
        url,
        live: false,
        duration: null,
        segments: null,
        targetDuration: null,
        variants,
        groups: hlsRenditions(manifest, url),
        adaptationSets: [],
        keys,
        drm: Array.from(new Set(drmSystems)),
        downloadable: drmSystems.length === 0,
        iframes,
        notes,
      };
    }

    const looksMedia = segments.length > 0 || manifest.targetDuration !== undefined || manifest.endList === true;
    if (!looksMedia) return failure('HLS', url, 'malformed', 'Could not read the playlist: it names no variants and no segments.');
    let duration = 0;
    for (const s of segments) duration += num(s.duration) || 0;
    const type = str(manifest.playlistType).toUpperCase();
    const live = manifest.endList !== true && type !== 'VOD';
    const plain = keys.filter((k) => !k.drm);
    if (plain.some((k) => k.method === 'SAMPLE-AES'))
      notes.push('Encrypted with SAMPLE-AES: ffmpeg decrypts it with the key; some tools cannot.');
    else if (plain.some((k) => k.method === 'AES-128')) notes.push('Encrypted with AES-128: the tools fetch the key and decrypt it.');
    if (live) notes.push('Live: a download records from now until it is stopped.');
    return {
      ok: true,
      format: 'HLS',
      type: 'media',
      url,
      live,
      duration: Math.round(duration * 1000) / 1000,
      segments: segments.length,
      targetDuration: num(manifest.targetDuration),
      variants: [],
      groups: [],
      adaptationSets: [],
      keys,
      drm: Array.from(new Set(drmSystems)),
      downloadable: drmSystems.length === 0,
      iframes: 0,
      notes,
    };
  }

  // ---- DASH ----------------------------------------------------------------------------

  // Attributes written onto the document's nodes before the parser reads it, so that each
  // representation it reports says which adaptation set and which representation it came
  // from (a representation with several base addresses is reported once per address).
  const SET_MARK = 'trawlet-set';
  const REP_MARK = 'trawlet-rep';

  function childElements(node, name) {
    const out = [];
    for (let c = node.firstChild; c; c = c.nextSibling) if (c.nodeType === 1 && (c.localName || c.nodeName) === name) out.push(c);
    return out;
  }

  // The protection schemes of an element, read from the document itself: the parser keeps
  // only the schemes it knows, and decodes their licence data, which may be broken. The
  // nodes are then taken out, so that the parser does not read them again.
  function protection(el) {
    const nodes = childElements(el, 'ContentProtection');
    const systems = [];
    for (const cp of nodes) {
      const scheme = str(cp.getAttribute('schemeIdUri'));
      if (scheme.toLowerCase() !== MP4_PROTECTION) systems.push(DRM_SYSTEMS.get(scheme.toLowerCase()) || 'scheme ' + scheme);
      el.removeChild(cp);
    }
    // Common encryption alone still needs a key from somewhere the manifest does not say.
    if (nodes.length > 0 && systems.length === 0) systems.push('common encryption');
    return systems;
  }

  function contentTypeOf(attrs, mimeType, codecs) {
    const c = str(attrs.contentType).toLowerCase();
    if (c === 'video' || c === 'audio' || c === 'image') return c;
    if (c === 'text') return 'subtitles';
    const m = mimeType.toLowerCase();
    if (m.startsWith('video/')) return kindFromCodecs(codecs, true);
    if (m.startsWith('audio/')) return 'audio';
    if (m.startsWith('image/')) return 'image';
    if (m.startsWith('text/') || m === 'application/ttml+xml') return 'subtitles';
    return kindFromCodecs(codecs, false);
  }

  // A SegmentTemplate's media or initialization address as a pattern over absolute
  // addresses: its identifiers become what they stand for ($RepresentationID$,
  // $Bandwidth$) or any number ($Number$, $Time$, $SubNumber$, with or without a width).
  // Returns { prefix, exact, re }: re (and the prefix every match starts with, which is
  // cheaper to test first) when the template has a number, else the one address in exact;
  // null when it makes no absolute address.
  const TOKEN = 'zqtrawletnumzq';
  function templatePattern(template, rep, base) {
    if (typeof template !== 'string' || template === '') return null;
    let hasNumber = false;
    const filled = template.replace(/\$(RepresentationID|Number|Bandwidth|Time|SubNumber|)(?:%0?(\d+)[dxXiuo])?\$/g, (m, id, width) => {
      if (id === '') return '$';
      if (id === 'RepresentationID') return rep.format;
      if (id === 'Bandwidth') {
        const b = rep.bandwidth === null ? '' : String(rep.bandwidth);
        return width ? b.padStart(Number(width), '0') : b;
      }
      hasNumber = true;
      return TOKEN;
    });
    const resolved = absolute(filled, base);
    if (resolved === '') return null;
    const parts = resolved.split(TOKEN);
    const escape = (s) => s.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
    return {
      prefix: parts[0],
      exact: hasNumber ? '' : resolved,
      re: hasNumber ? new RegExp('^' + parts.map(escape).join('\\d+') + '$') : null,
    };
  }

  // What the scan would have loaded for one representation: its single file, its listed
  // segments, or addresses its template makes.
  function dashMatchers(info, rep) {
    const base = str(info.attributes.baseUrl);
    const seg = info.segmentInfo || {};
    const exact = [];
    const patterns = [];
    if (seg.template) {
      const t = seg.template;
      const init = t.initialization && (t.initialization.sourceURL || t.initialization);
      for (const x of [t.media, typeof init === 'string' ? init : '']) {
        const p = templatePattern(x, rep, base);
        if (p && p.re) patterns.push(p);
        else if (p) exact.push(p.exact);
      }
    } else if (seg.list) {
      const urls = Array.isArray(seg.list.segmentUrls) ? seg.list.segmentUrls : [];
      for (const u of urls) if (u && typeof u.media === 'string') exact.push(absolute(u.media, base));
      if (seg.list.initialization && seg.list.initialization.sourceURL) exact.push(absolute(seg.list.initialization.sourceURL, base));
      if (urls.length === 0 && base) exact.push(base);
    } else if (base) {
      exact.push(base);
    }
    return { exact: exact.filter((u) => u !== ''), patterns };
  }

  function readDash(mpd, text, url) {
    let doc;
    try {
      doc = mpd.stringToMpdXml(text);
    } catch (e) {
      return failure('DASH', url, 'malformed', 'Could not read the manifest: it is not a well-formed DASH manifest.');
    }
    // Marks and protection first, from the document as written.
    const sets = [];
    const periods = childElements(doc, 'Period');
    periods.forEach((period, p) => {
      for (const as of childElements(period, 'AdaptationSet')) {
        const index = sets.length;
        as.setAttribute(SET_MARK, String(index));
        const set = {
          index,
          period: p,
          periodId: str(period.getAttribute('id')),
          id: str(as.getAttribute('id')),
          contentType: '',
          mimeType: str(as.getAttribute('mimeType')),
          lang: str(as.getAttribute('lang')),
          label: '',
          drm: protection(as),
          representations: [],
          repDrm: [],
        };
        childElements(as, 'Representation').forEach((r, i) => {
          r.setAttribute(REP_MARK, String(i));
          set.repDrm.push(protection(r));
        });
        sets.push(set);
      }
    });
    let infos;
    try {
      infos = mpd.inheritAttributes(doc, { manifestUri: url });
    } catch (e) {
      const msg = String(e && e.message);
      if (/PERIOD/.test(msg)) return failure('DASH', url, 'malformed', 'Could not read the manifest: it has no Period.');
      return failure('DASH', url, 'malformed', 'Could not read the manifest: it is not a well-formed DASH manifest.');
    }
    infos = infos && Array.isArray(infos.representationInfo) ? infos.representationInfo : [];
    const top = infos.length ? infos[0].attributes : {};
    const type = str(top.type || doc.getAttribute('type')) || 'static';
    const variants = [];
    const byKey = new Map();
    for (const info of infos) {
      const a = info.attributes || {};
      const set = sets[Number(a[SET_MARK])];
      if (!set) continue;
      const key = a[SET_MARK] + '/' + a[REP_MARK];
      let v = byKey.get(key);
      if (v) {
        // Another base address of a representation already read: one more way to see it.
        const more = dashMatchers(info, v);
        v.matchers.exact.push(...more.exact);
        v.matchers.patterns.push(...more.patterns);
        continue;
      }
      const mimeType = str(a.mimeType);
      const codecs = str(a.codecs);
      const drm = set.drm.concat(set.repDrm[Number(a[REP_MARK])] || []);
      v = {
        index: variants.length,
        kind: contentTypeOf(a, mimeType, codecs),
        // Only a representation that is one file has an address of its own; one made of
        // segments is loaded through the manifest.
        url: info.segmentInfo && (info.segmentInfo.template || info.segmentInfo.list) ? '' : str(a.baseUrl),
        bandwidth: num(a.bandwidth),
        averageBandwidth: null,
        width: num(a.width),
        height: num(a.height),
        frameRate: num(a.frameRate),
        codecs,
        mimeType,
        lang: str(a.lang),
        name: str(a.label),
        format: a.id === undefined || a.id === null ? '' : String(a.id),
        audio: '',
        subtitles: '',
        closedCaptions: '',
        video: '',
        adaptationSet: set.index,
        drm: Array.from(new Set(drm)),
        seen: false,
        matchers: null,
      };
      v.matchers = dashMatchers(info, v);
      byKey.set(key, v);
      variants.push(v);
      set.representations.push(v.index);
      if (!set.contentType) set.contentType = v.kind;
      if (!set.label) set.label = str(a.label);
      if (!set.mimeType) set.mimeType = mimeType;
    }
    const drmSystems = [];
    for (const v of variants) drmSystems.push(...v.drm);
    const notes = [];
    if (drmSystems.length) notes.push(drmNote(drmSystems));
    const live = type === 'dynamic';
    if (live) notes.push('Live: a download records from now until it is stopped.');
    const duration = num(top.mediaPresentationDuration);
    return {
      ok: true,
      format: 'DASH',
      type: 'manifest',
      url,
      live,
      duration: live ? null : duration,
      segments: null,
      targetDuration: null,
      variants: variants.map((v) => {
        const out = Object.assign({}, v);
        delete out.matchers;
        return out;
      }),
      // Kept out of the variants themselves so that a variant stays plain data; markSeen
      // reads them, and they are rebuilt by reading the manifest again.
      matchers: variants.map((v) => ({
        exact: v.matchers.exact,
        patterns: v.matchers.patterns.map((p) => ({ prefix: p.prefix, source: p.re.source })),
      })),
      groups: [],
      adaptationSets: sets.map((s) => ({
        index: s.index,
        period: s.period,
        periodId: s.periodId,
        id: s.id,
        contentType: s.contentType,
        mimeType: s.mimeType,
        lang: s.lang,
        label: s.label,
        drm: Array.from(new Set(s.drm.concat(...s.repDrm))),
        representations: s.representations,
      })),
      keys: [],
      drm: Array.from(new Set(drmSystems)),
      downloadable: drmSystems.length === 0,
      iframes: 0,
      notes,
    };
  }

  // ---- reading -------------------------------------------------------------------------

  // Reads what the native side sent to "addResultBody": { url, body } or { url, body: null,
  // tooLarge: true } or { url, body: null, error }. Always answers a model, never throws:
  // { ok: true, format: "HLS" | "DASH", type: "master" | "media" | "manifest", ... } or
  // { ok: false, format, url, reason, message } with a sentence a person can read.
  function read(message) {
    const m = message && typeof message === 'object' ? message : {};
    const url = str(m.url);
    const hint = str(m.format);
    if (m.tooLarge === true)
      return failure(hint, url, 'too-large', 'Could not read the playlist: it is larger than ' + BODY_LIMIT_TEXT + ', so its text was not kept.');
    if (typeof m.error === 'string' && m.error !== '') return failure(hint, url, 'error', 'Could not read the playlist: ' + m.error);
    if (typeof m.body !== 'string') return failure(hint, url, 'empty', 'Could not read the playlist: its text did not arrive.');
    const text = m.body.charCodeAt(0) === 0xfeff ? m.body.slice(1) : m.body;
    const head = text.slice(0, 4096).trimStart();
    const mpdElement = /<([A-Za-z_][\w.-]*:)?MPD[\s>]/;
    let format = '';
    if (head.startsWith('#EXTM3U')) format = 'HLS';
    else if (mpdElement.test(head) || (head.startsWith('<') && mpdElement.test(text))) format = 'DASH';
    if (!format) {
      if (text.trim() === '') return failure(hint, url, 'empty', 'Could not read the playlist: it is empty.');
      return failure(hint, url, 'malformed', 'Could not read the playlist: it is neither an HLS playlist nor a DASH manifest.');
    }
    const parser = format === 'HLS' ? globalObject.m3u8Parser : globalObject.mpdParser;
    if (!parser) return failure(format, url, 'error', 'Could not read the playlist: the playlist reader is not loaded.');
    try {
      return format === 'HLS' ? readHls(parser, text, url) : readDash(parser, text, url);
    } catch (e) {
      return failure(format, url, 'malformed', 'Could not read the playlist: ' + (format === 'HLS' ? 'the HLS' : 'the DASH') + ' reader gave up on it.');
    }
  }

  // ---- what the scan saw ---------------------------------------------------------------

  // Marks each variant (and each HLS rendition) as seen when the list holds what a player
  // loads for it: for HLS its media playlist, for DASH its file, a listed segment or an
  // address its template makes. addresses: any iterable of row addresses (fragments do not
  // count), or a Set of addresses already without fragments (record.addressKey), which is
  // used as it is, so that one Set of a long list serves every playlist; so is a Map keyed
  // by such addresses (the list's own index of its entries). Returns a copy of the model
  // with "seen" set and "seenCount"; the model given is left as it was.
  function markSeen(model, addresses) {
    if (!model || model.ok !== true) return model;
    let rows = addresses;
    if (!(addresses instanceof Set) && !(addresses instanceof Map)) {
      rows = new Set();
      for (const a of addresses || []) if (typeof a === 'string') rows.add(record.addressKey(a));
    }
    const out = Object.assign({}, model);
    const key = (u) => (u ? record.addressKey(u) : '');
    if (model.format === 'HLS') {
      out.variants = model.variants.map((v) => Object.assign({}, v, { seen: v.url !== '' && rows.has(key(v.url)) }));
      out.groups = model.groups.map((g) =>
        Object.assign({}, g, { renditions: g.renditions.map((r) => Object.assign({}, r, { seen: r.url !== '' && rows.has(key(r.url)) })) }),
      );
    } else {
      const matchers = (model.matchers || []).map((m) => ({
        exact: m.exact.map(key),
        patterns: m.patterns.map((p) => ({ prefix: p.prefix, re: new RegExp(p.source) })),
      }));
      const seen = new Array(model.variants.length).fill(false);
      for (const [i, m] of matchers.entries()) if (m.exact.some((u) => rows.has(u))) seen[i] = true;
      if (matchers.some((m) => m.patterns.length)) {
        for (const row of rows.keys()) {
          for (const [i, m] of matchers.entries()) {
            if (seen[i]) continue;
            for (const p of m.patterns) {
              if (row.startsWith(p.prefix) && p.re.test(row)) {
                seen[i] = true;
                break;
              }
            }
          }
        }
      }
      out.variants = model.variants.map((v, i) => Object.assign({}, v, { seen: seen[i] === true }));
    }
    out.seenCount = out.variants.filter((v) => v.seen).length;
    return out;
  }

  // ---- words ---------------------------------------------------------------------------

  function rate(bits) {
    if (bits === null) return '';
    if (bits >= 1e6) return (Math.round(bits / 1e4) / 100).toFixed(2) + ' Mbit/s';
    if (bits < 1000) return Math.round(bits) + ' bit/s';
    return Math.round(bits / 1000) + ' kbit/s';
  }

  // One line that tells a variant from its neighbours: "1280x720, 3.00 Mbit/s, 30 fps,
  // avc1.64001f,mp4a.40.2".
  function describe(v) {
    const parts = [];
    if (v.width !== null && v.height !== null) parts.push(v.width + 'x' + v.height);
    else if (v.kind !== 'video') parts.push(v.kind);
    if (v.bandwidth !== null) parts.push(rate(v.bandwidth));
    if (v.frameRate !== null) parts.push(Math.round(v.frameRate * 1000) / 1000 + ' fps');
    if (v.codecs) parts.push(v.codecs);
    if (v.lang) parts.push(v.lang);
    if (v.name) parts.push(v.name);
    if (v.drm.length) parts.push('DRM');
    return parts.join(', ') || 'variant ' + (v.index + 1);
  }

  // ---- commands ------------------------------------------------------------------------

  // A header set as { name: value } (or as [name, value] pairs, the order the engine sent
  // them). A name that is not an HTTP token or a value with a line break or NUL could
  // start a header of its own inside a command: left out, and named in "skipped".
  function headerLines(headers) {
    const pairs = Array.isArray(headers) ? headers : headers && typeof headers === 'object' ? Object.entries(headers) : [];
    const lines = [];
    const skipped = [];
    for (const p of pairs) {
      if (!Array.isArray(p) || p.length < 2) continue;
      const name = String(p[0]);
      const value = String(p[1]);
      if (!/^[!#$%&'*+.^_`|~0-9A-Za-z-]+$/.test(name) || /[\r\n\0]/.test(value)) skipped.push(name);
      else lines.push([name, value]);
    }
    return { lines, skipped };
  }

  const q = (w) => exporting.shellQuote(w);

  // ffmpeg's -headers takes one value with the header lines separated by CR LF. The
  // command is to be pasted into a terminal, where a CR inside quotes would not survive,
  // so printf makes the CR LF pairs from its format (POSIX printf, as dash has it). The
  // last line gets no CR LF: command substitution would take its LF, and ffmpeg adds the
  // CR LF a header block lacks at its end itself (it warns that it did).
  function ffmpegHeaders(lines) {
    if (lines.length === 0) return [];
    const texts = lines.map(([n, v]) => n + ': ' + v);
    if (texts.length === 1) return ['-headers', q(texts[0])];
    const format = texts.map(() => '%s').join('\\r\\n');
    return ['-headers', '"$(printf \'' + format + '\' ' + texts.map(q).join(' ') + ')"'];
  }

  // yt-dlp takes each header as "Name:value".
  function ytdlpHeaders(lines) {
    const out = [];
    for (const [n, v] of lines) out.push('--add-header', q(n + ':' + v));
    return out;
  }

  // The output file's name: the playlist's own name and the quality, in characters that
  // need no quoting and cannot be taken for an option.
  function outputName(model, v, ext) {
    const path = record.pathOf(model.url || '');
    let base = decodeURIComponentSafe(path.slice(path.lastIndexOf('/') + 1)).replace(/\.[^.]*$/, '');
    base = base.replace(/[^A-Za-z0-9._-]+/g, '_').replace(/^[-._]+/, '').slice(0, 60) || 'stream';
    let quality = '';
    if (v) {
      if (v.height !== null && v.kind === 'video') quality = v.height + 'p';
      else if (v.format) quality = v.format.replace(/[^A-Za-z0-9._-]+/g, '_').slice(0, 40);
      else if (v.bandwidth !== null) quality = Math.round(v.bandwidth / 1000) + 'k';
      if (v.kind === 'audio' && !quality.includes('audio')) quality = 'audio-' + quality;
    }
    return base + (quality ? '-' + quality : '') + '.' + ext;
  }

  function decodeURIComponentSafe(s) {
    try {
      return decodeURIComponent(s);
    } catch (e) {
      return s;
    }
  }

  // The audio rendition a player picks for a variant whose audio comes separately: the
  // group's default, else its first one with an address.
  function separateAudio(model, v) {
    if (!v || !v.audio) return null;
    const g = model.groups.find((x) => x.type === 'audio' && x.id === v.audio);
    if (!g) return null;
    const withUrl = g.renditions.filter((r) => r.url !== '');
    return withUrl.find((r) => r.default) || withUrl[0] || null;
  }

  function line(words) {
    return words.join(' ') + '\n';
  }

  // The commands that download one quality of a stream: { ytdlp, ffmpeg, note, skipped }.
  // model: what read() gave; index: the chosen variant (ignored for an HLS media
  // playlist, which is one quality already); headers: the request headers to send (see
  // headerLines). A command the stream cannot have (DRM, subtitles, a variant without an
  // address) is "", and note says why in plain words.
  function commands(model, index, headers) {
    const empty = (note) => ({ ytdlp: '', ffmpeg: '', note, skipped: [] });
    if (!model || model.ok !== true) return empty(model && model.message ? model.message : 'Could not read the playlist.');
    const { lines, skipped } = headerLines(headers);
    const ytdlp = exporting.TOOLS.media.words.join(' ');
    const yh = ytdlpHeaders(lines);
    const fh = ffmpegHeaders(lines);
    const notes = [];
    if (model.live) notes.push('Live: the commands record until they are stopped (Ctrl+C).');
    const done = (y, f) => ({ ytdlp: y, ffmpeg: f, note: notes.join(' '), skipped });

    if (model.format === 'HLS' && model.type === 'media') {
      if (model.drm.length) return empty(drmNote(model.drm));
      if (!/^https?:/i.test(model.url)) return empty('The playlist has no address the tools can load.');
      const name = outputName(model, null, 'mp4');
      return done(line([ytdlp].concat(yh, ['--', q(model.url)])), line(['ffmpeg'].concat(fh, ['-i', q(model.url), '-c', 'copy', name])));
    }

    const v = model.variants[index];
    if (!v) return empty('Choose a variant first.');
    if (v.drm.length) return empty(drmNote(v.drm));
    if (v.kind === 'subtitles' || v.kind === 'image') return empty('Only video and audio variants have download commands.');
    const ext = v.kind === 'audio' ? 'm4a' : 'mp4';
    const name = outputName(model, v, ext);

    if (model.format === 'HLS') {
      if (!/^https?:/i.test(v.url)) return empty('The variant has no address the tools can load.');
      const audio = separateAudio(model, v);
      const y = line([ytdlp].concat(yh, ['--', q(v.url)]));
      let f;
      if (audio) {
        notes.push('Its audio is a separate rendition (' + (audio.name || audio.language) + '): the ffmpeg command takes both; the media downloader gets the video only.');
        f = line(['ffmpeg'].concat(fh, ['-i', q(v.url)], fh, ['-i', q(audio.url), '-map', '0:v', '-map', '1:a', '-c', 'copy', name]));
      } else {
        f = line(['ffmpeg'].concat(fh, ['-i', q(v.url), '-c', 'copy', name]));
      }
      return done(y, f);
    }

    // DASH: the manifest with the representation chosen. yt-dlp names a manifest's formats
    // by their representation ids; ffmpeg numbers the streams of each type in the order of
    // the manifest.
    if (!/^https?:/i.test(model.url)) return empty('The manifest has no address the tools can load.');
    if (v.format === '') return empty('The representation has no id to choose it by.');
    const hasAudio = model.variants.some((x) => x.kind === 'audio' && x.drm.length === 0);
    const formats = v.kind === 'video' && hasAudio ? v.format + '+bestaudio/' + v.format : v.format;
    const y = line([ytdlp].concat(yh, ['-f', q(formats), '--', q(model.url)]));
    const sameKind = model.variants.filter((x) => x.kind === v.kind);
    const n = sameKind.indexOf(model.variants.find((x) => x.index === v.index));
    const maps = v.kind === 'audio' ? ['-map', '0:a:' + n] : ['-map', '0:v:' + n].concat(hasAudio ? ['-map', q('0:a:0?')] : []);
    const f = line(['ffmpeg'].concat(fh, ['-i', q(model.url)], maps, ['-c', 'copy', name]));
    return done(y, f);
  }

  // ---- exports -------------------------------------------------------------------------

  // A model's variants as plain JSON values, for the "variants" array under a playlist's
  // row in a JSON export.
  function variantsJson(model) {
    if (!model || model.ok !== true) return [];
    return model.variants.map((v) => ({
      kind: v.kind,
      description: describe(v),
      url: v.url,
      format: v.format || null,
      bandwidth: v.bandwidth,
      averageBandwidth: v.averageBandwidth,
      width: v.width,
      height: v.height,
      frameRate: v.frameRate,
      codecs: v.codecs,
      mimeType: v.mimeType,
      lang: v.lang,
      name: v.name,
      audio: v.audio || null,
      subtitles: v.subtitles || null,
      closedCaptions: v.closedCaptions || null,
      drm: v.drm.slice(),
      seen: v.seen === true,
    }));
  }

  // A model's variants as export items (the shape of the list's own export items), marked
  // as variants by their kind and by "variantOf", the playlist's address. CSV and text
  // exports put them right below their playlist's row.
  function variantItems(model) {
    if (!model || model.ok !== true) return [];
    return model.variants.map((v) => ({
      fileName: describe(v),
      mimeType: v.mimeType || (model.format === 'HLS' ? 'application/vnd.apple.mpegurl' : ''),
      size: 'unknown',
      bytes: -1,
      kind: 'variant',
      playlist: '',
      segment: false,
      hits: v.seen ? 1 : 0,
      firstSeen: '',
      lastSeen: '',
      url: v.url,
      variant: true,
      variantOf: model.url,
    }));
  }

  // Export items with each read playlist's variants: for CSV and text, variant items
  // below their playlist's item; for JSON (nested true), a "variants" array on the
  // playlist's item instead. modelFor(url) answers the model read for a playlist's address
  // (or nothing). The items given are not changed.
  function withVariants(items, modelFor, nested) {
    const out = [];
    for (const it of items) {
      const model = it && it.playlist && typeof modelFor === 'function' ? modelFor(it.url) : null;
      if (!model || model.ok !== true || model.variants.length === 0) {
        out.push(it);
        continue;
      }
      if (nested) out.push(Object.assign({}, it, { variants: variantsJson(model) }));
      else out.push(it, ...variantItems(model));
    }
    return out;
  }

  // ---- the read playlists of a scan ----------------------------------------------------

  // The models of the playlists whose text arrived, by address (fragment ignored), the
  // latest text of an address replacing the earlier one. A page can load playlists
  // without end, so past "limit" the oldest are forgotten. take() accepts what
  // "addResultBody" is given (its JSON text, or the object) and answers the model, or null
  // for a message without an address.
  function createStore(options) {
    const limit = (options && options.limit) || 500;
    const models = new Map();
    function take(message) {
      let m = message;
      if (typeof m === 'string') {
        try {
          m = JSON.parse(m);
        } catch (e) {
          return null;
        }
      }
      if (!m || typeof m !== 'object' || typeof m.url !== 'string' || m.url === '') return null;
      const model = read(m);
      const key = record.addressKey(m.url);
      models.delete(key);
      models.set(key, model);
      while (models.size > limit) models.delete(models.keys().next().value);
      return model;
    }
    return {
      take,
      modelFor: (url) => (typeof url === 'string' ? models.get(record.addressKey(url)) || null : null),
      clear: () => models.clear(),
      get size() {
        return models.size;
      },
    };
  }

  return {
    read,
    createStore,
    markSeen,
    describe,
    rate,
    commands,
    headerLines,
    variantsJson,
    variantItems,
    withVariants,
    DRM_SYSTEMS,
  };
});
