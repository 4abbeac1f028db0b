// The history of scans: the scan being captured and written to local storage as its
// records come in, the saved scans listed in the page's foot, and showing one of them in
// the list again. Classic script (window.Trawlet.history) and CommonJS module: the list
// in the foot needs a DOM, the rest runs under Node.
(function (root, factory) {
  'use strict';
  const node = typeof module === 'object' && module.exports;
  const T = root && root.Trawlet;
  const api = factory(node ? require('./storage.js') : T.storage, node ? require('./words.js') : T.words, node ? require('./details.js') : T.details);
  if (node) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).history = api;
})(typeof self !== 'undefined' ? self : this, function (storage, words, details) {
  'use strict';

  const { plural, clipText } = words;

  // The history is written as records are taken in, since closing the window gives the
  // page no chance to write it (no pagehide, no unload). Writing it costs time that grows
  // with the scan, so the page spends at most HISTORY_SHARE of its time on it: after a
  // write that took t ms the next one waits t / HISTORY_SHARE ms.
  const HISTORY_SHARE = 0.1;

  // Runs write() when asked "soon", but only once the last write is long enough ago; a
  // write that answers false wrote nothing and does not count. clock: { now, setTimer,
  // clearTimer }.
  function createPacer(write, clock) {
    let timer = 0;
    let next = 0; // the earliest time of the next write
    // The writes made and the longest of them (ms), for the benchmark.
    const stats = { writes: 0, longest: 0 };
    function now() {
      clock.clearTimer(timer);
      timer = 0;
      const t0 = clock.now();
      if (write() === false) return;
      const t = clock.now();
      stats.writes++;
      if (t - t0 > stats.longest) stats.longest = t - t0;
      next = t + (t - t0) / HISTORY_SHARE;
    }
    function soon() {
      if (timer) return;
      const wait = next - clock.now();
      if (wait <= 0) now();
      else timer = clock.setTimer(now, wait);
    }
    return { now, soon, stats };
  }

  // Where the scan being captured is named, so that a page loaded again in its place (its
  // web process ended) goes on with it rather than saving its records as a second scan.
  const CAPTURING_KEY = 'trawlet.capturing.v1';

  function readCapturing(store) {
    try {
      const v = JSON.parse(store.getItem(CAPTURING_KEY));
      if (v && typeof v === 'object' && Number.isFinite(v.id) && Number.isFinite(v.started))
        return { id: v.id, url: String(v.url == null ? '' : v.url), started: v.started, filter: String(v.filter == null ? '' : v.filter) };
    } catch (e) {
      // Nothing readable is nothing to go on with.
    }
    return null;
  }
  function writeCapturing(store, current) {
    try {
      if (current) store.setItem(CAPTURING_KEY, JSON.stringify({ id: current.id, url: current.url, started: current.started, filter: current.filter }));
      else store.removeItem(CAPTURING_KEY);
    } catch (e) {
      // A full storage keeps the history as it is; going on after a reload is lost only.
    }
  }

  // Scan ids are their start times, made unique within the history.
  function uniqueScanId(scans, time) {
    let id = time;
    while (scans.some((m) => m.id === id)) id++;
    return id;
  }

  // The row a saved scan keeps of an entry, in the order the storage keeps its fields
  // (restoredEntry reads it back). Of the details only what details.toSaved keeps is
  // written: no headers, no cookies.
  function savedRow(e) {
    const row = [e.url, e.fileName, e.mimeType, e.size, e.hits, e.firstSeen, e.lastSeen];
    if (e.details) row.push(details.toSaved(e.details));
    return row;
  }
  // The texts of the rows a saved scan keeps (storage.rowText), each made again only when
  // its entry changed since the last write: the history is written every few hundred
  // milliseconds while records stream in, and most of its thousands of rows are the
  // same each time. made: a WeakMap from entry to { row, text }, kept between writes.
  function scanRowTexts(entries, max, made) {
    const texts = [];
    for (const e of entries) {
      if (texts.length >= max) break;
      const row = savedRow(e);
      const was = made.get(e);
      if (was && sameRow(was.row, row)) {
        texts.push(was.text);
        continue;
      }
      const text = storage.rowText(row);
      made.set(e, { row, text });
      texts.push(text);
    }
    return texts;
  }
  function sameRow(a, b) {
    if (a.length !== b.length) return false;
    for (let i = 0; i < a.length; i++) {
      if (a[i] === b[i]) continue;
      if (!Array.isArray(a[i]) || !Array.isArray(b[i]) || a[i].length !== b[i].length) return false;
      for (let j = 0; j < a[i].length; j++) if (a[i][j] !== b[i][j]) return false;
    }
    return true;
  }

  function restoredEntry(r) {
    return { url: r[0], fileName: r[1], mimeType: r[2], size: r[3], hits: r[4], firstSeen: r[5], lastSeen: r[6], details: r[7] || null };
  }

  // What the history could not keep of a scan (r: the answer of storage.saveScan;
  // dropped: the older scans removed for this one so far), or "" when it kept everything.
  function cutMessage(r, dropped) {
    const parts = [];
    if (!r.saved) parts.push('This scan could not be saved in the history: it does not fit in the page’s storage.');
    else if (r.rowsCut > 0)
      parts.push(
        'The history keeps ' +
          plural(r.history[0].rowCount, 'address', 'addresses') +
          ' of this scan: ' +
          plural(r.rowsCut, 'row was', 'rows were') +
          ' left out (too long, or more than the history holds).'
      );
    if (dropped > 0) parts.push(plural(dropped, 'older scan was', 'older scans were') + ' removed from the history to make room.');
    return parts.join(' ');
  }

  // The number of scans to keep from what was typed; what is not a number keeps `current`.
  function clampLimit(value, current) {
    const v = Math.round(Number(value));
    return Number.isFinite(v) ? Math.max(0, Math.min(storage.MAX_SCANS, v)) : current;
  }

  // options:
  //   store            the page's local storage, or null
  //   settings         the page's settings (historyLimit is read)
  //   model            the result model
  //   takeAll()        takes in every record received so far
  //   state()          the scan state ('idle', 'running', 'paused')
  //   say(text), notice(text), onError(e)
  //   showRows()       brings the list to the top and up to date after a saved scan is shown
  //   list, summary    the history's list element and the summary that counts it
  //   clock            { now, date, setTimer, clearTimer }
  function createHistory(o) {
    const clock = o.clock;
    let scans = storage.loadHistory(o.store);
    let current = null; // the scan being captured: { id, url, started, filter, scansDropped }
    let shown = null; // the saved scan shown from the history, when not capturing
    let cutSaid = ''; // what the page last said about a cut scan (said once)
    const pacer = createPacer(write, clock);
    // The texts of the rows written last, by entry.
    const made = new WeakMap();

    // Writes the scan with the records taken in so far: the rest are taken in, and
    // written, in later frames.
    function write() {
      if (!current || !o.store || o.model.entries.length === 0) return false;
      try {
        const r = storage.saveScan(
          o.store,
          scans,
          {
            id: current.id,
            url: current.url,
            started: current.started,
            ended: clock.date(),
            filter: current.filter,
            total: o.model.hitTotal,
            truncated: o.model.entries.length > storage.ROWS_PER_SCAN,
            texts: scanRowTexts(o.model.entries, storage.ROWS_PER_SCAN, made),
          },
          o.settings.historyLimit
        );
        scans = r.history;
        render();
        tellCut(r);
      } catch (e) {
        o.onError(e);
      }
      return true;
    }

    // Says once per scan, and again when it gets worse, what the history could not keep.
    function tellCut(r) {
      if (!r.cut) return;
      current.scansDropped += r.scansDropped;
      const text = cutMessage(r, current.scansDropped);
      if (text === cutSaid) return;
      cutSaid = text;
      o.say(text);
    }

    // Writes the scan now when the last write is long enough ago, else once it is.
    function saveSoon() {
      if (current) pacer.soon();
    }
    // With every record received so far.
    function saveNow() {
      o.takeAll();
      pacer.now();
    }

    function begin(url, filter) {
      shown = null;
      current = { id: uniqueScanId(scans, clock.date()), url, started: clock.date(), filter, scansDropped: 0 };
      cutSaid = '';
      if (o.store) writeCapturing(o.store, current);
    }

    // The list shows nothing of a scan any more.
    function end() {
      current = null;
      shown = null;
      if (o.store) writeCapturing(o.store, null);
    }

    // This page replaces one whose web process ended: the scan that page captured is
    // captured again, under its own id, from the records the program gives back, and the
    // list starts empty for them. False when there is no such scan.
    function resume() {
      const named = o.store ? readCapturing(o.store) : null;
      if (!named) return false;
      shown = null;
      current = { id: named.id, url: named.url, started: named.started, filter: named.filter, scansDropped: 0 };
      cutSaid = '';
      o.model.clear();
      render();
      return true;
    }

    function render() {
      const list = o.list;
      list.textContent = '';
      o.summary.textContent = 'History (' + scans.length + ')';
      if (scans.length === 0) {
        const li = document.createElement('li');
        li.className = 'fine';
        li.textContent = o.settings.historyLimit === 0 ? 'The history is off.' : 'No saved scans yet.';
        list.appendChild(li);
        return;
      }
      const idle = o.state() === 'idle';
      for (const m of scans) {
        const li = document.createElement('li');
        const isCurrent = (current && current.id === m.id) || (shown && shown.id === m.id);
        if (isCurrent) li.className = 'current';
        const what = document.createElement('span');
        what.className = 'what';
        const when = new Date(m.started).toLocaleString();
        what.textContent =
          when + ' — ' + clipText(m.url || '(no address)', 300) + ' — ' + plural(m.rowCount, 'address', 'addresses') + (m.truncated ? ' (cut short)' : '');
        what.title = 'Filter: ' + (m.filter || 'unknown');
        const show = document.createElement('button');
        show.type = 'button';
        show.textContent = 'Show';
        show.disabled = !idle || !!isCurrent;
        show.title = !idle ? 'Stop the scan first' : 'Show this scan in the list';
        show.addEventListener('click', () => showSaved(m));
        const del = document.createElement('button');
        del.type = 'button';
        del.textContent = 'Delete';
        del.setAttribute('aria-label', 'Delete the scan of ' + clipText(m.url, 100) + ' from ' + when);
        del.addEventListener('click', () => {
          if (current && current.id === m.id) current.id = uniqueScanId(scans, clock.date());
          scans = storage.removeScan(o.store, scans, m.id);
          render();
        });
        li.append(what, show, del);
        list.appendChild(li);
      }
    }

    function showSaved(meta) {
      if (o.state() !== 'idle') return;
      o.takeAll();
      if (current) saveNow();
      current = null;
      o.model.clear();
      for (const r of storage.loadScanRows(o.store, meta.id)) o.model.addRestored(restoredEntry(r));
      shown = meta;
      o.showRows();
      render();
      o.notice('Showing the saved scan of ' + clipText(meta.url || '(no address)', 200) + ' from ' + new Date(meta.started).toLocaleString() + '.');
    }

    // Keeps the last `value` scans (as typed); answers the number kept.
    function setLimit(value) {
      const limit = clampLimit(value, o.settings.historyLimit);
      o.settings.historyLimit = limit;
      scans = storage.trimHistory(o.store, scans, limit);
      return limit;
    }

    function clearAll() {
      scans = storage.clearHistory(o.store);
      if (current) current.id = uniqueScanId(scans, clock.date());
      render();
      o.notice('The history is empty.');
    }

    return {
      begin,
      end,
      resume,
      saveSoon,
      saveNow,
      render,
      showSaved,
      setLimit,
      clearAll,
      get current() {
        return current;
      },
      // The saved scan shown from the history, when not capturing.
      get shown() {
        return shown;
      },
      get scans() {
        return scans;
      },
      writeStats: pacer.stats,
    };
  }

  return { CAPTURING_KEY, readCapturing, writeCapturing, createHistory, createPacer, uniqueScanId, scanRowTexts, restoredEntry, cutMessage, clampLimit, HISTORY_SHARE };
});
