// The page itself: it connects the scan controls, the result list, the details pane, the
// view filter, the actions, the settings, the history and the keys to the logic in the
// other scripts. The program calls addResult, addResultDetails and updateInputUrl very
// often and with data from pages we do not control, so none may throw and none builds
// markup from it.
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
    empty: () => model.view.length === 0,
    draw: {
      rows: () => grid.render(),
      counts: () => {
        updateCounts();
        scan.showEmpty();
      },
      details: () => detailsPane.render(),
    },
    onError: reportError,
  });
  // Brings everything on screen up to date now (after a user action) rather than at the
  // next frame.
  const refresh = feed.refresh;

  // ---- Messages. What is wrong with the page's storage holds for the whole run, so the
  // message line shows it again whenever it is cleared.
  let noticeTimer = 0;
  let storageNotice = '';
  let storageRefused = false; // the notice is about a refused write, not the program's folder
  function say(text) {
    $('message').textContent = text || storageNotice;
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
    state: () => scan.state,
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

  const scan = T.scan.createScan({
    $,
    feed,
    history,
    model,
    say,
    notice,
    saveSettings: () => saveSettingsNow(),
    emptyList: () => clearModel(),
    clearView: () => viewPanel.clear(),
  });

  // ---- Calls from the program.
  window.addResult = feed.push;

  // The program's details of the response it just gave to addResult. They wait with
  // their record and are taken in with it; when the record was taken in already they go
  // to it at once. Either way they pair only with the record of the same address, and
  // text that cannot be read is ignored.
  window.addResultDetails = function (text) {
    try {
      if (feed.attach(text)) return;
      const d = T.details.parseDetails(text, model.pool);
      if (d && model.attachDetails(model.lastHit, d)) {
        history.saveSoon();
        feed.schedule();
      }
    } catch (e) {
      reportError(e);
    }
  };

  function takeRecord(text, time, detailsText) {
    try {
      const rec = T.record.parseRecord(text);
      if (!rec) {
        rejected++;
        return false;
      }
      results.push(rec);
      scan.adopt();
      const hit = model.add(rec, time);
      if (hit && detailsText !== undefined) model.attachDetails(hit, T.details.parseDetails(detailsText, model.pool));
      return true;
    } catch (e) {
      reportError(e);
      return false;
    }
  }

  // What the program found wrong with the page's storage when it started (the folder cannot
  // be used, or a stored folder had to be replaced), and the page's own refused writes. Each
  // text is said once, so that a change of every setting does not repeat it.
  function tellStorage(text, refused) {
    if (!text || text === storageNotice) return;
    storageNotice = text;
    storageRefused = refused;
    say(text);
  }
  window.storageProblem = function (text) {
    try {
      if (typeof text === 'string') tellStorage(text.slice(0, 2000), false);
    } catch (e) {
      reportError(e);
    }
  };

  // The program calls this before it gives back, through addResult, every record of its
  // scan to a page loaded in place of one whose web process ended (argument: their count).
  window.resumeScan = function () {
    try {
      feed.take(Infinity);
      history.resume();
      scan.resume();
      history.render();
      refresh();
      notice('The page stopped working and was loaded again; the addresses of the scan are back in the list.');
    } catch (e) {
      reportError(e);
    }
  };

  // The program's word on where a saved export went (see actions.fileSaved).
  window.fileSaved = function (text) {
    try {
      actions.fileSaved(text);
    } catch (e) {
      reportError(e);
    }
  };

  // The text of each playlist the scan loaded, sent once it finished loading: what it
  // offers is read at once, so that only the model is kept, not the text. Its row is drawn
  // again, since its badge and the details pane show what the text offered.
  const streamStore = T.streams.createStore();
  let streamsRead = 0;
  window.addResultBody = function (text) {
    try {
      const m = streamStore.take(text);
      if (!m) return;
      streamsRead++;
      model.touch(m.url);
      grid.invalidate();
      feed.schedule();
    } catch (e) {
      reportError(e);
    }
  };

  // What a playlist at an address offers, with what the scan read of its variants' own
  // playlists (their length, keys and DRM).
  function streamModel(url) {
    const m = streamStore.modelFor(url);
    return m ? T.streams.markSeen(T.streamview.withMedia(m, streamStore.modelFor), model.byKey) : null;
  }
  function detailsFor(url) {
    const entry = model.byKey.get(T.record.addressKey(url));
    return entry ? entry.details : null;
  }

  // The stream part of the details pane for the current row: a playlist's qualities, or
  // what a blob: row can tell. Worked out again only when a playlist was read or the list
  // took in a new address (a variant the player loaded), and drawn again only when that
  // changed what it shows.
  let streamShown = { row: null, read: -1, entries: -1, key: '', value: null };
  function streamFor(row) {
    const blob = T.streamview.isBlob(row.url);
    if (!row.playlist && !blob) return null;
    const s = streamShown;
    if (s.row === row && s.read === streamsRead && s.entries === model.entries.length) return s.value;
    let value = null;
    if (blob) {
      const advice = T.streamview.blobAdvice(row.url, model.entries, row.kind);
      value = { key: 'blob:' + advice.playlists.join('\n'), blob: advice };
    } else {
      const m = streamModel(row.url);
      const view = m ? T.streamview.view(m, { mediaModelFor: streamStore.modelFor, requestHeadersFor: keyHeaders }) : null;
      value = view ? { key: JSON.stringify(view), view } : null;
    }
    if (s.value && value && s.value.key === value.key) value = s.value;
    streamShown = { row, read: streamsRead, entries: model.entries.length, value };
    return value;
  }
  // The headers a command sends again for a key the list holds (credentials left out: the
  // pane shows them to everyone looking at the screen).
  function keyHeaders(url) {
    const d = detailsFor(url);
    return d ? T.details.commandHeaders(d, '', false, '') : null;
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
    title: T.listtext.cellTitle,
    badge: (row) => (row.playlist && T.streamview.badge(row, streamStore.modelFor(row.url))) || T.listtext.badge(row),
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

  const viewPanel = T.viewpanel.createViewPanel({ $, chips: $('chips'), model, refresh });

  function applyFolding() {
    model.setFolding($('fold-dups').checked, $('fold-segments').checked);
    settings.foldDuplicates = model.foldDuplicates;
    settings.foldSegments = model.foldSegments;
    saveSettingsNow();
    refresh();
  }
  $('fold-dups').addEventListener('change', applyFolding);
  $('fold-segments').addEventListener('change', applyFolding);

  // ---- The details pane.
  const detailsPane = T.detailspane.createDetailsPane({
    el: $('details'),
    model,
    onClose: () => showDetails(false),
    stream: streamFor,
    onCommand: (row, index, tool) => actions.copyStreamCommand(row, index, tool),
    onGoTo: goToAddress,
    onLeave: () => $('grid').focus({ preventScroll: true }),
  });
  // A playlist row opens to its stream's qualities: the pane is shown and the keyboard
  // goes to the first quality's command.
  function expandRow(row) {
    if (!streamFor(row)) return;
    if (!detailsPane.visible) showDetails(true);
    detailsPane.focusStream();
  }
  // Puts the list's cursor on the row of an address (a blob: row's pointer to its playlist).
  function goToAddress(url) {
    const key = T.record.addressKey(url);
    const i = model.view.findIndex((r) => r.type !== 'group' && T.record.addressKey(r.url) === key);
    if (i < 0) {
      notice('That row is not shown: the view filter or the folding hides it.');
      return;
    }
    model.selectOnly(model.view[i]);
    grid.reveal(i);
    $('grid').focus({ preventScroll: true });
    refresh();
  }
  function showDetails(on) {
    settings.showDetails = !!on;
    $('act-details').setAttribute('aria-pressed', on ? 'true' : 'false');
    detailsPane.show(on);
    saveSettingsNow();
  }
  $('act-details').addEventListener('click', () => showDetails(!detailsPane.visible));

  // ---- Actions on the selection, or on every row shown.
  const actions = T.actions.createActions({
    say,
    notice,
    confirm: (question) => window.confirm(question),
    tool: () => $('cmd-tool').value,
    format: () => $('export-format').value,
    credentials: () => $('cmd-credentials').checked,
    harCredentials: () => $('export-credentials').checked,
    userAgent: typeof navigator !== 'undefined' ? navigator.userAgent : '',
    scan: () => history.current || history.shown,
    // A JSON export nests a playlist's variants under its row (HAR under its entry), CSV
    // and text put them below it; each variant says whether the list holds what a player
    // loads for it.
    withVariants: (items, format) => T.streams.withVariants(items, streamModel, format === 'json' || format === 'har'),
    streamModel,
    detailsFor,
  });

  function clearList() {
    feed.take(Infinity);
    const current = history.current;
    if (current) history.saveNow();
    if (current && scan.state !== 'idle') {
      // The scan goes on: what arrives from now on is kept as a scan of its own.
      scan.begin(current.url, current.filter);
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
  $('cmd-credentials').addEventListener('change', () => {
    settings.cmdCredentials = $('cmd-credentials').checked;
    saveSettingsNow();
  });
  // The HAR export's own switch for credentials is off at every start and shown only
  // while HAR is chosen.
  function showExportOptions() {
    $('export-credentials-label').hidden = $('export-format').value !== 'har';
  }
  $('export-format').addEventListener('change', () => {
    settings.exportFormat = $('export-format').value;
    showExportOptions();
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
    command: () => actions.copyCommand(model.actionRows()),
    expand: expandRow,
    pause: scan.togglePause,
    stop: scan.stop,
    find: () => {
      $('view-text').focus();
      $('view-text').select();
    },
    onError: reportError,
  });

  // ---- Form and scan buttons.
  $('scan-form').addEventListener('submit', (e) => {
    e.preventDefault();
    scan.start();
  });
  $('pause').addEventListener('click', scan.togglePause);
  $('stop').addEventListener('click', scan.stop);
  for (const id of ['filter-off', 'filter-mime', 'filter-ext'])
    $(id).addEventListener('change', () => {
      settings.filterKind = scan.filterKind();
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
    settings.filterKind = scan.filterKind();
    settings.mimeText = $('mime-text').value.slice(0, 1000);
    settings.extText = $('ext-text').value.slice(0, 1000);
    const saved = T.storage.saveSettings(storage, settings, (e) => tellStorage(T.storage.refusalText(e), true));
    if (saved && storageRefused) {
      // Storage takes writes again: a later refusal is said anew.
      storageNotice = '';
      storageRefused = false;
    }
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
    $('cmd-credentials').checked = settings.cmdCredentials;
    $('export-format').value = settings.exportFormat;
    showExportOptions();
    $('act-details').setAttribute('aria-pressed', settings.showDetails ? 'true' : 'false');
    detailsPane.show(settings.showDetails);
    $('theme').value = settings.theme;
    $('history-limit').value = String(settings.historyLimit);
    applyTheme();
    model.setFolding(settings.foldDuplicates, settings.foldSegments);
    model.setSort(settings.sortCol, settings.sortDir);
    grid.setSortMarks(model.sortCol, model.sortDir);
    scan.setState('idle');
    history.render();
    if (history.scans.length > 0 && !history.current) history.showSaved(history.scans[0]);
    refresh();
    if (!storage) tellStorage('Settings and history will not be kept: the page has no local storage.', false);
  }
  restore();

  // The row elements and their styles are made ready while the page waits for its first
  // records; the rows of a throwaway list stand in for them.
  function prepareRows() {
    try {
      const m = new T.model.ResultModel();
      m.setFolding(true, true);
      const now = Date.now();
      const sample = (name, type, size, url) => m.add(T.record.parseRecord(JSON.stringify({ fileName: name, mimeType: type, size, url })), now);
      sample('master.m3u8', 'application/vnd.apple.mpegurl', '2.50KB', 'https://www.example.com/watch/master.m3u8?v=1&t=0');
      sample('clip-0123456789.webm', 'video/webm', '12.75MB', 'https://cdn.example.net/assets/17/clip-0123456789.webm');
      for (let i = 0; i < 3; i++) sample('seg-' + i + '.ts', 'video/mp2t', '1.00MB', 'https://media.example.org/hls/stream/seg-' + i + '.ts');
      m.flush();
      if (feed.waiting === 0) grid.prepare(m.view);
    } catch (e) {
      reportError(e);
    }
  }
  if (typeof requestIdleCallback === 'function') requestIdleCallback(prepareRows, { timeout: 500 });
  else setTimeout(prepareRows, 100);

  // For tests and the benchmark: the page's parts, and a way to bring the list up to
  // date without waiting for a frame.
  window.trawletApp = {
    model,
    grid,
    detailsPane,
    history,
    stats: feed.stats,
    flush: refresh,
    setSort,
    applyViewFilter: viewPanel.apply,
    clearViewFilter: viewPanel.clear,
    get state() {
      return scan.state;
    },
    get rejected() {
      return rejected;
    },
  };
})();
