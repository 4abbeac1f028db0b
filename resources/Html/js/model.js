// The result list's own index: every hit in arrival order, one entry per address
// (fragment ignored) with its hit count, segment groups, the filtered and sorted view,
// and the selection. No DOM: counting, filtering and sorting never touch the page, and
// the whole model runs under Node in the tests. Classic script (window.Trawlet.model)
// and CommonJS module. It is longer than the page's other modules because ResultModel
// brings its entries, groups, view and selection up to date together, in one pass per
// frame, and those four must agree after every flush.
(function (root, factory) {
  'use strict';
  const node = typeof module === 'object' && module.exports;
  const T = root && root.Trawlet;
  const api = factory(node ? require('./record.js') : T.record, node ? require('./kinds.js') : T.kinds, node ? require('./details.js') : T.details);
  if (node) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).model = api;
})(typeof self !== 'undefined' ? self : this, function (record, kinds, details) {
  'use strict';

  // Beyond this many hits the list stops taking records (and counts what it dropped):
  // a hostile page can load resources without end, and the page must stay usable.
  const MAX_HITS = 500000;

  const COLUMN_KEYS = {
    name: (r) => r.sortName,
    type: (r) => r.mimeType,
    size: (r) => r.bytes,
    status: (r) => r.status,
    hits: (r) => r.hits,
    first: (r) => r.firstSeen,
    last: (r) => r.lastSeen,
    url: (r) => r.url,
  };

  // The folder of an address (up to and with its last slash, without query and
  // fragment): segments of one stream share it.
  function folderOf(url) {
    const cut = url.search(/[?#]/);
    const base = cut >= 0 ? url.slice(0, cut) : url;
    const slash = base.lastIndexOf('/');
    return slash >= 0 ? base.slice(0, slash + 1) : base;
  }

  // One received record. In "every hit" mode hits are the rows. A hit keeps only what
  // is its own and takes the rest from its entry: one is made for every record, and the
  // fewer objects a record costs, the less the engine collects garbage while a scan
  // streams in.
  class Hit {
    constructor(id, seq, rec, time, count) {
      this.id = id;
      this.seq = seq;
      this.rec = rec;
      this.entry = null;
      this.hits = count;
      this.occurrence = 1;
      this.firstSeen = time;
      this.lastSeen = time;
      this.version = 0;
      this.inView = false;
      // Set only when this hit's type or size differs from its entry's.
      this.own = null;
      // What the program told about this response beyond the record (details.js), or null.
      this.details = null;
    }
    get type() {
      return 'hit';
    }
    get fileName() {
      return this.rec.fileName;
    }
    get mimeType() {
      return this.rec.mimeType;
    }
    get size() {
      return this.rec.size;
    }
    get url() {
      return this.rec.url;
    }
    // The exact length where the program told it, else what the size text says.
    get bytes() {
      const d = this.details;
      if (d !== null && d.length >= 0) return d.length;
      return this.own ? this.own.bytes : this.entry.bytes;
    }
    // -1: unknown (no details).
    get status() {
      return this.details !== null ? this.details.status : -1;
    }
    get method() {
      return this.details !== null ? this.details.method : '';
    }
    get destination() {
      return this.details !== null ? this.details.destination : '';
    }
    get kind() {
      return this.own ? this.own.kind : this.entry.kind;
    }
    get playlist() {
      return this.own ? this.own.playlist : this.entry.playlist;
    }
    get segment() {
      return this.entry.segment;
    }
    get host() {
      return this.entry.host;
    }
    get sortName() {
      return this.entry.sortName;
    }
  }

  // One address: the row in the folded mode. Shows the first hit's address and the
  // latest hit's type and size.
  class Entry {
    constructor(id, hit, key) {
      const rec = hit.rec;
      this.id = id;
      this.type = 'entry';
      this.seq = hit.seq;
      this.key = key;
      this.fileName = rec.fileName;
      this.mimeType = rec.mimeType;
      this.size = rec.size;
      this.bytes = record.parseSize(rec.size);
      this.url = rec.url;
      this.hits = hit.hits;
      this.hitCount = 1;
      this.firstSeen = hit.firstSeen;
      this.lastSeen = hit.lastSeen;
      this.version = 0;
      this.inView = false;
      this.group = null;
      const c = kinds.classify(rec.mimeType, rec.fileName, rec.url);
      this.kind = c.kind;
      this.playlist = c.playlist;
      this.segment = c.segment;
      this.host = record.hostOf(rec.url);
      this.sortName = this.fileName.toLowerCase();
      // The details of its latest hit that had any.
      this.details = null;
    }
    get status() {
      return this.details !== null ? this.details.status : -1;
    }
    get method() {
      return this.details !== null ? this.details.method : '';
    }
    get destination() {
      return this.details !== null ? this.details.destination : '';
    }
  }

  // The segments of one stream folder, folded into one row.
  class Group {
    constructor(id, entry, folder) {
      this.id = id;
      this.type = 'group';
      this.seq = entry.seq;
      this.key = 'segments:' + folder;
      this.url = folder;
      this.host = entry.host;
      this.kind = entry.kind;
      this.playlist = '';
      this.segment = true;
      this.mimeType = entry.mimeType;
      this.entries = [];
      this.hitCount = 0;
      this.knownBytes = 0;
      this.unknownCount = 0;
      this.firstSeen = entry.firstSeen;
      this.lastSeen = entry.lastSeen;
      this.version = 0;
      this.inView = false;
      this.fileName = '';
      this.sortName = '';
      this.size = 'unknown';
      this.bytes = -1;
      this.hits = 0;
      // How many segments have each status (-1: unknown), the lowest known status, and
      // the details of the latest segment that had any.
      this.statuses = new Map();
      this.status = -1;
      this.details = null;
    }

    get method() {
      return this.details !== null ? this.details.method : '';
    }
    get destination() {
      return this.details !== null ? this.details.destination : '';
    }

    // Sizes and statuses count once per address, hits once per hit. The sums follow the
    // segments as they come and change (sign +1 adds an entry, -1 takes it out again), so
    // that a stream of thousands of segments is not added up again at every hit. The
    // sizes are exact where the program told the lengths.
    count(entry, sign) {
      if (entry.bytes >= 0) this.knownBytes += sign * entry.bytes;
      else this.unknownCount += sign;
      const s = entry.status;
      const n = (this.statuses.get(s) || 0) + sign;
      if (n > 0) this.statuses.set(s, n);
      else this.statuses.delete(s);
    }

    refresh(everyHit) {
      const known = this.knownBytes;
      this.bytes = this.unknownCount === this.entries.length ? -1 : known;
      this.size = this.bytes >= 0 ? record.formatSize(known) : 'unknown';
      let low = -1;
      for (const s of this.statuses.keys()) if (s >= 0 && (low < 0 || s < low)) low = s;
      this.status = low;
      const n = everyHit ? this.hitCount : this.entries.length;
      this.fileName = n + (n === 1 ? ' segment' : ' segments');
      this.sortName = this.fileName;
      this.hits = this.hitCount;
      this.version++;
    }

    // The addresses of the folded segments, once each, in arrival order.
    urls() {
      return this.entries.map((e) => e.url);
    }
  }

  class ResultModel {
    constructor() {
      this.foldDuplicates = true;
      this.foldSegments = true;
      this.filter = null;
      this.sortCol = null;
      this.sortDir = 1;
      // Shares the strings of the details of many responses (details.createPool).
      this.pool = details.createPool();
      this.clear();
    }

    clear() {
      this.hits = [];
      this.entries = [];
      this.byKey = new Map();
      // The hit taken in last, which the program's details of it pair with.
      this.lastHit = null;
      this.groups = new Map();
      this.view = [];
      this.seq = 0;
      this.nextId = 1;
      this.dropped = 0;
      // Hits counted, also those that one restored row stands for.
      this.hitTotal = 0;
      this.pendingNew = [];
      this.pendingChanged = new Set();
      this.needRebuild = false;
      this.selected = new Set();
      this.anchor = null;
      this.cursor = null;
      this.viewVersion = 0;
    }

    get everyHit() {
      return !this.foldDuplicates;
    }

    // Whether a row object is one of the rows of the current mode.
    inMode(row) {
      if (row.type === 'group') return this.foldSegments;
      const folded = this.foldSegments && row.segment;
      if (folded) return false;
      return row.type === 'entry' ? this.foldDuplicates : !this.foldDuplicates;
    }

    // Takes one parsed record (see record.parseRecord) seen at time (ms). count is the
    // number of hits it stands for (more than one only for rows restored from history).
    // Returns the hit, or null when the list is full.
    add(rec, time, count) {
      if (this.hits.length >= MAX_HITS) {
        this.dropped++;
        return null;
      }
      const n = count > 1 ? Math.floor(count) : 1;
      const seq = ++this.seq;
      const key = record.addressKey(rec.url);
      let entry = this.byKey.get(key);
      const hit = new Hit(this.nextId++, seq, rec, time, n);
      this.hits.push(hit);
      this.hitTotal += n;
      let newEntry = false;
      if (!entry) {
        entry = new Entry(this.nextId++, hit, key);
        this.byKey.set(key, entry);
        this.entries.push(entry);
        newEntry = true;
      } else {
        entry.hitCount++;
        entry.hits += n;
        entry.lastSeen = time;
        hit.occurrence = entry.hitCount;
        if (rec.size !== 'unknown' && rec.size !== entry.size) {
          if (entry.group) entry.group.count(entry, -1);
          entry.size = rec.size;
          entry.bytes = record.parseSize(rec.size);
          if (entry.group) entry.group.count(entry, 1);
        }
        if (rec.mimeType !== entry.mimeType) {
          entry.mimeType = rec.mimeType;
          const c = kinds.classify(rec.mimeType, entry.fileName, entry.url);
          entry.kind = c.kind;
          entry.playlist = c.playlist;
          // A resource stays in or out of its segment group once placed.
        }
        entry.version++;
      }
      hit.entry = entry;
      if (rec.mimeType !== entry.mimeType || rec.size !== entry.size) {
        const c = kinds.classify(rec.mimeType, rec.fileName, rec.url);
        hit.own = { bytes: record.parseSize(rec.size), kind: c.kind, playlist: c.playlist };
      }

      if (entry.segment) {
        const folder = folderOf(entry.key);
        let group = this.groups.get(folder);
        const newGroup = !group;
        if (!group) {
          group = new Group(this.nextId++, entry, folder);
          this.groups.set(folder, group);
        }
        if (newEntry) {
          group.entries.push(entry);
          entry.group = group;
          group.count(entry, 1);
        }
        group.hitCount += n;
        group.lastSeen = time;
        group.refresh(this.everyHit);
        this.note(group, newGroup);
      }
      this.note(entry, newEntry);
      this.note(hit, true);
      this.lastHit = hit;
      return hit;
    }

    // Gives a hit the program's details of its response (details.parseDetails), once.
    // The entry, and the segment group, take them when the hit is the entry's latest:
    // the row shows its latest hit. Its size text stays the record's own, while sorting,
    // size limits and the group's sum use the exact length. Answers whether it took them.
    attachDetails(hit, d) {
      if (!hit || !d || hit.details !== null || d.url !== hit.url) return false;
      d.url = hit.url;
      hit.details = d;
      hit.version++;
      this.note(hit, false);
      const entry = hit.entry;
      if (hit.occurrence !== entry.hitCount) return true;
      const g = entry.group;
      if (g) g.count(entry, -1);
      entry.details = d;
      if (d.length >= 0 && hit.rec.size === entry.size) entry.bytes = d.length;
      entry.version++;
      this.note(entry, false);
      if (g) {
        g.count(entry, 1);
        g.details = d;
        g.refresh(this.everyHit);
        this.note(g, false);
      }
      return true;
    }

    // Takes back a row saved in the history: one hit standing for all of its hits, with
    // the first and last times it was seen.
    addRestored(item) {
      const rec = {
        fileName: typeof item.fileName === 'string' ? item.fileName : '',
        mimeType: typeof item.mimeType === 'string' ? item.mimeType : '',
        size: typeof item.size === 'string' && item.size !== '' ? item.size : 'unknown',
        url: typeof item.url === 'string' ? item.url : '',
      };
      const first = Number(item.firstSeen) || 0;
      const last = Math.max(first, Number(item.lastSeen) || 0);
      const hit = this.add(rec, first, Number(item.hits) || 1);
      if (!hit) return null;
      if (item.details) this.attachDetails(hit, details.fromSaved(rec.url, item.details, this.pool));
      hit.lastSeen = last;
      if (hit.entry.lastSeen < last) hit.entry.lastSeen = last;
      if (hit.entry.group && hit.entry.group.lastSeen < last) hit.entry.group.lastSeen = last;
      return hit;
    }

    // Draws the row of an address again at the next flush: what it shows may depend on
    // more than its records (the badge of a playlist whose text was read). Answers whether
    // the list holds the address.
    touch(url) {
      const entry = typeof url === 'string' ? this.byKey.get(record.addressKey(url)) : null;
      if (!entry) return false;
      entry.version++;
      this.note(entry, false);
      return true;
    }

    note(row, isNew) {
      if (!this.inMode(row)) return;
      if (isNew) this.pendingNew.push(row);
      else this.pendingChanged.add(row);
    }

    // The rows of the current mode, in arrival order.
    rows() {
      const out = [];
      const base = this.foldDuplicates ? this.entries : this.hits;
      const groupsSeen = new Set();
      for (const r of base) {
        const entry = r.type === 'hit' ? r.entry : r;
        if (this.foldSegments && entry.segment) {
          // The group takes the place of its first segment.
          if (entry.group && !groupsSeen.has(entry.group)) {
            groupsSeen.add(entry.group);
            out.push(entry.group);
          }
          continue;
        }
        out.push(r);
      }
      return out;
    }

    comparator() {
      const dir = this.sortDir < 0 ? -1 : 1;
      const key = this.sortCol && COLUMN_KEYS[this.sortCol];
      if (!key) return (a, b) => (a.seq - b.seq) * dir;
      return (a, b) => {
        const x = key(a);
        const y = key(b);
        if (x < y) return -dir;
        if (x > y) return dir;
        return a.seq - b.seq;
      };
    }

    // Sorts rows (given in arrival order) by the sort column; ties keep arrival order.
    // Gives the same order as comparator(). Each row's key is read once. Columns with
    // few distinct values (types, sizes, hit counts, times to the millisecond) are
    // sorted by their distinct values only, the rows following in buckets.
    sorted(rows) {
      const key = COLUMN_KEYS[this.sortCol];
      const dir = this.sortDir < 0 ? -1 : 1;
      const n = rows.length;
      const keys = new Array(n);
      for (let i = 0; i < n; i++) keys[i] = key(rows[i]);
      const byKey = (x, y) => (x < y ? -dir : x > y ? dir : 0);
      const buckets = new Map();
      const limit = n >> 3;
      for (let i = 0; i < n && buckets.size <= limit; i++) {
        const b = buckets.get(keys[i]);
        if (b) b.push(rows[i]);
        else buckets.set(keys[i], [rows[i]]);
      }
      if (buckets.size <= limit) {
        const out = [];
        for (const k of Array.from(buckets.keys()).sort(byKey)) for (const r of buckets.get(k)) out.push(r);
        return out;
      }
      // The engine's sort is stable, and the rows come in arrival order.
      const order = new Array(n);
      for (let i = 0; i < n; i++) order[i] = i;
      order.sort((a, b) => byKey(keys[a], keys[b]));
      const out = new Array(n);
      for (let i = 0; i < n; i++) out[i] = rows[order[i]];
      return out;
    }

    setFilter(test) {
      this.filter = test || null;
      this.needRebuild = true;
    }

    setSort(col, dir) {
      this.sortCol = col && COLUMN_KEYS[col] ? col : null;
      this.sortDir = dir < 0 ? -1 : 1;
      this.needRebuild = true;
    }

    setFolding(foldDuplicates, foldSegments) {
      if (foldDuplicates === this.foldDuplicates && foldSegments === this.foldSegments) return;
      this.foldDuplicates = !!foldDuplicates;
      this.foldSegments = !!foldSegments;
      for (const g of this.groups.values()) g.refresh(this.everyHit);
      this.selected.clear();
      this.anchor = this.cursor = null;
      this.needRebuild = true;
    }

    // Recomputes the view from scratch: the rows of the mode, filtered, sorted.
    rebuild() {
      for (const r of this.view) r.inView = false;
      const pass = this.filter;
      let view = this.rows();
      if (pass) view = view.filter(pass);
      if (this.sortCol) view = this.sorted(view);
      else if (this.sortDir < 0) view.reverse();
      for (const r of view) r.inView = true;
      this.view = view;
      this.pendingNew = [];
      this.pendingChanged.clear();
      this.needRebuild = false;
      this.pruneSelection();
      this.viewVersion++;
    }

    // Brings the view up to date with what arrived since the last flush, without
    // resorting everything: new rows are sorted among themselves and merged in; rows
    // that changed are taken out and merged in again when their place may have moved.
    // Returns whether the view or a row in it changed.
    flush() {
      if (this.needRebuild) {
        this.rebuild();
        return true;
      }
      if (this.pendingNew.length === 0 && this.pendingChanged.size === 0) return false;
      const pass = this.filter || (() => true);
      const cmp = this.comparator();
      const moves = this.sortCol !== null;
      const insert = [];
      let remove = null;
      let touched = false;
      for (const row of this.pendingChanged) {
        if (!this.inMode(row)) continue;
        const ok = pass(row);
        if (row.inView) {
          touched = true;
          if (!ok || moves) {
            (remove || (remove = new Set())).add(row);
            if (ok) insert.push(row);
          }
        } else if (ok) {
          // Also a row that arrived in this batch: duplicates are dropped below.
          insert.push(row);
        }
      }
      for (const row of this.pendingNew) {
        if (!row.inView && this.inMode(row) && pass(row)) insert.push(row);
      }
      this.pendingNew = [];
      this.pendingChanged.clear();
      let view = this.view;
      if (remove) {
        view = view.filter((r) => !remove.has(r));
        for (const r of remove) r.inView = false;
      }
      if (insert.length > 0) {
        const uniq = insert.length > 1 ? Array.from(new Set(insert)) : insert;
        uniq.sort(cmp);
        view = merge(view, uniq, cmp);
        for (const r of uniq) r.inView = true;
      }
      if (remove || insert.length > 0) {
        this.view = view;
        this.viewVersion++;
        if (remove) this.pruneSelection();
        return true;
      }
      return touched;
    }

    // Selection. Rows that leave the view leave the selection with them.
    pruneSelection() {
      if (this.selected.size > 0) for (const r of this.selected) if (!r.inView) this.selected.delete(r);
      if (this.anchor && !this.anchor.inView) this.anchor = null;
      if (this.cursor && !this.cursor.inView) this.cursor = null;
    }

    indexOf(row) {
      return row && row.inView ? this.view.indexOf(row) : -1;
    }

    selectOnly(row) {
      this.selected.clear();
      if (row && row.inView) this.selected.add(row);
      this.anchor = this.cursor = row && row.inView ? row : null;
    }

    toggle(row) {
      if (!row || !row.inView) return;
      if (this.selected.has(row)) this.selected.delete(row);
      else this.selected.add(row);
      this.anchor = this.cursor = row;
    }

    // Selects the rows from the anchor to row (both included); without an anchor, row.
    // additive keeps the rows selected before.
    selectRange(row, additive) {
      if (!row || !row.inView) return;
      const a = this.indexOf(this.anchor);
      if (a < 0) return this.selectOnly(row);
      const b = this.indexOf(row);
      if (!additive) this.selected.clear();
      const lo = Math.min(a, b);
      const hi = Math.max(a, b);
      for (let i = lo; i <= hi; i++) this.selected.add(this.view[i]);
      this.cursor = row;
    }

    selectAllVisible() {
      this.selected = new Set(this.view);
      if (!this.cursor && this.view.length > 0) this.cursor = this.view[0];
      if (!this.anchor) this.anchor = this.cursor;
    }

    clearSelection() {
      this.selected.clear();
    }

    // The rows an action works on: the selected rows in view order, or, with nothing
    // selected, every row in view.
    actionRows() {
      if (this.selected.size === 0) return this.view.slice();
      if (this.selected.size === this.view.length) return this.view.slice();
      return this.view.filter((r) => this.selected.has(r));
    }

    counts() {
      let segments = 0;
      if (this.foldSegments) for (const g of this.groups.values()) segments += this.everyHit ? g.hitCount : g.entries.length;
      return {
        total: this.hitTotal,
        unique: this.entries.length,
        duplicates: this.hitTotal - this.entries.length,
        duplicatesHidden: this.foldDuplicates ? this.hitTotal - this.entries.length : 0,
        segmentsFolded: segments,
        shown: this.view.length,
        selected: this.selected.size,
        dropped: this.dropped,
      };
    }
  }

  // Merges b into a, both sorted by cmp, and returns the result. Appending at the end,
  // the usual case while a scan runs in arrival order, extends a in place and costs
  // only the new rows; otherwise the result is a new array.
  function merge(a, b, cmp) {
    if (b.length === 0) return a;
    if (a.length === 0 || cmp(a[a.length - 1], b[0]) <= 0) {
      for (const x of b) a.push(x);
      return a;
    }
    const out = new Array(a.length + b.length);
    let i = 0;
    let j = 0;
    let k = 0;
    while (i < a.length && j < b.length) out[k++] = cmp(a[i], b[j]) <= 0 ? a[i++] : b[j++];
    while (i < a.length) out[k++] = a[i++];
    while (j < b.length) out[k++] = b[j++];
    return out;
  }

  // The plain description of a row that exports and history use. A segment group gives
  // one item per folded segment.
  function exportItems(rows) {
    const out = [];
    const iso = (t) => (typeof t === 'number' && t > 0 ? new Date(t).toISOString() : '');
    const push = (r, hits) =>
      out.push({
        fileName: r.fileName,
        mimeType: r.mimeType,
        size: r.size,
        bytes: r.bytes,
        kind: r.kind,
        playlist: r.playlist,
        segment: r.segment,
        hits,
        firstSeen: iso(r.firstSeen),
        lastSeen: iso(r.lastSeen),
        url: r.url,
        details: r.details,
        seen: r.firstSeen,
      });
    for (const r of rows) {
      if (r.type === 'group') for (const e of r.entries) push(e, e.hits);
      else push(r, r.hits);
    }
    return out;
  }

  // The addresses behind rows, a segment group giving all of its segments.
  function rowUrls(rows) {
    const out = [];
    for (const r of rows) {
      if (r.type === 'group') for (const u of r.urls()) out.push(u);
      else out.push(r.url);
    }
    return out;
  }

  // The addresses behind rows with the details of each ({ url, details }), for commands.
  function rowTargets(rows) {
    const out = [];
    for (const r of rows) {
      if (r.type === 'group') for (const e of r.entries) out.push({ url: e.url, details: e.details });
      else out.push({ url: r.url, details: r.details });
    }
    return out;
  }

  return { ResultModel, merge, folderOf, exportItems, rowUrls, rowTargets, MAX_HITS };
});
