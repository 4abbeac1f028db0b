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
  // together (and make it text, never a term; quoted says so), and a leading minus asks
  // for rows without the word. An unclosed quote runs to the end.
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
      const quoted = s[i] === '"';
      if (quoted) {
        const end = s.indexOf('"', i + 1);
        word = end < 0 ? s.slice(i + 1) : s.slice(i + 1, end);
        i = end < 0 ? s.length : end + 1;
      } else {
        const start = i;
        while (i < s.length && !/\s/.test(s[i])) i++;
        word = s.slice(start, i);
      }
      if (word !== '') out.push({ word: word.toLowerCase(), exclude, quoted });
    }
    return out;
  }

  // The terms the free text takes besides words (the hint of the filter field says the
  // same to the user):
  //   404  4xx                          a status code (100 to 599) or class
  //   status:404  status:4xx  status:400-499  status:200,206  status:0 (no status: the
  //                                     load failed or was refused)
  //   method:POST  method:get,put       the request method
  //   dest:image  (or destination:)     the request's destination; fetch stands for the
  //                                     engine's "empty", media for video, audio and
  //                                     track, worker for every worker, frame for frame
  //                                     and iframe
  //   not TERM  -TERM                   rows the term (or word) does not match
  // Rows the program told nothing about have no status, method or destination: a term
  // never matches them, "not" a term always does. A segment group matches a status term
  // when one of its segments does.
  const DEST_ALIASES = {
    fetch: ['empty'],
    xhr: ['empty'],
    media: ['video', 'audio', 'track'],
    worker: ['worker', 'sharedworker', 'serviceworker'],
    frame: ['frame', 'iframe'],
  };
  const TERM_ERRORS = {
    status: 'status: takes a code (404), a class (4xx), a range (400-499) or a list of them (200,206).',
    method: 'method: takes a request method, for example method:POST.',
    dest: 'dest: takes a destination, for example dest:image, dest:media or dest:fetch.',
  };

  // A test of status codes for "404", "4xx", "400-499" and lists of them; null when the
  // text is none of these.
  function statusTest(codes) {
    const tests = [];
    for (const p of codes.split(',')) {
      let m;
      if (/^\d{1,3}$/.test(p)) {
        const n = Number(p);
        tests.push((s) => s === n);
      } else if ((m = /^([1-9])xx$/.exec(p))) {
        const lo = Number(m[1]) * 100;
        tests.push((s) => s >= lo && s < lo + 100);
      } else if ((m = /^(\d{1,3})-(\d{1,3})$/.exec(p))) {
        const lo = Number(m[1]);
        const hi = Number(m[2]);
        tests.push((s) => s >= lo && s <= hi);
      } else return null;
    }
    return tests.length === 1 ? tests[0] : (s) => tests.some((t) => t(s));
  }

  function setTest(list) {
    const set = new Set(list);
    return (v) => set.has(v);
  }

  // One word as a term: { field, test } where test takes the row's value of the field
  // (status: a number, -1 when unknown; method in upper case; destination), { error } for
  // a term that cannot be read, or null for a plain word.
  function readTerm(tok) {
    if (tok.quoted) return null;
    const w = tok.word;
    if (/^[1-5]\d\d$|^[1-5]xx$/.test(w)) return { field: 'status', test: statusTest(w) };
    const colon = w.indexOf(':');
    if (colon < 0) return null;
    const key = w.slice(0, colon);
    const codes = w.slice(colon + 1);
    const list = codes.split(',').filter((x) => x !== '');
    if (key === 'status') {
      const test = codes === '' ? null : statusTest(codes);
      return test ? { field: 'status', test } : { error: TERM_ERRORS.status };
    }
    if (key === 'method') {
      if (list.length === 0 || list.some((x) => !/^[a-z-]+$/.test(x))) return { error: TERM_ERRORS.method };
      return { field: 'method', test: setTest(list.map((x) => x.toUpperCase())) };
    }
    if (key === 'dest' || key === 'destination') {
      if (list.length === 0 || list.some((x) => !/^[a-z-]+$/.test(x))) return { error: TERM_ERRORS.dest };
      const all = [];
      for (const x of list) for (const d of DEST_ALIASES[x] || [x]) all.push(d);
      return { field: 'dest', test: setTest(all) };
    }
    return null;
  }

  // Whether a row passes one term; exclude turns the term around. A group's status is
  // that of each of its segments: it passes when one of them does.
  function termPasses(row, term, exclude) {
    const t = term.test;
    if (term.field === 'status') {
      if (row.type === 'group') {
        for (const s of row.statuses.keys()) if (t(s) !== exclude) return true;
        return false;
      }
      return t(typeof row.status === 'number' ? row.status : -1) !== exclude;
    }
    const v = term.field === 'method' ? String(row.method || '').toUpperCase() : row.destination || '';
    return (v !== '' && t(v)) !== exclude;
  }

  // Reads the free text into its words and terms: { words: [{ word, exclude }], terms:
  // [{ field, test, exclude }], errors: [message] }.
  function parseQuery(text) {
    const words = [];
    const terms = [];
    const errors = [];
    const tokens = tokenize(text);
    let negate = false;
    for (let i = 0; i < tokens.length; i++) {
      const tok = tokens[i];
      if (!tok.quoted && !tok.exclude && tok.word === 'not' && i + 1 < tokens.length) {
        negate = !negate;
        continue;
      }
      const exclude = tok.exclude !== negate;
      negate = false;
      const term = readTerm(tok);
      if (term === null) words.push({ word: tok.word, exclude });
      else if (term.error) {
        if (!errors.includes(term.error)) errors.push(term.error);
      } else terms.push({ field: term.field, test: term.test, exclude });
    }
    return { words, terms, errors };
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
        const q = parseQuery(text);
        const words = q.words;
        const terms = q.terms;
        if (q.errors.length > 0) error = { field: 'text', message: q.errors.join(' ') };
        if (words.length > 0 || terms.length > 0) {
          textTest = (row) => {
            for (const t of terms) if (!termPasses(row, t, t.exclude)) return false;
            if (words.length === 0) return true;
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

  return { compile, tokenize, parseQuery, parseHosts, hostMatches, SEARCH_LIMIT };
});
