// The page itself: it connects the scan controls, the result list, the view filter, the
// actions, the settings, the history and the keys to the logic in the other scripts. The
// program calls addResult and updateInputUrl very often and with data from pages we do
// not control, so neither may throw and neither builds markup from it.
(function () {
  'use strict';
  const T = window.Trawlet;
  const $ = (id) => document.getElementById(id);
  const { plural, clipText } = T.words;
  const storage = (() => {
    try {
      return window.localStorage || null;
    } catch (e) {
      return null;
    }
  })();

  // Every record received, parsed, in arrival order (read by tests and tools). Reading it
  // takes in every record received so far.
  const results = [];
  Object.defineProperty(window, 'trawletResults', {
    configurable: true,
    enumerable: true,
    get() {
      feed.take(Infinity);
      return results;
    },
  });
  let rejected = 0;

  const model = new T.model.ResultModel();
  const settings = T.storage.loadSettings(storage);
  let state = 'idle';
  // Set when records come from a scan this page did not start (it was reloaded during
  // one): Stop stays usable, since the page cannot know the native state otherwise.
  let foreignScan = false;
  let emptyKey = '';
  let waitingTimer = 0;

  function reportError(e) {
    if (window.console && console.error) console.error('Trawlet page:', e);
  }

  const clock = T.feed.pageClock();
  const feed = T.feed.createFeed({
    clock,
    take: takeRecord,
    taken: () => history.saveSoon(),
    update: () => model.flush(),
    urgent: () => grid.needsRender(),
    draw: {
      rows: () => grid.render(),
      counts: () => {
        updateCounts();
        updateEmpty();
      },
    },
    onError: reportError,
  });
  // Brings everything on screen up to date now (after a user action) rather than at the
  // next frame.
  const refresh = feed.refresh;

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

  const history = T.history.createHistory({
    store: storage,
    settings,
    model,
    takeAll: () => feed.take(Infinity),
    state: () => state,
    say,
    notice,
    onError: reportError,
    showRows: () => {
      grid.body.scrollTop = 0;
      refresh();
    },
    list: $('history-list'),
    summary: $('history').querySelector('summary'),
    clock,
  });

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
    const built = T.service.buildStartParams($('url').value, filterKind(), $('mime-text').value, $('ext-text').value);
    if (built.error) {
      say(T.service.START_ERRORS[built.error]);
      const field = { 'empty-url': 'url', 'empty-mime': 'mime-text', 'mime-list': 'mime-text', 'empty-ext': 'ext-text' }[built.error];
      if (field) $(field).focus();
      return false;
    }
    saveSettingsNow();
    // The page's own record of the previous scan is closed before the new one starts.
    feed.take(Infinity);
    if (history.current) history.saveNow();
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
    history.begin(url, filter);
    settings.url = url;
    saveSettingsNow();
    history.render();
  }

  function togglePause() {
    if (state === 'idle') return;
    // Records that came before the click belong before it.
    feed.take(Infinity);
    const r = control('pause');
    if (!r.ok && r.error === 'no-service') say(T.service.START_ERRORS['no-service']);
  }

  function stop() {
    if (state === 'idle' && !foreignScan) return;
    feed.take(Infinity);
    const r = control('stop');
    if (r.ok) history.saveNow();
    else if (r.error === 'no-service') say(T.service.START_ERRORS['no-service']);
  }

  // ---- Calls from the program.
  window.addResult = function (text) {
    try {
      feed.push(text);
    } catch (e) {
      reportError(e);
    }
  };

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
      if (!history.current) {
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

  // ---- The list.
  const grid = new T.grid.Grid({
    root: $('grid'),
    head: $('grid-head'),
    body: $('results'),
    model,
    columns: settings.columns.map((c) => ({
      id: c.id,
      label: T.listtext.COLUMN_LABELS[c.id],
      width: c.width,
      defaultWidth: T.storage.DEFAULT_WIDTHS[c.id],
    })),
    minWidth: T.storage.MIN_WIDTH,
    maxWidth: T.storage.MAX_WIDTH,
    text: T.listtext.cellText,
    badge: T.listtext.badge,
    requestRender: () => feed.schedule(),
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
      if (action === 'open') actions.openRows([row]);
      else actions.copyAddresses([row]);
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
    const line = T.listtext.countLine(c, rejected, model.entries.length > 0);
    el.textContent = line.text;
    $('scope').textContent = line.scope;
    for (const id of ['select-all', 'act-open', 'act-copy', 'act-cmd', 'export-copy', 'export-save']) $(id).disabled = c.shown === 0;
    $('clear-list').disabled = model.entries.length === 0;
  }

  // The word shown over an empty list: what to do next, or why nothing is there.
  function updateEmpty() {
    const scan = history.current;
    const key = T.listtext.emptyKey({
      shown: model.view.length,
      entries: model.entries.length,
      state,
      started: scan ? scan.started : null,
      now: Date.now(),
    });
    if (key === emptyKey) return;
    emptyKey = key;
    clearTimeout(waitingTimer);
    if (key === 'waiting')
      waitingTimer = setTimeout(updateEmpty, Math.max(0, scan.started + T.listtext.NOTHING_YET_DELAY + 50 - Date.now()));
    const el = $('empty');
    el.hidden = key === '';
    el.textContent = '';
    const p = document.createElement('p');
    if (key) p.textContent = T.listtext.EMPTY_TEXTS[key];
    el.appendChild(p);
    if (key === 'filtered') {
      const b = document.createElement('button');
      b.type = 'button';
      b.id = 'empty-clear-view';
      b.textContent = 'Show every row';
      b.addEventListener('click', clearViewFilter);
      el.appendChild(b);
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
    b.textContent = T.listtext.KIND_LABELS[k];
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
  const actions = T.actions.createActions({
    say,
    notice,
    confirm: (question) => window.confirm(question),
    tool: () => $('cmd-tool').value,
    format: () => $('export-format').value,
  });

  function clearList() {
    feed.take(Infinity);
    const scan = history.current;
    if (scan) history.saveNow();
    if (scan && state !== 'idle') {
      // The scan goes on: what arrives from now on is kept as a scan of its own.
      beginScan(scan.url, scan.filter);
    } else {
      history.end();
      clearModel();
      history.render();
    }
    notice('The list is empty. Saved scans stay in the history.');
  }

  $('select-all').addEventListener('click', () => {
    model.selectAllVisible();
    refresh();
  });
  for (const [id, act] of [
    ['act-open', 'openRows'],
    ['act-copy', 'copyAddresses'],
    ['act-cmd', 'copyCommand'],
    ['export-copy', 'exportCopy'],
    ['export-save', 'exportSave'],
  ])
    $(id).addEventListener('click', () => actions[act](model.actionRows()));
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
  T.keys.listen({
    doc: document,
    gridEl: $('grid'),
    grid,
    rowHeight: T.grid.ROW_HEIGHT,
    model,
    refresh,
    open: (rows) => actions.openRows(rows),
    copy: (rows) => actions.copyAddresses(rows),
    pause: togglePause,
    stop,
    find: () => {
      $('view-text').focus();
      $('view-text').select();
    },
    onError: reportError,
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
  $('history-limit').addEventListener('change', () => {
    $('history-limit').value = String(history.setLimit($('history-limit').value));
    saveSettingsNow();
    history.render();
  });
  $('history-clear').addEventListener('click', history.clearAll);

  window.addEventListener('pagehide', () => {
    saveSettingsNow();
    history.saveNow();
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
    history.render();
    if (history.scans.length > 0 && !history.current) history.showSaved(history.scans[0]);
    refresh();
  }
  restore();

  // For tests and the benchmark: the page's parts, and a way to bring the list up to
  // date without waiting for a frame.
  window.trawletApp = {
    model,
    grid,
    stats: feed.stats,
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
