// What the program tells about a response beyond its record ("addResultDetails"): the
// request's method and headers, the status, the response headers, the exact length, the
// times and the window. This module reads that text defensively, keeps it small, and
// gives the pieces that the commands, the details pane, the history and the HAR export
// take from it. Classic script (window.Trawlet.details) and CommonJS module.
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).details = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  // Limits of what is read: the texts come from the program but describe what a page we
  // do not control sent and received, and a list holds many thousands of them.
  const TEXT_LIMIT = 1 << 20;
  const MAX_HEADERS = 200;
  const NAME_LIMIT = 256;
  const VALUE_LIMIT = 16384;
  const URL_LIMIT = 100000;

  // Headers that carry credentials: the pane masks them until asked, the HAR export leaves
  // them out unless asked, and commands carry the first two only while the switch says so.
  const CREDENTIAL_HEADERS = new Set(['cookie', 'authorization', 'set-cookie', 'proxy-authorization']);

  // The request headers a command sends again, in the order it writes them. The Cookie
  // header is not among the engine's request headers (its network process adds it): the
  // command takes it from the service's "cookies" instead.
  const COMMAND_HEADERS = ['Referer', 'Origin', 'User-Agent', 'Authorization'];

  const EMPTY = [];

  // Keeps one copy of strings that many responses share. JSON.parse makes a new string
  // for every occurrence, and 20,000 responses with a kilobyte of headers each would
  // otherwise hold the same header names, user agent and referer 20,000 times. Looking a
  // string up costs time, and values that differ in every response (dates, tags, request
  // ids) would only fill the pool: so the pool counts, per header name, how often a value
  // was found, and stops looking up the values of a header that hardly ever repeat. When
  // full it starts afresh: the strings it handed out stay shared, and common ones come
  // back at once. Request header lists are shared as a whole with one of the lists seen
  // last that is the same, since most requests of a page send the same headers; the lists
  // handed out are shared, so nobody may change them.
  function createPool(limit) {
    const max = limit > 0 ? limit : 16384;
    const texts = new Map();
    const names = new Map();
    const recent = [];
    function text(s) {
      if (s.length > 2048) return s;
      const got = texts.get(s);
      if (got !== undefined) return got;
      if (texts.size >= max) texts.clear();
      texts.set(s, s);
      return s;
    }
    function value(name, s) {
      let seen = names.get(name);
      if (seen === undefined) {
        if (names.size >= 1024) return s;
        names.set(name, (seen = { found: 0, missed: 0 }));
      }
      if (seen.missed > 64 && seen.found * 8 < seen.missed) return s;
      if (s.length > 2048) return s;
      const got = texts.get(s);
      if (got !== undefined) {
        seen.found++;
        return got;
      }
      seen.missed++;
      if (texts.size >= max) texts.clear();
      texts.set(s, s);
      return s;
    }
    function same(a, b) {
      if (a.length !== b.length) return false;
      for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
      return true;
    }
    function list(flat) {
      if (flat.length === 0) return EMPTY;
      for (let i = 0; i < recent.length; i++) {
        const l = recent[i];
        if (same(l, flat)) {
          if (i > 0) {
            recent.splice(i, 1);
            recent.unshift(l);
          }
          return l;
        }
      }
      recent.unshift(flat);
      if (recent.length > 16) recent.pop();
      return flat;
    }
    return { text, value, list };
  }

  const noPool = { text: (s) => s, value: (n, s) => s, list: (l) => l };

  // Headers as the program sends them ([[name, value], ...]) become one flat array
  // [name, value, name, value, ...]: one object per header set rather than one per header.
  // Entries that are not two strings, and empty or overlong names, are left out; overlong
  // values are cut.
  function readHeaders(raw, pool) {
    if (!Array.isArray(raw)) return [];
    const out = [];
    for (let i = 0; i < raw.length && out.length < 2 * MAX_HEADERS; i++) {
      const h = raw[i];
      if (!Array.isArray(h) || typeof h[0] !== 'string' || typeof h[1] !== 'string') continue;
      const name = h[0].trim();
      if (name === '' || name.length > NAME_LIMIT) continue;
      const n = pool.text(name);
      out.push(n, pool.value(n, h[1].length > VALUE_LIMIT ? h[1].slice(0, VALUE_LIMIT) : h[1]));
    }
    return out;
  }

  function shortText(v, max, pool) {
    return typeof v === 'string' && v.length <= max ? pool.text(v) : '';
  }

  // One details object; every object has the same members in the same order, so that the
  // engine keeps one shape for all of them.
  function makeDetails(url, v, pool) {
    return {
      url,
      id: Number.isSafeInteger(v.id) && v.id >= 0 ? v.id : -1,
      method: typeof v.method === 'string' && /^[A-Za-z-]{1,32}$/.test(v.method) ? pool.text(v.method) : '',
      status: Number.isInteger(v.status) && v.status >= 0 && v.status <= 999 ? v.status : 0,
      statusText: shortText(v.statusText, 256, pool),
      request: pool.list(readHeaders(v.requestHeaders, pool)),
      response: readHeaders(v.responseHeaders, pool),
      length: Number.isSafeInteger(v.length) && v.length >= 0 ? v.length : -1,
      started: Number.isFinite(v.started) && v.started > 0 ? v.started : 0,
      received: Number.isFinite(v.received) && v.received > 0 ? v.received : 0,
      window: Number.isInteger(v.window) && v.window >= 0 && v.window <= 1e6 ? v.window : 0,
      destination: typeof v.destination === 'string' && /^[a-z-]{1,32}$/.test(v.destination) ? pool.text(v.destination) : '',
      redirect: v.redirect === true,
      redirectTo: typeof v.redirectTo === 'string' && v.redirectTo.length <= URL_LIMIT ? v.redirectTo : null,
      saved: false,
    };
  }

  // Parses the text of one "addResultDetails" call. Anything that is not an object with a
  // string "url" is refused (null); every other member gets a defined value when missing
  // or of the wrong type: -1 for an unknown id or length, 0 for an unknown status or time,
  // "" for unknown texts, empty header lists. pool: createPool(), to share strings.
  function parseDetails(text, pool) {
    if (typeof text !== 'string' || text.length > TEXT_LIMIT) return null;
    let v;
    try {
      v = JSON.parse(text);
    } catch (e) {
      return null;
    }
    if (v === null || typeof v !== 'object' || Array.isArray(v) || typeof v.url !== 'string') return null;
    return makeDetails(v.url, v, pool || noPool);
  }

  // The first value of a header (name compared without case), or "" when it was not sent.
  function header(flat, name) {
    const lower = name.toLowerCase();
    for (let i = 0; i < flat.length; i += 2) if (flat[i].toLowerCase() === lower) return flat[i + 1];
    return '';
  }

  function pairs(flat) {
    const out = [];
    for (let i = 0; i < flat.length; i += 2) out.push([flat[i], flat[i + 1]]);
    return out;
  }

  function isCredential(name) {
    return CREDENTIAL_HEADERS.has(String(name).toLowerCase());
  }

  // A value no command may carry: the tools would send a broken header, or cut it.
  function unsendable(value) {
    return value === '' || /[\0\r\n]/.test(value);
  }

  // The headers a command sends for one address, as [[name, value], ...] in the order of
  // COMMAND_HEADERS and the Cookie header last. d: the address's details (null when the
  // program gave none: then only the cookie); cookie: the Cookie header the scan session
  // would send now ("" for none); withCredentials: false leaves Authorization and Cookie
  // out. userAgent stands in when the details name no User-Agent (the engine may add it
  // after the page sees the request, as it adds cookies).
  function commandHeaders(d, cookie, withCredentials, userAgent) {
    const out = [];
    if (d) {
      for (const name of COMMAND_HEADERS) {
        if (!withCredentials && name === 'Authorization') continue;
        let value = header(d.request, name);
        if (value === '' && name === 'User-Agent' && typeof userAgent === 'string') value = userAgent;
        if (!unsendable(value)) out.push([name, value]);
      }
    }
    if (withCredentials && typeof cookie === 'string' && !unsendable(cookie)) out.push(['Cookie', cookie]);
    return out;
  }

  // "a=1; b=2" as [{ name, value }], the way HAR lists a request's cookies.
  function parseCookieHeader(text) {
    const out = [];
    for (const part of String(text).split(';')) {
      const eq = part.indexOf('=');
      const name = (eq >= 0 ? part.slice(0, eq) : part).trim();
      if (name === '') continue;
      out.push({ name, value: eq >= 0 ? part.slice(eq + 1).trim() : '' });
    }
    return out;
  }

  // One Set-Cookie value as HAR describes a response cookie: name, value and the
  // attributes that were given.
  function parseSetCookie(text) {
    const parts = String(text).split(';');
    const first = parts.shift();
    const eq = first.indexOf('=');
    const c = { name: (eq >= 0 ? first.slice(0, eq) : first).trim(), value: eq >= 0 ? first.slice(eq + 1).trim() : '' };
    for (const p of parts) {
      const i = p.indexOf('=');
      const key = (i >= 0 ? p.slice(0, i) : p).trim().toLowerCase();
      const val = i >= 0 ? p.slice(i + 1).trim() : '';
      if (key === 'path' || key === 'domain') c[key] = val;
      else if (key === 'expires') {
        const t = Date.parse(val);
        if (Number.isFinite(t)) c.expires = new Date(t).toISOString();
      } else if (key === 'httponly') c.httpOnly = true;
      else if (key === 'secure') c.secure = true;
    }
    return c;
  }

  // What the history keeps of a response: its status, method, exact length and
  // destination, never its headers (a kilobyte per row would crowd out the scans, and
  // cookies are never written there). Answers null for no details.
  function toSaved(d) {
    return d ? [d.status, d.method, d.length, d.destination] : null;
  }
  function fromSaved(url, t, pool) {
    if (!Array.isArray(t)) return null;
    const d = makeDetails(url, { status: t[0], method: t[1], length: t[2], destination: t[3] }, pool || noPool);
    d.saved = true;
    return d;
  }

  const WINDOW_NAMES = (n) => (n === 0 ? 'the scan window' : 'additional window ' + n);

  // "14:05:09.123" in local time.
  function clockMs(t) {
    if (!(t > 0)) return '';
    const d = new Date(t);
    const p = (n, w) => String(n).padStart(w || 2, '0');
    return p(d.getHours()) + ':' + p(d.getMinutes()) + ':' + p(d.getSeconds()) + '.' + p(d.getMilliseconds(), 3);
  }

  // A header value as the pane shows it: credentials hidden behind their length until
  // the user asks for them.
  function shownValue(name, value, reveal) {
    if (reveal || !isCredential(name)) return { text: value, masked: false };
    return { text: '•••••• (' + value.length + (value.length === 1 ? ' character' : ' characters') + ')', masked: true };
  }

  // What the details pane shows for a row: { title, fields: [[label, text]], request,
  // response ([{ name, text, masked }]), masked (how many values are hidden), note }.
  // d: the details to show (null: none); reveal: credentials shown.
  function describe(row, d, reveal) {
    const title = row.type === 'group' ? row.fileName + ' in ' + row.url : row.fileName || row.url;
    const out = { title, fields: [], request: [], response: [], masked: 0, note: '' };
    const f = (label, text) => {
      if (text !== '') out.fields.push([label, text]);
    };
    if (row.type === 'group') out.note = 'The latest segment with details:';
    if (!d) {
      out.note = 'No request details: the program reported only the address, type and size.';
      f('Address', row.url);
      return out;
    }
    if (row.type === 'group') f('Segment', d.url);
    f('Method', d.method || 'unknown');
    f('Status', d.status > 0 ? String(d.status) + (d.statusText ? ' ' + d.statusText : '') : 'none (the load failed or was refused)');
    f('Destination', d.destination);
    f('Size', d.length >= 0 ? d.length.toLocaleString('en-US') + (d.length === 1 ? ' byte' : ' bytes') : 'unknown');
    if (d.saved) {
      out.note = 'Saved scans keep the status, method and size, not the headers.';
      return out;
    }
    f('Started', clockMs(d.started));
    f('Received', d.received > 0 ? clockMs(d.received) + (d.started > 0 ? ' (after ' + Math.max(0, Math.round(d.received - d.started)) + ' ms)' : '') : '');
    f('Window', WINDOW_NAMES(d.window));
    if (d.redirect) f('Redirects to', d.redirectTo || 'unknown');
    for (const [list, flat] of [
      [out.request, d.request],
      [out.response, d.response],
    ]) {
      for (let i = 0; i < flat.length; i += 2) {
        const v = shownValue(flat[i], flat[i + 1], reveal);
        if (v.masked) out.masked++;
        list.push({ name: flat[i], text: v.text, masked: v.masked });
      }
    }
    return out;
  }

  return {
    CREDENTIAL_HEADERS,
    COMMAND_HEADERS,
    TEXT_LIMIT,
    MAX_HEADERS,
    VALUE_LIMIT,
    createPool,
    parseDetails,
    header,
    pairs,
    isCredential,
    commandHeaders,
    parseCookieHeader,
    parseSetCookie,
    toSaved,
    fromSaved,
    clockMs,
    describe,
  };
});
