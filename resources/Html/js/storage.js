// Settings and scan history kept in the page's local storage, which the program keeps
// across restarts. Everything read back is checked: storage written by an older page,
// edited by hand or cut short must not break the page. Classic script
// (window.Trawlet.storage) and CommonJS module.
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).storage = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const SETTINGS_KEY = 'trawlet.settings.v1';
  const HISTORY_KEY = 'trawlet.history.v1';
  const SCAN_PREFIX = 'trawlet.scan.v1.';

  const COLUMN_IDS = ['name', 'type', 'size', 'status', 'hits', 'url', 'first', 'last'];
  const DEFAULT_WIDTHS = { name: 200, type: 150, size: 80, status: 84, hits: 50, url: 220, first: 86, last: 86 };
  // Columns that came after the first column settings were written: a stored order that
  // lacks them gets them at their default place rather than losing its order.
  const ADDED_COLUMNS = ['status'];
  const MIN_WIDTH = 40;
  const MAX_WIDTH = 4000;

  // Limits of the history: how many scans (the user can lower or raise it up to
  // MAX_SCANS), how many rows of one scan, and how many characters all of it may take.
  // Local storage holds about five million characters per origin; the rest stays free
  // for settings and for the engine's own margin.
  const DEFAULT_SCANS = 5;
  const MAX_SCANS = 50;
  const ROWS_PER_SCAN = 5000;
  const HISTORY_CHARS = 2000000;

  function defaults() {
    return {
      url: '',
      filterKind: 'off',
      mimeText: '',
      extText: '',
      columns: COLUMN_IDS.map((id) => ({ id, width: DEFAULT_WIDTHS[id] })),
      sortCol: null,
      sortDir: 1,
      foldDuplicates: true,
      foldSegments: true,
      tool: 'curl',
      // Commands carry the Cookie and Authorization headers.
      cmdCredentials: true,
      showDetails: false,
      exportFormat: 'csv',
      theme: 'system',
      historyLimit: DEFAULT_SCANS,
    };
  }

  function pick(v, allowed, fallback) {
    return allowed.includes(v) ? v : fallback;
  }

  function text(v, fallback, max) {
    return typeof v === 'string' && v.length <= (max || 100000) ? v : fallback;
  }

  // Brings whatever was stored into the shape of defaults(). Unknown members are
  // dropped; a column list must name every column exactly once, or the default order
  // comes back (with the stored widths where they are usable).
  function sanitizeSettings(raw) {
    const d = defaults();
    if (!raw || typeof raw !== 'object' || Array.isArray(raw)) return d;
    const s = d;
    s.url = text(raw.url, d.url);
    s.filterKind = pick(raw.filterKind, ['off', 'mime', 'ext'], d.filterKind);
    s.mimeText = text(raw.mimeText, d.mimeText, 1000);
    s.extText = text(raw.extText, d.extText, 1000);
    const widths = {};
    let order = [];
    if (Array.isArray(raw.columns)) {
      for (const c of raw.columns) {
        if (!c || typeof c !== 'object' || !COLUMN_IDS.includes(c.id) || order.includes(c.id)) continue;
        order.push(c.id);
        if (typeof c.width === 'number' && c.width >= MIN_WIDTH && c.width <= MAX_WIDTH) widths[c.id] = Math.round(c.width);
      }
    }
    const missing = COLUMN_IDS.filter((id) => !order.includes(id));
    if (missing.every((id) => ADDED_COLUMNS.includes(id)))
      for (const id of missing) {
        // After the column that comes before it by default, or first.
        const before = COLUMN_IDS[COLUMN_IDS.indexOf(id) - 1];
        order.splice(before ? order.indexOf(before) + 1 : 0, 0, id);
      }
    else order = COLUMN_IDS.slice();
    s.columns = order.map((id) => ({ id, width: widths[id] || DEFAULT_WIDTHS[id] }));
    s.sortCol = COLUMN_IDS.includes(raw.sortCol) ? raw.sortCol : null;
    s.sortDir = raw.sortDir === -1 ? -1 : 1;
    s.foldDuplicates = typeof raw.foldDuplicates === 'boolean' ? raw.foldDuplicates : d.foldDuplicates;
    s.foldSegments = typeof raw.foldSegments === 'boolean' ? raw.foldSegments : d.foldSegments;
    s.tool = pick(raw.tool, ['curl', 'wget', 'media'], d.tool);
    s.cmdCredentials = typeof raw.cmdCredentials === 'boolean' ? raw.cmdCredentials : d.cmdCredentials;
    s.showDetails = typeof raw.showDetails === 'boolean' ? raw.showDetails : d.showDetails;
    s.exportFormat = pick(raw.exportFormat, ['text', 'csv', 'json', 'har'], d.exportFormat);
    s.theme = pick(raw.theme, ['system', 'light', 'dark'], d.theme);
    s.historyLimit =
      Number.isInteger(raw.historyLimit) && raw.historyLimit >= 0 && raw.historyLimit <= MAX_SCANS ? raw.historyLimit : d.historyLimit;
    return s;
  }

  function readJson(storage, key) {
    try {
      const t = storage.getItem(key);
      return t == null ? null : JSON.parse(t);
    } catch (e) {
      return null;
    }
  }

  // Writes a text; false when storage refused it (quota, storage disabled), after handing
  // the error to onRefused when given.
  function write(storage, key, value, onRefused) {
    try {
      storage.setItem(key, value);
      return true;
    } catch (e) {
      if (onRefused) onRefused(e);
      return false;
    }
  }

  // What the page says when storage refused a write: a full storage apart from the rest.
  function refusalText(e) {
    const name = e && typeof e === 'object' ? String(e.name || '') : '';
    const full = name === 'QuotaExceededError' || (e && e.code === 22) || /quota/i.test(String((e && e.message) || e));
    return (
      'Settings and history will not be kept: ' +
      (full ? 'the page’s storage is full.' : 'the page’s storage refused to write (' + text(String(name || e), 'unknown error', 200) + ').')
    );
  }

  function loadSettings(storage) {
    return sanitizeSettings(storage ? readJson(storage, SETTINGS_KEY) : null);
  }

  function saveSettings(storage, settings, onRefused) {
    return !!storage && write(storage, SETTINGS_KEY, JSON.stringify(sanitizeSettings(settings)), onRefused);
  }

  // The history is an index under HISTORY_KEY, newest first, of
  //   { id, url, started, ended, filter, total, rowCount, truncated, chars }
  // and, for each scan, its rows under SCAN_PREFIX + id, each row
  //   [url, fileName, mimeType, size, hits, firstSeen, lastSeen, details?]
  // where details, when the program gave any, is [status, method, length, destination]
  // (details.toSaved): never headers, so never cookies.
  // Keeping the rows apart means that saving the running scan writes only its own rows.
  function sanitizeMeta(m) {
    if (!m || typeof m !== 'object' || !Number.isFinite(m.id)) return null;
    const count = (v) => (Number.isInteger(v) && v >= 0 ? v : 0);
    return {
      id: m.id,
      url: text(m.url, '', 100000),
      started: Number.isFinite(m.started) ? m.started : m.id,
      ended: Number.isFinite(m.ended) ? m.ended : 0,
      filter: text(m.filter, '', 2000),
      total: count(m.total),
      rowCount: count(m.rowCount),
      truncated: m.truncated === true,
      chars: count(m.chars),
    };
  }

  function sanitizeSavedDetails(t) {
    if (!Array.isArray(t)) return null;
    return [
      Number.isInteger(t[0]) && t[0] >= 0 && t[0] <= 999 ? t[0] : 0,
      text(t[1], '', 32),
      Number.isSafeInteger(t[2]) && t[2] >= 0 ? t[2] : -1,
      text(t[3], '', 32),
    ];
  }

  // One saved row as the storage keeps it, or null when it is no row at all.
  function sanitizeRow(r) {
    if (!Array.isArray(r) || typeof r[0] !== 'string') return null;
    const row = [
      r[0],
      typeof r[1] === 'string' ? r[1] : '',
      typeof r[2] === 'string' ? r[2] : '',
      typeof r[3] === 'string' ? r[3] : 'unknown',
      Number.isInteger(r[4]) && r[4] > 0 ? r[4] : 1,
      Number.isFinite(r[5]) ? r[5] : 0,
      Number.isFinite(r[6]) ? r[6] : 0,
    ];
    const details = sanitizeSavedDetails(r[7]);
    if (details) row.push(details);
    return row;
  }

  function sanitizeRows(raw) {
    const rows = [];
    if (!Array.isArray(raw)) return rows;
    for (const r of raw) {
      const row = sanitizeRow(r);
      if (!row) continue;
      rows.push(row);
      if (rows.length >= ROWS_PER_SCAN) break;
    }
    return rows;
  }

  // The text saveScan writes for one row, or null when it is no row at all. Made apart
  // so that a caller that writes the same rows again and again can keep the texts.
  function rowText(r) {
    const row = sanitizeRow(r);
    return row ? JSON.stringify(row) : null;
  }

  function loadHistory(storage) {
    const raw = storage ? readJson(storage, HISTORY_KEY) : null;
    if (!Array.isArray(raw)) return [];
    const out = [];
    const ids = new Set();
    for (const m of raw) {
      const meta = sanitizeMeta(m);
      if (meta && !ids.has(meta.id)) {
        ids.add(meta.id);
        out.push(meta);
      }
    }
    return out;
  }

  function loadScanRows(storage, id) {
    return sanitizeRows(storage ? readJson(storage, SCAN_PREFIX + id) : null);
  }

  function remove(storage, key) {
    try {
      storage.removeItem(key);
    } catch (e) {
      // Storage that cannot be changed keeps what it has; nothing more to do.
    }
  }

  // Saves one scan ({ id, url, started, ended, filter, total, texts }) into the history
  // index given (as loadHistory returned it), newest first, within the limits: at most
  // limit scans and HISTORY_CHARS characters of rows, at most ROWS_PER_SCAN rows per
  // scan. The new scan is first cut to what could ever fit on its own (rows dropped from
  // its end, and an address too long to keep loses the row); older scans then go, oldest
  // first, only as long as the two together do not fit or storage refuses the write.
  // Returns { history, cut, saved, rowsCut, scansDropped }: the new index, whether
  // anything had to be cut, whether the scan is stored, how many of its rows were left
  // out and how many older scans went to make room. texts are the scan's rows as rowText
  // made them (null for what was no row).
  function saveScan(storage, history, scan, limit) {
    const max = Number.isInteger(limit) && limit >= 0 ? Math.min(limit, MAX_SCANS) : DEFAULT_SCANS;
    let index = (history || []).filter((m) => m.id !== scan.id);
    const given = Array.isArray(scan.texts) ? scan.texts : [];
    let truncated = scan.truncated === true;
    let scansDropped = 0;
    let texts = [];
    const result = (saved) => {
      const rowsCut = saved ? given.length - texts.length : given.length;
      return { history: index, cut: rowsCut > 0 || scansDropped > 0, saved, rowsCut, scansDropped };
    };
    const dropOldest = () => {
      const old = index.pop();
      remove(storage, SCAN_PREFIX + old.id);
      scansDropped++;
    };
    const gone = () => {
      remove(storage, SCAN_PREFIX + scan.id);
      write(storage, HISTORY_KEY, JSON.stringify(index));
      return result(false);
    };
    if (max === 0) {
      while (index.length > 0) dropOldest();
      return gone();
    }
    while (index.length > max - 1) dropOldest();

    // The new scan alone within the budget: each row costs its text and a comma. The
    // scan's text is the rows' texts joined, as JSON.stringify writes an array.
    let chars = 2;
    for (const text of given) {
      if (typeof text !== 'string' || texts.length >= ROWS_PER_SCAN) continue;
      if (chars + text.length + 1 > HISTORY_CHARS) continue;
      chars += text.length + 1;
      texts.push(text);
    }
    if (texts.length < given.length) truncated = true;
    if (texts.length === 0) return gone();
    for (;;) {
      const rowsText = '[' + texts.join(',') + ']';
      const others = index.reduce((n, m) => n + m.chars, 0);
      if (rowsText.length + others > HISTORY_CHARS && index.length > 0) {
        dropOldest();
        continue;
      }
      const meta = sanitizeMeta({
        id: scan.id,
        url: scan.url,
        started: scan.started,
        ended: scan.ended,
        filter: scan.filter,
        total: scan.total,
        rowCount: texts.length,
        truncated,
        chars: rowsText.length,
      });
      if (write(storage, SCAN_PREFIX + scan.id, rowsText)) {
        const next = [meta].concat(index);
        if (write(storage, HISTORY_KEY, JSON.stringify(next))) {
          index = next;
          return result(true);
        }
      }
      // Storage refused: older scans make room first, then this scan gives up rows.
      if (index.length > 0) dropOldest();
      else if (texts.length > 1) {
        texts = texts.slice(0, Math.floor(texts.length / 2));
        truncated = true;
      } else return gone();
    }
  }

  function removeScan(storage, history, id) {
    const next = (history || []).filter((m) => m.id !== id);
    remove(storage, SCAN_PREFIX + id);
    write(storage, HISTORY_KEY, JSON.stringify(next));
    return next;
  }

  // Removes the index and every stored scan, also scans that an index cut short by an
  // earlier failure no longer names.
  function clearHistory(storage) {
    const keys = [];
    try {
      for (let i = 0; i < storage.length; i++) {
        const k = storage.key(i);
        if (typeof k === 'string' && k.startsWith(SCAN_PREFIX)) keys.push(k);
      }
    } catch (e) {
      // Fall through: at least the index goes.
    }
    for (const k of keys) remove(storage, k);
    remove(storage, HISTORY_KEY);
    return [];
  }

  // Applies a lower limit to what is stored.
  function trimHistory(storage, history, limit) {
    const next = (history || []).slice();
    while (next.length > Math.max(0, limit)) remove(storage, SCAN_PREFIX + next.pop().id);
    write(storage, HISTORY_KEY, JSON.stringify(next));
    return next;
  }

  return {
    SETTINGS_KEY,
    HISTORY_KEY,
    SCAN_PREFIX,
    COLUMN_IDS,
    ADDED_COLUMNS,
    DEFAULT_WIDTHS,
    MIN_WIDTH,
    MAX_WIDTH,
    ROWS_PER_SCAN,
    HISTORY_CHARS,
    MAX_SCANS,
    defaults,
    sanitizeSettings,
    loadSettings,
    saveSettings,
    refusalText,
    loadHistory,
    loadScanRows,
    rowText,
    saveScan,
    removeScan,
    clearHistory,
    trimHistory,
  };
});
