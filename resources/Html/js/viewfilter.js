// The view filter: which of the captured rows the list shows. It never changes what is
// captured. Classic script (window.Trawlet.viewfilter) and CommonJS module.
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).viewfilter = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  // Fields longer than this are searched only up to it: a hostile page can report
  // addresses of a megabyte, and a filter runs over every row at each keystroke.
  const SEARCH_LIMIT = 8192;

  function clip(s) {
    return s.length > SEARCH_LIMIT ? s.slice(0, SEARCH_LIMIT) : s;
  }

  // The lower-case fields that free-text search looks in, cached on the row until the
  // row changes (rows carry a version that grows with every change). Three fields rather
  // than one joined text: lower-casing a text that is already lower case costs nothing,
  // while joining would copy every address once more.
  function lowerFields(row) {
    if (row._lcVersion !== row.version) {
      row._lcName = clip(row.fileName).toLowerCase();
      row._lcType = clip(row.mimeType).toLowerCase();
      row._lcUrl = clip(row.url).toLowerCase();
      row._lcVersion = row.version;
    }
    return row;
  }

  // Whether the word occurs in one of the row's fields (a word never spans two).
  function rowHas(row, word) {
    return row._lcName.includes(word) || row._lcUrl.includes(word) || row._lcType.includes(word);
  }

  // Splits a free-text query into words: blanks separate, "double quotes" keep a phrase
  // together, and a leading minus asks for rows without the word. An unclosed quote runs
  // to the end.
  function tokenize(text) {
    const out = [];
    const s = String(text);
    let i = 0;
    while (i < s.length) {
      while (i < s.length && /\s/.test(s[i])) i++;
      if (i >= s.length) break;
      let exclude = false;
      if (s[i] === '-' && i + 1 < s.length && !/\s/.test(s[i + 1])) {
        exclude = true;
        i++;
      }
      let word;
      if (s[i] === '"') {
        const end = s.indexOf('"', i + 1);
        word = end < 0 ? s.slice(i + 1) : s.slice(i + 1, end);
        i = end < 0 ? s.length : end + 1;
      } else {
        const start = i;
        while (i < s.length && !/\s/.test(s[i])) i++;
        word = s.slice(start, i);
      }
      if (word !== '') out.push({ word: word.toLowerCase(), exclude });
    }
    return out;
  }

  // A host list as people type it: blanks, commas or semicolons between entries; an
  // address is reduced to its host, and "*.example.com" means example.com and its
  // subdomains, as a bare "example.com" does.
  function parseHosts(text) {
    const out = [];
    for (let item of String(text == null ? '' : text).split(/[\s,;]+/)) {
      item = item.trim().toLowerCase();
      if (item === '') continue;
      item = item.replace(/^[a-z][a-z0-9+.-]*:\/\//, '');
      item = item.replace(/[/?#].*$/, '');
      item = item.replace(/^.*@/, '');
      item = item.replace(/^\*?\.+/, '');
      if (item[0] === '[') item = item.replace(/\].*$/, ']');
      else item = item.replace(/:\d*$/, '');
      if (item !== '' && !out.includes(item)) out.push(item);
    }
    return out;
  }

  function hostMatches(host, list) {
    for (const h of list) {
      if (host === h) return true;
      if (host.length > h.length && host.endsWith(h) && host.charCodeAt(host.length - h.length - 1) === 46)
        return true;
    }
    return false;
  }

  // Compiles the filter settings into one test over rows. The settings:
  //   text      free text (words, all must occur) or, with regex, a regular expression
  //   regex     treat text as a regular expression (case-insensitive)
  //   negate    show the rows the text does NOT match
  //   kinds     array of kinds to show; empty or missing shows every kind
  //   minBytes, maxBytes   size bounds in bytes, or null
  //   keepUnknownSize      rows of unknown size pass the size bounds
  //   includeHosts, excludeHosts   host lists as typed (see parseHosts)
  // Returns { test(row), active, error }: active says whether anything is filtered;
  // error ({ field, message }) names a setting that could not be used, which is then
  // left out rather than hiding every row.
  function compile(options) {
    options = options || {};
    const checks = [];
    let error = null;
    const text = typeof options.text === 'string' ? options.text : '';

    if (text.trim() !== '') {
      let textTest = null;
      if (options.regex) {
        let re = null;
        try {
          re = new RegExp(text, 'i');
        } catch (e) {
          error = { field: 'text', message: 'Not a valid regular expression: ' + (e && e.message ? e.message : e) };
        }
        if (re) textTest = (row) => re.test(clip(row.fileName)) || re.test(clip(row.mimeType)) || re.test(clip(row.url));
      } else {
        const words = tokenize(text);
        if (words.length > 0) {
          textTest = (row) => {
            lowerFields(row);
            for (const w of words) if (rowHas(row, w.word) === w.exclude) return false;
            return true;
          };
        }
      }
      if (textTest) checks.push(options.negate ? (row) => !textTest(row) : textTest);
    }

    if (Array.isArray(options.kinds) && options.kinds.length > 0) {
      const kinds = new Set(options.kinds);
      checks.push((row) => kinds.has(row.kind));
    }

    const min = typeof options.minBytes === 'number' && options.minBytes >= 0 ? options.minBytes : null;
    const max = typeof options.maxBytes === 'number' && options.maxBytes >= 0 ? options.maxBytes : null;
    if (min !== null || max !== null) {
      const keepUnknown = options.keepUnknownSize !== false;
      checks.push((row) => {
        if (!(row.bytes >= 0)) return keepUnknown;
        return (min === null || row.bytes >= min) && (max === null || row.bytes <= max);
      });
    }

    const include = parseHosts(options.includeHosts);
    if (include.length > 0) checks.push((row) => hostMatches(row.host, include));
    const exclude = parseHosts(options.excludeHosts);
    if (exclude.length > 0) checks.push((row) => !hostMatches(row.host, exclude));

    let test;
    if (checks.length === 0) test = () => true;
    else if (checks.length === 1) test = checks[0];
    else
      test = (row) => {
        for (const c of checks) if (!c(row)) return false;
        return true;
      };
    return { test, active: checks.length > 0, error };
  }

  return { compile, tokenize, parseHosts, hostMatches, SEARCH_LIMIT };
});
