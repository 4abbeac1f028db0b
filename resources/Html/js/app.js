// The page itself: scan controls, the result list, the view filter, actions, settings,
// history and keys. The logic lives in the other scripts; this one connects it to the
// page. The program calls addResult and updateInputUrl very often and with data from
// pages we do not control, so neither may throw and neither builds markup from it.
(function () {
  'use strict';
  const T = window.Trawlet;
  const $ = (id) => document.getElementById(id);
  const storage = (() => {
    try {
      return window.localStorage || null;
    } catch (e) {
      return null;
    }
  })();

  const COLUMN_LABELS = {
    name: 'Name',
    type: 'Type',
    size: 'Size',
    hits: 'Hits',
    url: 'Address',
    first: 'First seen',
    last: 'Last seen',
  };
  const KIND_LABELS = {
    video: 'Video',
    audio: 'Audio',
    image: 'Image',
    playlist: 'Playlist',
    script: 'Script',
    style: 'Style',
    font: 'Font',
    document: 'Document',
    other: 'Other',
  };
  // Asking before opening many addresses at once: each one starts a program.
  const OPEN_WITHOUT_ASKING = 10;
  // The history is written as records are taken in, since closing the window gives the
  // page no chance to write it (no pagehide, no unload). Writing it costs time that grows
  // with the scan, so the page spends at most HISTORY_SHARE of its time on it: after a
  // write that took t ms the next one waits t / HISTORY_SHARE ms.
  const HISTORY_SHARE = 0.1;
  const NOTHING_YET_DELAY = 4000;
  // Script time a frame spends taking records in (ms); more when no frames come (a
  // hidden window), and records are taken at once, as they come, when this many wait.
  const FRAME_BUDGET = 6;
  const TIMER_BUDGET = 40;
  const INBOX_LIMIT = 50000;

  // Every record received, parsed, in arrival order (read by tests and tools). Reading it
  // takes in every record received so far.
  const results = [];
  Object.defineProperty(window, 'trawletResults', {
    configurable: true,
    enumerable: true,
    get() {
      takeRecords(Infinity);
      return results;
    },
  });
  let rejected = 0;

  const model = new T.model.ResultModel();
  let settings = T.storage.loadSettings(storage);
  let history = T.storage.loadHistory(storage);
  let state = 'idle';
  let currentScan = null; // the scan being captured: { id, url, started, filter }
  let shownScan = null; // the saved scan shown from the history, when not capturing
  let historyTimer = 0;
  let historyNext = 0; // the earliest time of the next write of the history
  let historyCut = ''; // what the page last said about a cut scan (said once)
  // Set when records come from a scan this page did not start (it was reloaded during
  // one): Stop stays usable, since the page cannot know the native state otherwise.
  let foreignScan = false;
  let emptyKey = '';
  let waitingTimer = 0;
  // Script time spent in frames (ms), for the benchmark: in all, and by part (taking
  // records in, bringing the model's view up to date, drawing).
  const stats = { frames: 0, longestFlush: 0, lastFlush: 0, totalFlush: 0, parts: {} };
  function note(part, t0) {
    const t = performance.now();
    const p = stats.parts[part] || (stats.parts[part] = { total: 0, longest: 0 });
    const dt = t - t0;
    p.total += dt;
    if (dt > p.longest) p.longest = dt;
    return t;
  }

  // ---- Frames. Records wait in the inbox until the next frame takes them in, within a
  // time budget, and the list catches up once per frame; a timer stands in when the
  // engine sends no frames (a hidden window). While records stream in, changes that need
  // not be seen at once (counts, rows out of sight) are drawn a few times a second
  // rather than at every frame.
  const CALM_INTERVAL = 250;
  let frameRequested = false;
  let frameTimer = 0;
  let calmTimer = 0;
  let lastDraw = 0;
  let drawOwed = false;
  function schedule() {
    if (frameRequested) return;
    frameRequested = true;
    requestAnimationFrame(frame);
    frameTimer = setTimeout(frame, 150, 'timer');
  }
  // force: true after a user action (everything is taken in and drawn now), 'timer'
  // from the stand-in timer, else the frame's time.
  function frame(force) {
    if (!frameRequested) return;
    frameRequested = false;
    clearTimeout(frameTimer);
    const t0 = performance.now();
    try {
      takeRecords(force === true ? Infinity : force === 'timer' ? TIMER_BUDGET : FRAME_BUDGET);
      let t = note('take', t0);
      if (model.flush()) drawOwed = true;
      t = note('view', t);
      if (force === true || grid.needsRender() || (drawOwed && t0 - lastDraw >= CALM_INTERVAL)) {
        grid.render();
        t = note('rows', t);
        updateCounts();
        updateEmpty();
        note('counts', t);
        lastDraw = t0;
        drawOwed = false;
      } else if (drawOwed && !calmTimer) {
        calmTimer = setTimeout(() => {
          calmTimer = 0;
          schedule();
        }, CALM_INTERVAL - (t0 - lastDraw));
      }
    } catch (e) {
      reportError(e);
    }
    const dt = performance.now() - t0;
    stats.frames++;
    stats.lastFlush = dt;
    stats.totalFlush += dt;
    if (dt > stats.longestFlush) stats.longestFlush = dt;
  }

  function reportError(e) {
    if (window.console && console.error) console.error('Trawlet page:', e);
  }

  // ---- Messages.
  let noticeTimer = 0;
  function say(text) {
    $('message').textContent = text || '';
    if (text) $('notice').textContent = '';
  }
  function notice(text) {
    $('notice').textContent = text || '';
    clearTimeout(noticeTimer);
    if (text) noticeTimer = setTimeout(() => ($('notice').textContent = ''), 6000);
  }
  // One formatter for all counts: making one per call costs a tenth of a millisecond.
  const numberFormat = new Intl.NumberFormat('en-US');
  function plural(n, one, many) {
    return numberFormat.format(n) + ' ' + (n === 1 ? one : many);
  }

  // ---- Scan state.
  function setState(s) {
    state = s;
    const el = $('status');
    el.dataset.state = s;
    el.textContent = 'Scan ' + s;
    $('pause').disabled = s === 'idle';
    $('pause').textContent = s === 'paused' ? 'Resume' : 'Pause';
    $('pause').setAttribute('aria-pressed', s === 'paused' ? 'true' : 'false');
    $('stop').disabled = s === 'idle' && !foreignScan;
    // The page cannot see the scan window; it only knows what its own calls did.
    $('scan-hint').hidden = s === 'idle';
    updateEmpty();
  }

  function filterKind() {
    if ($('filter-mime').checked) return 'mime';
    if ($('filter-ext').checked) return 'ext';
    return 'off';
  }

  function describeFilter(params) {
    if (!params.filterEnabled) return 'everything';
    return params.useFileExtFilter ? 'extensions ' + params.fileExtFilter : 'MIME type contains ' + params.mimeFilter;
  }

  // Takes the scan state from the native side's answer to a scan control call.
  function applyAnswer(method, r) {
    if (r.ok) foreignScan = false;
    setState(T.scanstate.afterAnswer(state, method, r.ok));
  }
  function control(method) {
    const r = T.service.call(method);
    applyAnswer(method, r);
    return r;
  }

  function start() {
    const kind = filterKind();
    const built = T.service.buildStartParams($('url').value, kind, $('mime-text').value, $('ext-text').value);
    if (built.error) {
      say(T.service.START_ERRORS[built.error]);
      const field = { 'empty-url': 'url', 'empty-mime': 'mime-text', 'mime-list': 'mime-text', 'empty-ext': 'ext-text' }[built.error];
      if (field) $(field).focus();
      return false;
    }
    saveSettingsNow();
    // The page's own record of the previous scan is closed before the new one starts.
    takeRecords(Infinity);
    if (currentScan) saveHistoryNow();
    const r = T.service.call('start', built.params);
    if (!r.ok) {
      if (r.error === 'no-service') say(T.service.START_ERRORS['no-service']);
      else
        say(
          'The scan did not start: Trawlet could not load “' +
            clipText(built.params.url, 200) +
            '” in the scan window. Check the address; it should look like https://example.com/page.html.'
        );
      return false;
    }
    say('');
    beginScan($('url').value.trim() || built.params.url, describeFilter(built.params));
    applyAnswer('start', r);
    notice('Scanning. The scan window shows the page; its resources appear below.');
    return true;
  }

  function beginScan(url, filter) {
    clearModel();
    shownScan = null;
    currentScan = { id: uniqueScanId(), url, started: Date.now(), filter, scansDropped: 0 };
    historyCut = '';
    settings.url = url;
    saveSettingsNow();
    renderHistory();
  }

  function uniqueScanId() {
    let id = Date.now();
    while (history.some((m) => m.id === id)) id++;
    return id;
  }

  function togglePause() {
    if (state === 'idle') return;
    // Records that came before the click belong before it.
    takeRecords(Infinity);
    const r = control('pause');
    if (!r.ok && r.error === 'no-service') say(T.service.START_ERRORS['no-service']);
  }

  function stop() {
    if (state === 'idle' && !foreignScan) return;
    takeRecords(Infinity);
    const r = control('stop');
    if (r.ok) saveHistoryNow();
    else if (r.error === 'no-service') say(T.service.START_ERRORS['no-service']);
  }

  // ---- Calls from the program.
  // The program calls addResult once per record, thousands of times a second while a
  // page loads. Each call only keeps the text and the time: everything else waits for
  // the next frame, so that the engine gets to draw between calls.
  let inbox = [];
  let inboxTimes = [];
  let inboxHead = 0;
  let taking = false;
  window.addResult = function (text) {
    try {
      inbox.push(text);
      inboxTimes.push(Date.now());
      if (inbox.length - inboxHead > INBOX_LIMIT) takeRecords(FRAME_BUDGET);
      else if (!frameRequested) schedule();
    } catch (e) {
      reportError(e);
    }
  };

  // Takes records from the inbox into the list, in arrival order, for up to budget ms.
  function takeRecords(budget) {
    if (taking || inboxHead === inbox.length) return;
    taking = true;
    let took = false;
    try {
      const t0 = performance.now();
      let n = 0;
      while (inboxHead < inbox.length) {
        const text = inbox[inboxHead];
        const time = inboxTimes[inboxHead];
        inbox[inboxHead++] = undefined;
        if (takeRecord(text, time)) took = true;
        if ((++n & 15) === 0 && performance.now() - t0 >= budget) break;
      }
      if (inboxHead === inbox.length) {
        inbox = [];
        inboxTimes = [];
        inboxHead = 0;
      } else if (inboxHead >= 4096) {
        inbox = inbox.slice(inboxHead);
        inboxTimes = inboxTimes.slice(inboxHead);
        inboxHead = 0;
      }
    } finally {
      taking = false;
    }
    if (took) saveHistorySoon();
    if (inboxHead < inbox.length) schedule();
  }

  function takeRecord(text, time) {
    try {
      const rec = T.record.parseRecord(text);
      if (!rec) {
        rejected++;
        return false;
      }
      results.push(rec);
      // Records come from the program's scan, also when this page was reloaded in the
      // middle of one and has no scan of its own yet: they are kept as a scan, and Stop
      // is offered, but the state stays what the program last answered.
      if (!currentScan) {
        beginScan($('url').value.trim(), 'unknown (the page was reloaded during the scan)');
        foreignScan = true;
        setState(state);
      }
      model.add(rec, time);
      return true;
    } catch (e) {
      reportError(e);
      return false;
    }
  }

  window.updateInputUrl = function (text) {
    try {
      if (typeof text === 'string') $('url').value = text.length > 100000 ? text.slice(0, 100000) : text;
    } catch (e) {
      reportError(e);
    }
  };

  // ---- The grid.
  function clipText(s, n) {
    return s.length > n ? s.slice(0, n) + '…' : s;
  }
  function clock(t) {
    if (!t) return '';
    const d = new Date(t);
    const p = (n) => (n < 10 ? '0' : '') + n;
    return p(d.getHours()) + ':' + p(d.getMinutes()) + ':' + p(d.getSeconds());
  }
  function cellText(row, col) {
    switch (col) {
      case 'name':
        if (row.type === 'group') return row.fileName;
        return row.fileName === '' ? '(no name)' : row.fileName;
      case 'type':
        return row.mimeType;
      case 'size':
        if (row.type === 'group' && row.unknownCount > 0 && row.bytes >= 0) return row.size + '+';
        return row.size;
      case 'hits':
        return String(row.hits);
      case 'url':
        return row.url;
      case 'first':
        return clock(row.firstSeen);
      case 'last':
        return clock(row.lastSeen);
      default:
        return '';
    }
  }
  function badge(row) {
    if (row.type === 'group') return 'segments';
    if (row.playlist) return row.playlist;
    return '';
  }

  function gridColumns() {
    return settings.columns.map((c) => ({
      id: c.id,
      label: COLUMN_LABELS[c.id],
      width: c.width,
      defaultWidth: T.storage.DEFAULT_WIDTHS[c.id],
    }));
  }

  const grid = new T.grid.Grid({
    root: $('grid'),
    head: $('grid-head'),
    body: $('results'),
    model,
    columns: gridColumns(),
    minWidth: T.storage.MIN_WIDTH,
    maxWidth: T.storage.MAX_WIDTH,
    text: cellText,
    badge,
    requestRender: schedule,
    onSort: (col) => {
      // Ascending, descending, then back to arrival order.
      if (model.sortCol !== col) setSort(col, 1);
      else if (model.sortDir > 0) setSort(col, -1);
      else setSort(null, 1);
    },
    onColumns: (cols) => {
      settings.columns = cols.map((c) => ({ id: c.id, width: c.width }));
      saveSettingsNow();
    },
    onRowClick: (row, e) => {
      if (e.shiftKey) model.selectRange(row, e.ctrlKey || e.metaKey);
      else if (e.ctrlKey || e.metaKey) model.toggle(row);
      else model.selectOnly(row);
      $('grid').focus({ preventScroll: true });
      refresh();
    },
    onRowAction: (action, row) => {
      if (action === 'open') openRows([row]);
      else copyAddresses([row]);
    },
  });

  function setSort(col, dir) {
    model.setSort(col, dir);
    grid.setSortMarks(model.sortCol, model.sortDir);
    settings.sortCol = model.sortCol;
    settings.sortDir = model.sortDir;
    saveSettingsNow();
    refresh();
  }

  // Brings everything on screen up to date now (after a user action) rather than at
  // the next frame.
  function refresh() {
    frameRequested = true;
    frame(true);
  }

  function clearModel() {
    model.clear();
    grid.body.scrollTop = 0;
    refresh();
  }

  function updateCounts() {
    const c = model.counts();
    const el = $('count');
    const key = [c.shown, c.total, c.unique, c.selected, c.duplicatesHidden, c.segmentsFolded, c.dropped, rejected].join();
    if (el._key === key) return;
    el._key = key;
    el.dataset.count = String(c.shown);
    el.dataset.total = String(c.total);
    el.dataset.unique = String(c.unique);
    el.dataset.selected = String(c.selected);
    el.dataset.duplicates = String(c.duplicatesHidden);
    const parts = [];
    if (c.total === 0 && model.entries.length === 0) parts.push('No results');
    else parts.push(plural(c.shown, 'row', 'rows') + ' shown of ' + plural(c.total, 'hit', 'hits'));
    if (c.duplicatesHidden > 0) parts.push(plural(c.duplicatesHidden, 'duplicate', 'duplicates') + ' folded');
    if (c.segmentsFolded > 0) parts.push(plural(c.segmentsFolded, 'segment', 'segments') + ' folded');
    if (c.selected > 0) parts.push(plural(c.selected, 'selected', 'selected'));
    if (c.dropped > 0) parts.push(plural(c.dropped, 'record', 'records') + ' dropped (the list is full)');
    if (rejected > 0) parts.push(plural(rejected, 'malformed record', 'malformed records') + ' ignored');
    el.textContent = parts.join(' · ');
    $('scope').textContent =
      c.selected > 0 ? plural(c.selected, 'row', 'rows') + ' selected:' : c.shown > 0 ? 'All ' + plural(c.shown, 'row', 'rows') + ':' : 'No rows';
    for (const id of ['select-all', 'act-open', 'act-copy', 'act-cmd', 'export-copy', 'export-save']) $(id).disabled = c.shown === 0;
    $('clear-list').disabled = model.entries.length === 0;
  }

  // The word shown over an empty list: what to do next, or why nothing is there.
  function updateEmpty() {
    const el = $('empty');
    let key;
    if (model.view.length > 0) key = '';
    else if (model.entries.length > 0) key = 'filtered';
    else if (state === 'running')
      key = currentScan && Date.now() - currentScan.started > NOTHING_YET_DELAY ? 'nothing' : 'waiting';
    else if (state === 'paused') key = 'paused';
    else key = currentScan ? 'stopped' : 'start';
    if (key === emptyKey) return;
    emptyKey = key;
    clearTimeout(waitingTimer);
    if (key === 'waiting')
      waitingTimer = setTimeout(updateEmpty, Math.max(0, currentScan.started + NOTHING_YET_DELAY + 50 - Date.now()));
    el.hidden = key === '';
    el.textContent = '';
    const p = document.createElement('p');
    el.appendChild(p);
    switch (key) {
      case 'start':
        p.textContent = 'Type the address of a page and press Start (or Enter). Everything the page loads appears here.';
        break;
      case 'waiting':
        p.textContent = 'Waiting for the first resource…';
        break;
      case 'nothing':
        p.textContent =
          'Nothing matched yet. The page may still be loading, or the capture filter lets nothing through. ' +
          'If you closed the scan window, press Start to open it again.';
        break;
      case 'paused':
        p.textContent = 'Paused: resources that load now are not captured. Press Resume (Alt+P) to go on.';
        break;
      case 'stopped':
        p.textContent = 'The scan stopped before anything matched.';
        break;
      case 'filtered': {
        p.textContent = 'No row matches the view filter.';
        const b = document.createElement('button');
        b.type = 'button';
        b.id = 'empty-clear-view';
        b.textContent = 'Show every row';
        b.addEventListener('click', clearViewFilter);
        el.appendChild(b);
        break;
      }
    }
  }

  // ---- The view filter.
  const chips = {};
  for (const k of T.kinds.KINDS) {
    const b = document.createElement('button');
    b.type = 'button';
    b.className = 'chip';
    b.id = 'chip-' + k;
    b.dataset.kind = k;
    b.textContent = KIND_LABELS[k];
    b.setAttribute('aria-pressed', 'false');
    b.addEventListener('click', () => {
      b.setAttribute('aria-pressed', b.getAttribute('aria-pressed') === 'true' ? 'false' : 'true');
      applyViewFilter();
    });
    $('chips').appendChild(b);
    chips[k] = b;
  }

  function readViewFilter() {
    const errors = [];
    const size = (id, label) => {
      const v = T.record.parseSizeInput($(id).value);
      const bad = Number.isNaN(v);
      $(id).setAttribute('aria-invalid', bad ? 'true' : 'false');
      if (bad) errors.push(label + ' “' + clipText($(id).value, 40) + '” is not a size: write for example 500KB, 1.5MB or 2G.');
      return bad ? null : v;
    };
    const choice = {
      text: $('view-text').value,
      regex: $('view-regex').checked,
      negate: $('view-not').checked,
      kinds: T.kinds.KINDS.filter((k) => chips[k].getAttribute('aria-pressed') === 'true'),
      minBytes: size('view-min', 'The minimum'),
      maxBytes: size('view-max', 'The maximum'),
      keepUnknownSize: $('view-unknown').checked,
      includeHosts: $('view-hosts-in').value,
      excludeHosts: $('view-hosts-out').value,
    };
    return { choice, errors };
  }

  function applyViewFilter() {
    const { choice, errors } = readViewFilter();
    const compiled = T.viewfilter.compile(choice);
    $('view-text').setAttribute('aria-invalid', compiled.error ? 'true' : 'false');
    if (compiled.error) errors.unshift(compiled.error.message);
    $('view-error').textContent = errors.join(' ');
    model.setFilter(compiled.active ? compiled.test : null);
    refresh();
  }

  function clearViewFilter() {
    for (const id of ['view-text', 'view-min', 'view-max', 'view-hosts-in', 'view-hosts-out']) $(id).value = '';
    $('view-regex').checked = false;
    $('view-not').checked = false;
    $('view-unknown').checked = true;
    for (const k in chips) chips[k].setAttribute('aria-pressed', 'false');
    applyViewFilter();
  }

  for (const id of ['view-text', 'view-min', 'view-max', 'view-hosts-in', 'view-hosts-out'])
    $(id).addEventListener('input', applyViewFilter);
  for (const id of ['view-regex', 'view-not', 'view-unknown']) $(id).addEventListener('change', applyViewFilter);
  $('clear-view').addEventListener('click', clearViewFilter);

  function applyFolding() {
    model.setFolding($('fold-dups').checked, $('fold-segments').checked);
    settings.foldDuplicates = model.foldDuplicates;
    settings.foldSegments = model.foldSegments;
    saveSettingsNow();
    refresh();
  }
  $('fold-dups').addEventListener('change', applyFolding);
  $('fold-segments').addEventListener('change', applyFolding);

  // ---- Actions on the selection, or on every row shown.
  function actionRows() {
    return model.actionRows();
  }

  function openRows(rows) {
    const urls = T.model.rowUrls(rows.filter((r) => r.type !== 'group'));
    if (urls.length === 0) {
      notice(rows.length > 0 ? 'Segments are opened one by one: switch off “Fold segments” first.' : 'Nothing to open.');
      return;
    }
    if (urls.length > OPEN_WITHOUT_ASKING && !window.confirm('Open ' + plural(urls.length, 'address', 'addresses') + '?')) return;
    let failed = 0;
    let noService = false;
    for (const url of urls) {
      const r = T.service.call('open', { url });
      if (!r.ok) {
        failed++;
        if (r.error === 'no-service') {
          noService = true;
          break;
        }
      }
    }
    if (noService) say(T.service.START_ERRORS['no-service']);
    else if (failed === 1 && urls.length === 1) say('The address could not be opened: no program takes it, or it is malformed.');
    else if (failed > 0) say(plural(failed, 'address', 'addresses') + ' of ' + numberFormat.format(urls.length) + ' could not be opened: no program takes them, or they are malformed.');
    else {
      say('');
      notice('Opened ' + plural(urls.length, 'address', 'addresses') + '.');
    }
  }

  // The program's clipboard call takes one text; many lines go in one call.
  function copyText(text, what) {
    if (text === '') {
      notice('Nothing to copy.');
      return false;
    }
    const r = T.service.call('copyURL', { url: text });
    if (r.ok) {
      say('');
      notice('Copied ' + what + '.');
      return true;
    }
    say(r.error === 'no-service' ? T.service.START_ERRORS['no-service'] : 'The clipboard did not take the text; try again.');
    return false;
  }

  function copyAddresses(rows) {
    const urls = T.model.rowUrls(rows);
    copyText(urls.join('\n'), plural(urls.length, 'address', 'addresses'));
  }

  function copyCommand(rows) {
    const tool = $('cmd-tool').value;
    const urls = T.model.rowUrls(rows);
    const c = T.exporting.commandLine(tool, urls);
    if (c.count === 0) {
      notice(urls.length > 0 ? 'None of these addresses can be passed on a command line.' : 'Nothing to copy.');
      return;
    }
    const label = T.exporting.TOOLS[tool].label;
    if (copyText(c.text, 'a ' + label + ' command for ' + plural(c.count, 'address', 'addresses')) && c.skipped > 0)
      notice('Copied a ' + label + ' command; ' + plural(c.skipped, 'address was', 'addresses were') + ' left out (empty, or holding a NUL character).');
  }

  function exportText(rows) {
    const f = T.exporting.FORMATS[$('export-format').value];
    return { text: f.make(T.model.exportItems(rows)), format: $('export-format').value, f };
  }

  function exportCopy(rows) {
    const { text, f } = exportText(rows);
    copyText(text, f.label + ' of ' + plural(T.model.exportItems(rows).length, 'row', 'rows'));
  }

  // Saves through a download link. The engine's own download handling puts the file in
  // the user's download folder (the XDG download directory, else the home folder) as
  // long as the program leaves navigation and response decisions to the engine.
  // FIXME: the page learns nothing about the download's outcome; reporting it would
  // take a page call from the program's "download-started" / "finished" / "failed".
  let lastExportBase = '';
  let exportNameCount = 0;
  function exportSave(rows) {
    const { text, format, f } = exportText(rows);
    // Two saves within one second would otherwise ask for the same file name.
    const base = T.exporting.exportFileName(format);
    if (base === lastExportBase) exportNameCount++;
    else {
      lastExportBase = base;
      exportNameCount = 1;
    }
    const name = exportNameCount === 1 ? base : base.replace(/(\.\w+)$/, '-' + exportNameCount + '$1');
    try {
      const blob = new Blob([text], { type: f.mime + ';charset=utf-8' });
      const href = URL.createObjectURL(blob);
      const a = document.createElement('a');
      a.href = href;
      a.download = name;
      a.hidden = true;
      document.body.appendChild(a);
      a.click();
      a.remove();
      setTimeout(() => URL.revokeObjectURL(href), 60000);
      notice('Saving ' + name + ' in your download folder.');
    } catch (e) {
      say('The file could not be saved: ' + (e && e.message ? e.message : e) + '. Use “Copy export” instead.');
    }
  }

  function clearList() {
    takeRecords(Infinity);
    if (currentScan) saveHistoryNow();
    if (currentScan && state !== 'idle') {
      // The scan goes on: what arrives from now on is kept as a scan of its own.
      beginScan(currentScan.url, currentScan.filter);
    } else {
      currentScan = null;
      shownScan = null;
      clearModel();
      renderHistory();
    }
    notice('The list is empty. Saved scans stay in the history.');
  }

  $('select-all').addEventListener('click', () => {
    model.selectAllVisible();
    refresh();
  });
  $('act-open').addEventListener('click', () => openRows(actionRows()));
  $('act-copy').addEventListener('click', () => copyAddresses(actionRows()));
  $('act-cmd').addEventListener('click', () => copyCommand(actionRows()));
  $('export-copy').addEventListener('click', () => exportCopy(actionRows()));
  $('export-save').addEventListener('click', () => exportSave(actionRows()));
  $('clear-list').addEventListener('click', clearList);
  $('cmd-tool').addEventListener('change', () => {
    settings.tool = $('cmd-tool').value;
    saveSettingsNow();
  });
  $('export-format').addEventListener('change', () => {
    settings.exportFormat = $('export-format').value;
    saveSettingsNow();
  });

  // ---- Keys.
  function inTextField(el) {
    if (!el) return false;
    if (el.isContentEditable) return true;
    if (el.tagName === 'TEXTAREA' || el.tagName === 'SELECT') return true;
    if (el.tagName !== 'INPUT') return false;
    return !['checkbox', 'radio', 'button', 'submit', 'reset'].includes(el.type);
  }

  function moveCursor(to, extend) {
    const n = model.view.length;
    if (n === 0) return;
    const i = Math.max(0, Math.min(n - 1, to));
    const row = model.view[i];
    if (extend) model.selectRange(row, false);
    else model.selectOnly(row);
    grid.reveal(i);
    refresh();
  }

  function onGridKey(e) {
    const n = model.view.length;
    const cur = model.indexOf(model.cursor);
    const ctrl = e.ctrlKey || e.metaKey;
    switch (e.key) {
      case 'ArrowDown':
        moveCursor(cur < 0 ? 0 : cur + 1, e.shiftKey);
        break;
      case 'ArrowUp':
        moveCursor(cur < 0 ? 0 : cur - 1, e.shiftKey);
        break;
      case 'PageDown':
        moveCursor((cur < 0 ? 0 : cur) + grid.pageRows(), e.shiftKey);
        break;
      case 'PageUp':
        moveCursor((cur < 0 ? 0 : cur) - grid.pageRows(), e.shiftKey);
        break;
      case 'Home':
        moveCursor(0, e.shiftKey);
        break;
      case 'End':
        moveCursor(n - 1, e.shiftKey);
        break;
      case ' ':
        if (model.cursor) model.toggle(model.cursor);
        else moveCursor(0, false);
        refresh();
        break;
      case 'Enter':
        if (model.cursor) openRows([model.cursor]);
        break;
      case 'Escape':
        model.clearSelection();
        refresh();
        break;
      case 'a':
      case 'A':
        if (!ctrl) return;
        model.selectAllVisible();
        refresh();
        break;
      default:
        return;
    }
    e.preventDefault();
  }

  document.addEventListener('keydown', (e) => {
    try {
      const t = e.target;
      const ctrl = e.ctrlKey || e.metaKey;
      const key = e.key.length === 1 ? e.key.toLowerCase() : e.key;
      if (e.altKey && !ctrl && (key === 'p' || e.code === 'KeyP')) {
        e.preventDefault();
        togglePause();
        return;
      }
      if (e.altKey && !ctrl && (key === 's' || e.code === 'KeyS')) {
        e.preventDefault();
        stop();
        return;
      }
      if ((key === '/' && !ctrl && !e.altKey && !inTextField(t)) || (ctrl && !e.altKey && key === 'f')) {
        e.preventDefault();
        $('view-text').focus();
        $('view-text').select();
        return;
      }
      if (ctrl && !e.altKey && key === 'c' && !inTextField(t)) {
        const sel = window.getSelection && window.getSelection();
        if (t !== $('grid') && sel && !sel.isCollapsed) return;
        const rows = model.selected.size > 0 ? model.actionRows() : model.cursor ? [model.cursor] : [];
        if (rows.length === 0) return;
        e.preventDefault();
        copyAddresses(rows);
        return;
      }
      if (t === $('grid')) onGridKey(e);
    } catch (err) {
      reportError(err);
    }
  });

  $('grid').addEventListener('focus', () => {
    if (!model.cursor && model.view.length > 0) {
      model.cursor = model.view[Math.min(model.view.length - 1, Math.floor(grid.body.scrollTop / T.grid.ROW_HEIGHT))];
      refresh();
    }
  });

  // ---- Form and scan buttons.
  $('scan-form').addEventListener('submit', (e) => {
    e.preventDefault();
    start();
  });
  $('pause').addEventListener('click', togglePause);
  $('stop').addEventListener('click', stop);
  for (const id of ['filter-off', 'filter-mime', 'filter-ext'])
    $(id).addEventListener('change', () => {
      settings.filterKind = filterKind();
      saveSettingsNow();
    });
  for (const id of ['mime-text', 'ext-text'])
    $(id).addEventListener('focus', () => {
      // Typing a filter text means choosing that filter.
      $(id === 'mime-text' ? 'filter-mime' : 'filter-ext').checked = true;
      saveSettingsNow();
    });
  for (const id of ['url', 'mime-text', 'ext-text']) $(id).addEventListener('input', saveSettingsNow);

  // ---- Settings. They are written at every change: closing the window gives the page
  // no chance to write them later, and they are a few hundred characters.
  function saveSettingsNow() {
    settings.url = $('url').value.slice(0, 100000);
    settings.filterKind = filterKind();
    settings.mimeText = $('mime-text').value.slice(0, 1000);
    settings.extText = $('ext-text').value.slice(0, 1000);
    T.storage.saveSettings(storage, settings);
  }

  function applyTheme() {
    const t = settings.theme;
    if (t === 'system') document.documentElement.removeAttribute('data-theme');
    else document.documentElement.dataset.theme = t;
  }
  $('theme').addEventListener('change', () => {
    settings.theme = $('theme').value;
    applyTheme();
    saveSettingsNow();
  });

  // ---- History.
  function scanRows() {
    const max = T.storage.ROWS_PER_SCAN;
    const rows = [];
    for (const e of model.entries) {
      if (rows.length >= max) break;
      rows.push([e.url, e.fileName, e.mimeType, e.size, e.hits, e.firstSeen, e.lastSeen]);
    }
    return rows;
  }
  // Writes the history now when the last write is long enough ago, else once it is.
  function saveHistorySoon() {
    if (!currentScan || historyTimer) return;
    const wait = historyNext - performance.now();
    if (wait <= 0) saveHistory();
    else historyTimer = setTimeout(saveHistory, wait);
  }
  // With every record received so far (the inbox is emptied first).
  function saveHistoryNow() {
    takeRecords(Infinity);
    saveHistory();
  }
  // With the records taken in so far: the rest are taken in, and written, in later frames.
  function saveHistory() {
    clearTimeout(historyTimer);
    historyTimer = 0;
    if (!currentScan || !storage || model.entries.length === 0) return;
    const t0 = performance.now();
    try {
      const r = T.storage.saveScan(
        storage,
        history,
        {
          id: currentScan.id,
          url: currentScan.url,
          started: currentScan.started,
          ended: Date.now(),
          filter: currentScan.filter,
          total: model.hitTotal,
          truncated: model.entries.length > T.storage.ROWS_PER_SCAN,
          rows: scanRows(),
        },
        settings.historyLimit
      );
      history = r.history;
      renderHistory();
      tellCut(r);
    } catch (e) {
      reportError(e);
    }
    const t = performance.now();
    historyNext = t + (t - t0) / HISTORY_SHARE;
  }

  // Says once per scan, and again when it gets worse, what the history could not keep.
  function tellCut(r) {
    if (!r.cut) return;
    currentScan.scansDropped += r.scansDropped;
    const dropped = currentScan.scansDropped;
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
    const text = parts.join(' ');
    if (text === historyCut) return;
    historyCut = text;
    say(text);
  }

  function renderHistory() {
    const list = $('history-list');
    list.textContent = '';
    $('history').querySelector('summary').textContent = 'History (' + history.length + ')';
    if (history.length === 0) {
      const li = document.createElement('li');
      li.className = 'fine';
      li.textContent = settings.historyLimit === 0 ? 'The history is off.' : 'No saved scans yet.';
      list.appendChild(li);
      return;
    }
    for (const m of history) {
      const li = document.createElement('li');
      const current = (currentScan && currentScan.id === m.id) || (shownScan && shownScan.id === m.id);
      if (current) li.className = 'current';
      const what = document.createElement('span');
      what.className = 'what';
      const when = new Date(m.started).toLocaleString();
      what.textContent =
        when + ' — ' + clipText(m.url || '(no address)', 300) + ' — ' + plural(m.rowCount, 'address', 'addresses') + (m.truncated ? ' (cut short)' : '');
      what.title = 'Filter: ' + (m.filter || 'unknown');
      const show = document.createElement('button');
      show.type = 'button';
      show.textContent = 'Show';
      show.disabled = state !== 'idle' || !!current;
      show.title = state !== 'idle' ? 'Stop the scan first' : 'Show this scan in the list';
      show.addEventListener('click', () => showSavedScan(m));
      const del = document.createElement('button');
      del.type = 'button';
      del.textContent = 'Delete';
      del.setAttribute('aria-label', 'Delete the scan of ' + clipText(m.url, 100) + ' from ' + when);
      del.addEventListener('click', () => {
        if (currentScan && currentScan.id === m.id) currentScan.id = uniqueScanId();
        history = T.storage.removeScan(storage, history, m.id);
        renderHistory();
      });
      li.append(what, show, del);
      list.appendChild(li);
    }
  }

  function showSavedScan(meta) {
    if (state !== 'idle') return;
    takeRecords(Infinity);
    if (currentScan) saveHistoryNow();
    currentScan = null;
    model.clear();
    for (const r of T.storage.loadScanRows(storage, meta.id))
      model.addRestored({ url: r[0], fileName: r[1], mimeType: r[2], size: r[3], hits: r[4], firstSeen: r[5], lastSeen: r[6] });
    shownScan = meta;
    grid.body.scrollTop = 0;
    refresh();
    renderHistory();
    notice('Showing the saved scan of ' + clipText(meta.url || '(no address)', 200) + ' from ' + new Date(meta.started).toLocaleString() + '.');
  }

  $('history-limit').addEventListener('change', () => {
    const v = Math.round(Number($('history-limit').value));
    const limit = Number.isFinite(v) ? Math.max(0, Math.min(T.storage.MAX_SCANS, v)) : settings.historyLimit;
    $('history-limit').value = String(limit);
    settings.historyLimit = limit;
    history = T.storage.trimHistory(storage, history, limit);
    saveSettingsNow();
    renderHistory();
  });
  $('history-clear').addEventListener('click', () => {
    history = T.storage.clearHistory(storage);
    if (currentScan) currentScan.id = uniqueScanId();
    renderHistory();
    notice('The history is empty.');
  });

  window.addEventListener('pagehide', () => {
    saveSettingsNow();
    saveHistoryNow();
  });

  // ---- Start-up: the settings and the last saved scan come back.
  function restore() {
    $('url').value = settings.url;
    $('filter-' + settings.filterKind).checked = true;
    $('mime-text').value = settings.mimeText;
    $('ext-text').value = settings.extText;
    $('fold-dups').checked = settings.foldDuplicates;
    $('fold-segments').checked = settings.foldSegments;
    $('cmd-tool').value = settings.tool;
    $('export-format').value = settings.exportFormat;
    $('theme').value = settings.theme;
    $('history-limit').value = String(settings.historyLimit);
    applyTheme();
    model.setFolding(settings.foldDuplicates, settings.foldSegments);
    model.setSort(settings.sortCol, settings.sortDir);
    grid.setSortMarks(model.sortCol, model.sortDir);
    setState('idle');
    renderHistory();
    if (history.length > 0 && !currentScan) showSavedScan(history[0]);
    refresh();
  }
  restore();

  // For tests and the benchmark: the page's parts, and a way to bring the list up to
  // date without waiting for a frame.
  window.trawletApp = {
    model,
    grid,
    stats,
    flush: refresh,
    setSort,
    applyViewFilter,
    clearViewFilter,
    get state() {
      return state;
    },
    get rejected() {
      return rejected;
    },
  };
})();
