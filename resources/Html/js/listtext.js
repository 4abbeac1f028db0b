// What the list says: its column titles and type names, the text of each cell, the count
// line under it, and the word over an empty list. Classic script (window.Trawlet.listtext)
// and CommonJS module.
(function (root, factory) {
  'use strict';
  const api = factory(typeof module === 'object' && module.exports ? require('./words.js') : root.Trawlet.words);
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).listtext = api;
})(typeof self !== 'undefined' ? self : this, function (words) {
  'use strict';

  const { plural } = words;

  const COLUMN_LABELS = {
    name: 'Name',
    type: 'Type',
    size: 'Size',
    status: 'Status',
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
  // How long a running scan with nothing in the list says it waits before it says that
  // nothing matched yet (ms).
  const NOTHING_YET_DELAY = 4000;

  // "14:05:09" in local time; "" for no time.
  function clock(t) {
    if (!t) return '';
    const d = new Date(t);
    const p = (n) => (n < 10 ? '0' : '') + n;
    return p(d.getHours()) + ':' + p(d.getMinutes()) + ':' + p(d.getSeconds());
  }

  // The status cell: the code, after the method when it is not GET; a segment group lists
  // the codes of its segments. "" when the program told nothing, "—" when the load got no
  // status (it failed, or was refused).
  function statusText(row) {
    if (row.type === 'group') {
      const codes = [];
      for (const s of row.statuses.keys()) if (s >= 0) codes.push(s);
      codes.sort((a, b) => a - b);
      const shown = codes.slice(0, 3).map((c) => (c === 0 ? '—' : String(c)));
      return shown.join(' ') + (codes.length > 3 ? ' …' : '');
    }
    const s = typeof row.status === 'number' ? row.status : -1;
    if (s < 0) return '';
    const code = s === 0 ? '—' : String(s);
    const m = row.method;
    return m && m !== 'GET' ? m + ' ' + code : code;
  }

  // A cell's tooltip where the text alone says too little ("" for none).
  function cellTitle(row, col) {
    if (col !== 'status') return '';
    const d = row.details;
    if (!d) return '';
    if (d.status === 0) return 'No status: the load failed or was refused';
    const what = (d.method ? d.method + ' · ' : '') + d.status + (d.statusText ? ' ' + d.statusText : '');
    return row.type === 'group' ? 'Latest segment: ' + what : what;
  }

  function cellText(row, col) {
    switch (col) {
      case 'name':
        if (row.type === 'group') return row.fileName;
        return row.fileName === '' ? '(no name)' : row.fileName;
      case 'type':
        return row.mimeType;
      case 'size':
        // A group whose known sizes add up, with members of unknown size: at least that.
        if (row.type === 'group' && row.unknownCount > 0 && row.bytes >= 0) return row.size + '+';
        return row.size;
      case 'status':
        return statusText(row);
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

  // The count line and the scope of the actions, from the model's counts (c), the
  // malformed records ignored and whether the list holds any entry.
  function countLine(c, rejected, hasEntries) {
    const parts = [];
    if (c.total === 0 && !hasEntries) parts.push('No results');
    else parts.push(plural(c.shown, 'row', 'rows') + ' shown of ' + plural(c.total, 'hit', 'hits'));
    if (c.duplicatesHidden > 0) parts.push(plural(c.duplicatesHidden, 'duplicate', 'duplicates') + ' folded');
    if (c.segmentsFolded > 0) parts.push(plural(c.segmentsFolded, 'segment', 'segments') + ' folded');
    if (c.selected > 0) parts.push(plural(c.selected, 'selected', 'selected'));
    if (c.dropped > 0) parts.push(plural(c.dropped, 'record', 'records') + ' dropped (the list is full)');
    if (rejected > 0) parts.push(plural(rejected, 'malformed record', 'malformed records') + ' ignored');
    const scope =
      c.selected > 0 ? plural(c.selected, 'row', 'rows') + ' selected:' : c.shown > 0 ? 'All ' + plural(c.shown, 'row', 'rows') + ':' : 'No rows';
    return { text: parts.join(' · '), scope };
  }

  // Which word goes over the list: '' (rows are shown), 'filtered', 'waiting', 'nothing',
  // 'paused', 'stopped' or 'start'. s: { shown, entries, state, started (of the scan
  // being captured, or null without one), now }.
  function emptyKey(s) {
    if (s.shown > 0) return '';
    if (s.entries > 0) return 'filtered';
    if (s.state === 'running') return s.started !== null && s.now - s.started > NOTHING_YET_DELAY ? 'nothing' : 'waiting';
    if (s.state === 'paused') return 'paused';
    return s.started !== null ? 'stopped' : 'start';
  }

  const EMPTY_TEXTS = {
    start: 'Type the address of a page and press Start (or Enter). Everything the page loads appears here.',
    waiting: 'Waiting for the first resource…',
    nothing:
      'Nothing matched yet. The page may still be loading, or the capture filter lets nothing through. ' +
      'If you closed the scan window, press Start to open it again.',
    paused: 'Paused: resources that load now are not captured. Press Resume (Alt+P) to go on.',
    stopped: 'The scan stopped before anything matched.',
    filtered: 'No row matches the view filter.',
  };

  return { COLUMN_LABELS, KIND_LABELS, NOTHING_YET_DELAY, clock, cellText, cellTitle, statusText, badge, countLine, emptyKey, EMPTY_TEXTS };
});
