// Records as the program reports them to "addResult": parsing, size texts and the
// pieces of an address the list needs. Classic script (window.Trawlet.record) and
// CommonJS module.
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).record = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  function str(v) {
    return typeof v === 'string' ? v : '';
  }

  // Parses the JSON text of one record. The text comes from pages we do not control, so
  // anything that is not an object with a string "url" is refused (null); the other
  // members become empty text when missing or not strings, and the size "unknown".
  function parseRecord(text) {
    if (typeof text !== 'string') return null;
    let v;
    try {
      v = JSON.parse(text);
    } catch (e) {
      return null;
    }
    if (v === null || typeof v !== 'object' || Array.isArray(v) || typeof v.url !== 'string') return null;
    return {
      fileName: str(v.fileName),
      mimeType: str(v.mimeType),
      size: typeof v.size === 'string' && v.size !== '' ? v.size : 'unknown',
      url: v.url,
    };
  }

  const UNITS = { B: 1, KB: 1024, MB: 1024 ** 2, GB: 1024 ** 3, TB: 1024 ** 4, PB: 1024 ** 5 };

  // The byte count behind a size text such as 512B, 1.50KB or 117.74MB (1024-based
  // units, as the program writes them), for sorting and size bounds. -1 for "unknown"
  // and for any text the program would not have written. Two-decimal texts are rounded,
  // so the count is approximate there.
  function parseSize(text) {
    if (typeof text !== 'string' || text.length > 32) return -1;
    const m = /^(\d+)(?:\.(\d{2}))?(B|KB|MB|GB|TB|PB)$/.exec(text);
    if (!m) return -1;
    if (m[3] === 'B' && m[2] !== undefined) return -1;
    const whole = Number(m[1]);
    const frac = m[2] === undefined ? 0 : Number(m[2]) / 100;
    return Math.round((whole + frac) * UNITS[m[3]]);
  }

  // The size text for a byte count, written exactly as the program writes it (whole
  // numbers without decimals, otherwise two decimals rounded half up, never moving to
  // the next unit). Used for sums of sizes and for echoing size bounds.
  function formatSize(bytes) {
    if (!(bytes >= 0) || !Number.isFinite(bytes)) return 'unknown';
    const n = Math.floor(bytes);
    const order = ['PB', 'TB', 'GB', 'MB', 'KB'];
    for (const name of order) {
      const u = UNITS[name];
      if (n >= u) {
        const q = Math.floor(n / u);
        const r = n - q * u;
        if (r === 0) return q + name;
        let h = Math.floor((r * 100) / u);
        const t = Math.floor((r * 1000) / u);
        if (t % 10 >= 5) h += 1;
        return (q + h / 100).toFixed(2) + name;
      }
    }
    return n + 'B';
  }

  // A size bound as a person types it: "1.5 MB", "500k", "2g", "100" (bytes).
  // Returns null for an empty text and NaN for one that is not a size.
  function parseSizeInput(text) {
    const t = String(text == null ? '' : text).trim();
    if (t === '') return null;
    const m = /^(\d+(?:\.\d*)?|\.\d+)\s*([kmgtp]?)(?:i?b)?$/i.exec(t);
    if (!m) return NaN;
    const mult = { '': 1, k: 1024, m: 1024 ** 2, g: 1024 ** 3, t: 1024 ** 4, p: 1024 ** 5 }[m[2].toLowerCase()];
    return Math.round(Number(m[1]) * mult);
  }

  // The address without its fragment: two hits of one resource differ at most there.
  function addressKey(url) {
    const i = url.indexOf('#');
    return i < 0 ? url : url.slice(0, i);
  }

  // The lower-case host of an address ("" when it has none, as data: addresses), found
  // without URL parsing so that malformed addresses cannot throw and long ones cost one
  // pass. A blob: address names the host of the page that made it.
  function hostOf(url) {
    let s = url;
    if (s.slice(0, 5).toLowerCase() === 'blob:') s = s.slice(5);
    const m = /^[a-zA-Z][a-zA-Z0-9+.-]*:\/\//.exec(s.slice(0, 64));
    if (!m) return '';
    let end = s.length;
    for (let i = m[0].length; i < s.length; i++) {
      const c = s.charCodeAt(i);
      if (c === 47 || c === 63 || c === 35 || c === 92) {
        end = i;
        break;
      }
    }
    let auth = s.slice(m[0].length, end);
    const at = auth.lastIndexOf('@');
    if (at >= 0) auth = auth.slice(at + 1);
    if (auth[0] === '[') {
      const close = auth.indexOf(']');
      return (close < 0 ? auth : auth.slice(0, close + 1)).toLowerCase();
    }
    const colon = auth.indexOf(':');
    if (colon >= 0) auth = auth.slice(0, colon);
    return auth.toLowerCase();
  }

  // The path of an address: what follows the host, without query and fragment.
  function pathOf(url) {
    let s = url;
    if (s.slice(0, 5).toLowerCase() === 'blob:') s = s.slice(5);
    const m = /^[a-zA-Z][a-zA-Z0-9+.-]*:\/\/[^/?#\\]*/.exec(s.slice(0, 4096));
    let rest = m ? s.slice(m[0].length) : s;
    const q = rest.search(/[?#]/);
    if (q >= 0) rest = rest.slice(0, q);
    return rest;
  }

  // The lower-case extension of a name without its dot ("" when there is none or when
  // it is too long to be one).
  function extensionOf(name) {
    const slash = Math.max(name.lastIndexOf('/'), name.lastIndexOf('\\'));
    const base = slash >= 0 ? name.slice(slash + 1) : name;
    const dot = base.lastIndexOf('.');
    if (dot < 0 || dot === base.length - 1 || base.length - dot > 12) return '';
    return base.slice(dot + 1).toLowerCase();
  }

  return { parseRecord, parseSize, formatSize, parseSizeInput, addressKey, hostOf, pathOf, extensionOf };
});
