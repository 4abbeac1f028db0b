// The scan controls: Start with the address and the capture filter, Pause and Stop, the
// status they show, and the word over an empty list, which mostly tells what the scan is
// doing. The state follows the native side's answers (scanstate.js). Classic script
// (window.Trawlet.scan) and CommonJS module: the controls need a DOM, the description of
// a capture filter runs under Node.
(function (root, factory) {
  'use strict';
  const node = typeof module === 'object' && module.exports;
  const T = root && root.Trawlet;
  const api = factory(
    node ? require('./service.js') : T.service,
    node ? require('./scanstate.js') : T.scanstate,
    node ? require('./listtext.js') : T.listtext,
    node ? require('./words.js') : T.words
  );
  if (node) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).scan = api;
})(typeof self !== 'undefined' ? self : this, function (service, scanstate, listtext, words) {
  'use strict';

  const FILTER_FIELDS = { 'empty-url': 'url', 'empty-mime': 'mime-text', 'mime-list': 'mime-text', 'empty-ext': 'ext-text' };
  const NO_SERVICE = service.START_ERRORS['no-service'];

  function describeFilter(params) {
    if (!params.filterEnabled) return 'everything';
    return params.useFileExtFilter ? 'extensions ' + params.fileExtFilter : 'MIME type contains ' + params.mimeFilter;
  }

  // o: { $, feed, history, model, say(text), notice(text), saveSettings(), emptyList()
  // (empties the list for a new scan), clearView() }.
  function createScan(o) {
    const $ = o.$;
    let state = 'idle';
    // Set when records come from a scan this page did not start (it was reloaded during
    // one): Stop stays usable, since the page cannot know the native state otherwise.
    let foreign = false;
    let emptyKey = '';
    let waitingTimer = 0;

    function setState(s) {
      state = s;
      const el = $('status');
      el.dataset.state = s;
      el.textContent = 'Scan ' + s;
      $('pause').disabled = s === 'idle';
      $('pause').textContent = s === 'paused' ? 'Resume' : 'Pause';
      $('pause').setAttribute('aria-pressed', s === 'paused' ? 'true' : 'false');
      $('stop').disabled = s === 'idle' && !foreign;
      // The page cannot see the scan window; it only knows what its own calls did.
      $('scan-hint').hidden = s === 'idle';
      showEmpty();
    }

    function filterKind() {
      if ($('filter-mime').checked) return 'mime';
      if ($('filter-ext').checked) return 'ext';
      return 'off';
    }

    // Takes the scan state from the native side's answer to a scan control call.
    function applyAnswer(method, r) {
      if (r.ok) foreign = false;
      setState(scanstate.afterAnswer(state, method, r.ok));
    }
    function control(method) {
      const r = service.call(method);
      applyAnswer(method, r);
      return r;
    }

    function start() {
      const built = service.buildStartParams($('url').value, filterKind(), $('mime-text').value, $('ext-text').value);
      if (built.error) {
        o.say(service.START_ERRORS[built.error]);
        const field = FILTER_FIELDS[built.error];
        if (field) $(field).focus();
        return false;
      }
      o.saveSettings();
      // The page's own record of the previous scan is closed before the new one starts.
      o.feed.take(Infinity);
      if (o.history.current) o.history.saveNow();
      const r = service.call('start', built.params);
      if (!r.ok) {
        if (r.error === 'no-service') o.say(NO_SERVICE);
        else
          o.say(
            'The scan did not start: Trawlet could not load “' +
              words.clipText(built.params.url, 200) +
              '” in the scan window. Check the address; it should look like https://example.com/page.html.'
          );
        return false;
      }
      o.say('');
      begin($('url').value.trim() || built.params.url, describeFilter(built.params));
      applyAnswer('start', r);
      o.notice('Scanning. The scan window shows the page; its resources appear below.');
      return true;
    }

    // The list starts over with a scan of its own.
    function begin(url, filter) {
      o.emptyList();
      o.history.begin(url, filter);
      o.saveSettings();
      o.history.render();
    }

    // Records came from the program's scan, also when this page was reloaded in the
    // middle of one and has no scan of its own yet: they are kept as a scan, and Stop is
    // offered, but the state stays what the program last answered.
    function adopt() {
      if (o.history.current) return;
      begin($('url').value.trim(), 'unknown (the page was reloaded during the scan)');
      foreign = true;
      setState(state);
    }

    // Takes the state from the native side when this page was loaded again in the middle of
    // the program's scan; the scan it captures, if any, the history already took back.
    function resume() {
      const r = service.call('state');
      if (!r.ok) return false;
      let s = null;
      try {
        s = scanstate.fromStateAnswer(JSON.parse(r.answer));
      } catch (e) {
        s = null;
      }
      if (s === null) return false;
      foreign = false;
      setState(s);
      return true;
    }

    function togglePause() {
      if (state === 'idle') return;
      // Records that came before the click belong before it.
      o.feed.take(Infinity);
      const r = control('pause');
      if (!r.ok && r.error === 'no-service') o.say(NO_SERVICE);
    }

    function stop() {
      if (state === 'idle' && !foreign) return;
      o.feed.take(Infinity);
      const r = control('stop');
      if (r.ok) o.history.saveNow();
      else if (r.error === 'no-service') o.say(NO_SERVICE);
    }

    // The word shown over an empty list: what to do next, or why nothing is there.
    function showEmpty() {
      const scan = o.history.current;
      const key = listtext.emptyKey({
        shown: o.model.view.length,
        entries: o.model.entries.length,
        state,
        started: scan ? scan.started : null,
        now: Date.now(),
      });
      if (key === emptyKey) return;
      emptyKey = key;
      clearTimeout(waitingTimer);
      if (key === 'waiting') waitingTimer = setTimeout(showEmpty, Math.max(0, scan.started + listtext.NOTHING_YET_DELAY + 50 - Date.now()));
      const el = $('empty');
      el.hidden = key === '';
      el.textContent = '';
      const p = document.createElement('p');
      if (key) p.textContent = listtext.EMPTY_TEXTS[key];
      el.appendChild(p);
      if (key === 'filtered') {
        const b = document.createElement('button');
        b.type = 'button';
        b.id = 'empty-clear-view';
        b.textContent = 'Show every row';
        b.addEventListener('click', o.clearView);
        el.appendChild(b);
      }
    }

    return {
      start,
      begin,
      adopt,
      resume,
      togglePause,
      stop,
      setState,
      filterKind,
      showEmpty,
      get state() {
        return state;
      },
    };
  }

  return { createScan, describeFilter };
});
