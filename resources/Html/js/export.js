// Turning rows into text for other programs: shell command lines, CSV, plain text, JSON
// and HAR. Classic script (window.Trawlet.exporting) and CommonJS module.
(function (root, factory) {
  'use strict';
  const node = typeof module === 'object' && module.exports;
  const api = factory(node ? require('./details.js') : root.Trawlet.details);
  if (node) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).exporting = api;
})(typeof self !== 'undefined' ? self : this, function (details) {
  'use strict';

  // Quotes one word for a POSIX shell. Words made only of characters that no shell
  // treats specially stay as they are; everything else goes in single quotes, inside
  // which nothing is special except the single quote itself, written as '\''.
  // Newlines, $, `, \, &, ; and blanks are all safe inside single quotes. A word with a
  // NUL character cannot be passed to a program at all: null.
  function shellQuote(word) {
    const s = String(word);
    if (s.indexOf('\0') >= 0) return null;
    if (s === '') return "''";
    if (/^[A-Za-z0-9_@%+=:,./-]+$/.test(s)) return s;
    return "'" + s.replace(/'/g, "'\\''") + "'";
  }

  // The download tools offered. curl gets --fail so that a refusal (403, 404) ends with an
  // error instead of being saved under the file's name as if it were the file, as wget and
  // yt-dlp already do. It gets --globoff because it would otherwise expand
  // [..] and {..} inside addresses; the other two stop reading options at "--", so an
  // address can never be taken for an option. curl has no such marker: an address that
  // starts with a minus is given through --url. header gives the words that send one
  // request header. curl takes addresses with other headers in the same command after
  // --next, which starts its options over; wget and yt-dlp get one command per header
  // set. yt-dlp reads the value from right after the colon, so no blank goes there.
  const TOOLS = {
    curl: {
      label: 'curl',
      words: ['curl', '--fail', '--location', '--globoff', '--remote-name-all'],
      header: (name, value) => ['-H', name + ': ' + value],
      endOfOptions: false,
      next: true,
    },
    wget: { label: 'wget', words: ['wget'], header: (name, value) => ['--header=' + name + ': ' + value], endOfOptions: true, next: false },
    media: { label: 'media downloader', words: ['yt-dlp'], header: (name, value) => ['--add-headers', name + ':' + value], endOfOptions: true, next: false },
  };

  // The addresses grouped by the headers they are sent with, in the order each header set
  // first comes. A target is an address or { url, headers: [[name, value], ...] }.
  // Addresses that cannot be passed (empty, or holding a NUL) are counted, and so are
  // headers (a NUL), which are then left out.
  function headerSets(targets) {
    const sets = new Map();
    let skipped = 0;
    for (const target of targets) {
      const url = typeof target === 'string' ? target : target && target.url;
      const q = typeof url === 'string' && url !== '' ? shellQuote(url) : null;
      if (q === null) {
        skipped++;
        continue;
      }
      const headers = [];
      const given = target && Array.isArray(target.headers) ? target.headers : [];
      for (const h of given) {
        if (Array.isArray(h) && typeof h[0] === 'string' && typeof h[1] === 'string' && h[0] !== '' && (h[0] + h[1]).indexOf('\0') < 0)
          headers.push([h[0], h[1]]);
      }
      const key = JSON.stringify(headers);
      let set = sets.get(key);
      if (!set) sets.set(key, (set = { headers, urls: [] }));
      set.urls.push(url);
    }
    return { sets: Array.from(sets.values()), skipped };
  }

  // The pieces of one command (or of one curl operation): the tool's words, then each
  // header, then the addresses, each piece on a continued line of its own unless the
  // command is one word and one address.
  function commandPieces(t, set, first) {
    const head = (first ? t.words : ['--next'].concat(t.words.slice(1))).join(' ');
    const pieces = [head];
    for (const [name, value] of set.headers) pieces.push(t.header(name, value).map(shellQuote).join(' '));
    if (t.endOfOptions) pieces[pieces.length - 1] += ' --';
    for (const u of set.urls) pieces.push(!t.endOfOptions && u[0] === '-' ? '--url ' + shellQuote(u) : shellQuote(u));
    return pieces;
  }

  function joinPieces(pieces) {
    return pieces.join(pieces.length > 2 ? ' \\\n  ' : ' ');
  }

  // The command text that downloads all the targets (see headerSets), quoted for a POSIX
  // shell: one command, or one command per header set, each on its own line. Returns
  // { text, count, skipped, sets }: text is "" when no address can be passed.
  function commandLine(tool, targets) {
    const t = TOOLS[tool];
    if (!t) throw new Error('unknown tool ' + tool);
    const g = headerSets(targets);
    const count = g.sets.reduce((n, set) => n + set.urls.length, 0);
    if (count === 0) return { text: '', count: 0, skipped: g.skipped, sets: 0 };
    let text;
    if (t.next) {
      let pieces = [];
      g.sets.forEach((set, i) => (pieces = pieces.concat(commandPieces(t, set, i === 0))));
      text = joinPieces(pieces) + '\n';
    } else text = g.sets.map((set) => joinPieces(commandPieces(t, set, true)) + '\n').join('');
    return { text, count, skipped: g.skipped, sets: g.sets.length };
  }

  // One CSV field as RFC 4180 asks: quoted when it holds a comma, a quotation mark, CR
  // or LF, with quotation marks doubled. A field that a spreadsheet would run as a
  // formula (it starts with =, +, -, @, tab or CR) gets a leading apostrophe first:
  // records come from pages we do not control.
  function csvField(value) {
    let s = value == null ? '' : String(value);
    if (/^[=+\-@\t\r]/.test(s)) s = "'" + s;
    if (/[",\r\n]/.test(s)) s = '"' + s.replace(/"/g, '""') + '"';
    return s;
  }

  // The columns every export carries, in this order: [key, header].
  const COLUMNS = [
    ['fileName', 'File name'],
    ['mimeType', 'Type'],
    ['size', 'Size'],
    ['bytes', 'Bytes'],
    ['kind', 'Kind'],
    ['hits', 'Hits'],
    ['firstSeen', 'First seen'],
    ['lastSeen', 'Last seen'],
    ['url', 'Address'],
  ];

  function cell(item, key) {
    const v = item[key];
    if (key === 'bytes') return typeof v === 'number' && v >= 0 ? String(v) : '';
    return v == null ? '' : String(v);
  }

  // CSV with a header line and CRLF line ends, as RFC 4180 describes.
  function toCsv(items) {
    const lines = [COLUMNS.map((c) => csvField(c[1])).join(',')];
    for (const it of items) lines.push(COLUMNS.map((c) => csvField(cell(it, c[0]))).join(','));
    return lines.join('\r\n') + '\r\n';
  }

  // Plain text: a header line, then one line per row with tab-separated fields. Tabs and
  // line breaks inside a field become blanks so that every row stays one line.
  function toText(items) {
    const flat = (s) => s.replace(/[\t\r\n]+/g, ' ');
    const lines = [COLUMNS.map((c) => c[1]).join('\t')];
    for (const it of items) lines.push(COLUMNS.map((c) => flat(cell(it, c[0]))).join('\t'));
    return lines.join('\n') + '\n';
  }

  function toJson(items) {
    const out = items.map((it) => {
      const o = {};
      for (const [key] of COLUMNS) {
        if (key === 'bytes') o.bytes = typeof it.bytes === 'number' && it.bytes >= 0 ? it.bytes : null;
        else if (key === 'hits') o.hits = typeof it.hits === 'number' ? it.hits : 1;
        else o[key] = it[key] == null ? '' : String(it[key]);
      }
      if (it.playlist) o.playlist = String(it.playlist);
      if (it.segment) o.segment = true;
      // What a playlist offers, when its text was read (streams.withVariants): plain values.
      if (Array.isArray(it.variants)) o.variants = it.variants;
      return o;
    });
    return JSON.stringify(out, null, 2) + '\n';
  }

  // The query of an address as HAR lists it, decoded where it can be.
  function queryOf(url) {
    const q = url.indexOf('?');
    if (q < 0) return [];
    const h = url.indexOf('#', q);
    const out = [];
    const decode = (x) => {
      try {
        return decodeURIComponent(x.replace(/\+/g, ' '));
      } catch (e) {
        return x;
      }
    };
    for (const part of url.slice(q + 1, h < 0 ? url.length : h).split('&')) {
      if (part === '') continue;
      const eq = part.indexOf('=');
      out.push({ name: decode(eq >= 0 ? part.slice(0, eq) : part), value: eq >= 0 ? decode(part.slice(eq + 1)) : '' });
    }
    return out;
  }

  const PAGE_ID = 'page_1';

  // One HAR entry. HAR wants send, wait and receive as durations: the program tells when
  // the request started and when its response arrived, which is the wait; what is not
  // known there counts as 0, so that time stays their sum, and the times HAR lets be
  // unknown are -1.
  function harEntry(it, start, o) {
    const d = it.details || null;
    const keep = (name) => o.withCredentials || !details.isCredential(name);
    const list = (flat) => {
      const out = [];
      for (let i = 0; i < flat.length; i += 2) if (keep(flat[i])) out.push({ name: flat[i], value: flat[i + 1] });
      return out;
    };
    const requestHeaders = d ? list(d.request) : [];
    const responseHeaders = d ? list(d.response) : [];
    let requestCookies = [];
    const responseCookies = [];
    if (o.withCredentials) {
      const cookie = o.cookies ? o.cookies.get(it.url) : '';
      if (cookie && !requestHeaders.some((h) => h.name.toLowerCase() === 'cookie')) requestHeaders.push({ name: 'Cookie', value: cookie });
      for (const h of requestHeaders) if (h.name.toLowerCase() === 'cookie') requestCookies = requestCookies.concat(details.parseCookieHeader(h.value));
      for (const h of responseHeaders) if (h.name.toLowerCase() === 'set-cookie') responseCookies.push(details.parseSetCookie(h.value));
    }
    const wait = d && d.started > 0 && d.received >= d.started ? d.received - d.started : 0;
    const entry = {
      pageref: PAGE_ID,
      startedDateTime: new Date(start).toISOString(),
      time: wait,
      request: {
        method: d && d.method ? d.method : 'GET',
        url: it.url,
        httpVersion: '',
        cookies: requestCookies,
        headers: requestHeaders,
        queryString: queryOf(it.url),
        headersSize: -1,
        bodySize: -1,
      },
      response: {
        status: d ? d.status : 0,
        statusText: d ? d.statusText : '',
        httpVersion: '',
        cookies: responseCookies,
        headers: responseHeaders,
        content: { size: d && d.length >= 0 ? d.length : -1, mimeType: it.mimeType || '' },
        redirectURL: d && d.redirectTo ? d.redirectTo : '',
        headersSize: -1,
        bodySize: -1,
      },
      cache: {},
      timings: { blocked: -1, dns: -1, connect: -1, ssl: -1, send: 0, wait, receive: 0 },
    };
    // What a playlist offers (streams.withVariants), as HAR's custom fields are named.
    if (Array.isArray(it.variants)) entry._variants = it.variants;
    if (!d) entry.comment = 'The program told only the address, type and size of this response.';
    else if (d.saved) entry.comment = 'From a saved scan, which keeps no headers or times.';
    return entry;
  }

  // HAR 1.2 (one page, the scan, and one entry per item, oldest first). o: { title (the
  // scanned address), started (when the scan started, ms), withCredentials (keep the
  // Cookie, Set-Cookie and Authorization headers, off unless the user asks), cookies (a
  // Map from address to the Cookie header of the moment, with credentials only), now
  // (ms, when nothing else says when the page started) }.
  function toHar(items, options) {
    const o = options || {};
    const startOf = (it) => {
      const d = it.details;
      if (d && d.started > 0) return d.started;
      return it.seen > 0 ? it.seen : 0;
    };
    let first = Infinity;
    for (const it of items) {
      const t = startOf(it);
      if (t > 0 && t < first) first = t;
    }
    const pageStart = o.started > 0 ? o.started : Number.isFinite(first) ? first : o.now > 0 ? o.now : Date.now();
    const entries = items
      .map((it, i) => ({ it, i, t: startOf(it) || pageStart }))
      .sort((a, b) => a.t - b.t || a.i - b.i)
      .map((x) => harEntry(x.it, x.t, o));
    const har = {
      log: {
        version: '1.2',
        creator: { name: 'Trawlet', version: String(o.version || '') },
        pages: [
          {
            startedDateTime: new Date(pageStart).toISOString(),
            id: PAGE_ID,
            title: String(o.title || 'Trawlet scan'),
            pageTimings: { onContentLoad: -1, onLoad: -1 },
          },
        ],
        entries,
      },
    };
    return JSON.stringify(har, null, 2) + '\n';
  }

  const FORMATS = {
    text: { label: 'Text', ext: 'txt', mime: 'text/plain', make: toText },
    csv: { label: 'CSV', ext: 'csv', mime: 'text/csv', make: toCsv },
    json: { label: 'JSON', ext: 'json', mime: 'application/json', make: toJson },
    har: { label: 'HAR', ext: 'har', mime: 'application/json', make: toHar },
  };

  function pad(n) {
    return (n < 10 ? '0' : '') + n;
  }

  // "trawlet-20250131-142501.csv", in local time.
  function exportFileName(format, date) {
    const d = date || new Date();
    const stamp =
      d.getFullYear() + pad(d.getMonth() + 1) + pad(d.getDate()) + '-' + pad(d.getHours()) + pad(d.getMinutes()) + pad(d.getSeconds());
    return 'trawlet-' + stamp + '.' + FORMATS[format].ext;
  }

  return { shellQuote, headerSets, commandLine, csvField, toCsv, toText, toJson, toHar, queryOf, TOOLS, FORMATS, COLUMNS, exportFileName };
});
