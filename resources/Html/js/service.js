// The page's side of the native service: building the "start" settings from what the
// user typed, and running one synchronous call on the `service` object that the program
// places in the page. Works as a classic <script> (attaches to window.Trawlet) and as a
// CommonJS module for the Node tests.
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).service = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const SERVICE_ID = 'com.kestovan.trawlet';

  // Runs one call and reports whether the native side answered {"returnValue":1}.
  // The service object is looked up at call time: it is installed by the program after
  // the page's scripts may already have run, and it is absent when the page is opened
  // in an ordinary browser. Nothing thrown here may escape into the page's handlers.
  function call(method, params, svc) {
    if (svc === undefined) svc = typeof service !== 'undefined' ? service : undefined; // eslint-disable-line no-undef
    if (!svc || typeof svc.call !== 'function') return { ok: false, error: 'no-service' };
    try {
      svc.uri = SERVICE_ID;
      svc.method = method;
      // pause and stop read no parameters, but a stale "params" from an earlier call
      // must not be left on the object.
      svc.params = JSON.stringify(params || {});
      const answer = svc.call();
      let value = null;
      try {
        value = JSON.parse(String(answer));
      } catch (e) {
        return { ok: false, error: 'bad-answer', answer: String(answer) };
      }
      const ok = value !== null && typeof value === 'object' && value.returnValue === 1;
      return { ok, answer: String(answer) };
    } catch (e) {
      return { ok: false, error: 'exception', message: String(e && e.message ? e.message : e) };
    }
  }

  // The most addresses one "cookies" call asks about: the program answers within the
  // synchronous call, so a long list goes in several.
  const COOKIE_BATCH = 1000;

  // The Cookie header the scan session would send now for each address, in order ("" for
  // none), through the service's "cookies" call (callFn: the call, service.call unless
  // given). null when the program gives no usable answer (it has no such method, or no
  // service at all): the caller then goes on without cookies.
  function cookies(urls, callFn) {
    const run = callFn || call;
    const out = [];
    for (let i = 0; i < urls.length; i += COOKIE_BATCH) {
      const batch = urls.slice(i, i + COOKIE_BATCH);
      const r = run('cookies', { urls: batch });
      if (!r || !r.ok || typeof r.answer !== 'string') return null;
      let v;
      try {
        v = JSON.parse(r.answer);
      } catch (e) {
        return null;
      }
      const list = v && v.cookies;
      if (!Array.isArray(list) || list.length !== batch.length) return null;
      for (const c of list) out.push(typeof c === 'string' ? c : '');
    }
    return out;
  }

  // Turns an extension list as people write it ("mp4, *.flv;.webm") into the list the
  // native filter understands. The native filter compares extensions exactly: an item
  // without its dot never matches and ".MP4" does not accept "clip.mp4", so every item
  // gets its dot and is sent as typed, in lower case and in upper case. Empty items are
  // dropped on purpose: a stray separator would otherwise admit every name without an
  // extension.
  function normalizeExtensions(text) {
    const out = [];
    const seen = new Set();
    const push = (e) => {
      if (!seen.has(e)) {
        seen.add(e);
        out.push(e);
      }
    };
    for (let item of String(text).split(/[;,\s]+/)) {
      item = item.replace(/\*/g, '');
      if (item === '' || item === '.') continue;
      if (item[0] !== '.') item = '.' + item;
      push(item);
      push(item.toLowerCase());
      push(item.toUpperCase());
    }
    return out;
  }

  // Builds the parameters of "start", or says what is wrong with the input. kind is
  // 'off', 'mime' or 'ext'. The page refuses inputs that the native side would accept
  // but handle surprisingly: an empty filter text keeps the previous scan's filter there,
  // and a MIME text naming several types matches nothing.
  function buildStartParams(url, kind, mimeText, extText) {
    const address = String(url == null ? '' : url).trim();
    if (address === '') return { error: 'empty-url' };
    if (kind === 'mime') {
      const piece = String(mimeText == null ? '' : mimeText).trim().toLowerCase();
      if (piece === '') return { error: 'empty-mime' };
      if (/[;,\s]/.test(piece)) return { error: 'mime-list' };
      return {
        params: { url: address, filterEnabled: true, useFileExtFilter: false, mimeFilter: piece },
      };
    }
    if (kind === 'ext') {
      const list = normalizeExtensions(extText == null ? '' : extText);
      if (list.length === 0) return { error: 'empty-ext' };
      return {
        params: { url: address, filterEnabled: true, useFileExtFilter: true, fileExtFilter: list.join(';') },
      };
    }
    return { params: { url: address, filterEnabled: false, useFileExtFilter: false, mimeFilter: '' } };
  }

  const START_ERRORS = {
    'empty-url': 'Type the address of the page to scan, for example https://example.com/.',
    'empty-mime': 'Type a piece of MIME type to keep, for example video, or choose “Everything”.',
    'mime-list':
      'The MIME filter takes one piece of text, for example video or mp4. To keep several types, choose “Everything” and use the type buttons above the list.',
    'empty-ext': 'Type at least one file extension, for example *.mp4;*.flv, or choose “Everything”.',
    'no-service':
      'This page is not running inside Trawlet, so it cannot scan. Start the Trawlet program to use it.',
  };

  return { SERVICE_ID, COOKIE_BATCH, call, cookies, normalizeExtensions, buildStartParams, START_ERRORS };
});
