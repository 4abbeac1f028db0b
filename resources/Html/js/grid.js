// The result grid: a header with sortable, movable and resizable columns, and a body
// that renders only the rows in sight, reusing a small pool of row elements. It reads
// rows from the model's view and never builds markup from record text: every text goes
// in through textContent or an attribute. Classic script (window.Trawlet.grid) and
// CommonJS module: the grid itself needs a DOM, the scrolling arithmetic runs under Node.
//
// The body is not a scrolling box of the engine's (overflow: hidden, scrolled by this
// script): WebKitGTK gives such a box a compositing layer of its own, and without a
// graphics card every frame that then changes anything costs the software renderer two
// to three times as much as a page of one layer, and the box's own overlay scrollbar is
// repainted at every frame while the page asks for frames. A list that fills at a few
// thousand rows a second asks for frames all the time. So the wheel, the scrollbars and
// touch are handled here, and the body's scrollTop and scrollLeft stay the one truth
// about the position: code that scrolls the body by setting them keeps working. That
// hand-made scrolling is why this module is longer than the others: the header, the
// pooled rows and the scrollbars share one layout (column widths, row height, position).
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).grid = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const ROW_HEIGHT = 26;
  const OVERSCAN = 6;
  // Longest text put into a cell or a tooltip; the full address stays available to
  // copy, open and export.
  const CELL_TEXT = 600;
  const TITLE_TEXT = 2000;
  // Scrollbars: the breadth of the bar and the least length of its thumb, in pixels.
  const BAR = 10;
  const MIN_THUMB = 24;
  // Pixels per line and per page for wheel events that count lines or pages.
  const WHEEL_LINE = 40;

  function clip(s, n) {
    return s.length > n ? s.slice(0, n) + '…' : s;
  }

  // Where the thumb of a scrollbar goes: the bar is track pixels long, the box shows
  // view of content pixels and is scrolled by position. Returns { show, size, offset }:
  // show is false when everything is in sight.
  function thumbGeometry(view, content, track, position) {
    if (!(content > view) || !(track > 0)) return { show: false, size: 0, offset: 0 };
    const size = Math.min(track, Math.max(MIN_THUMB, Math.round((track * view) / content)));
    const range = content - view;
    const p = Math.max(0, Math.min(range, position || 0));
    const offset = track > size ? Math.round(((track - size) * p) / range) : 0;
    return { show: true, size, offset };
  }

  // The scroll position that puts the thumb at offset (the inverse of thumbGeometry).
  function positionForThumb(view, content, track, size, offset) {
    const range = content - view;
    if (!(range > 0) || !(track > size)) return 0;
    const o = Math.max(0, Math.min(track - size, offset));
    return (o * range) / (track - size);
  }

  // The pixels a wheel event asks to scroll by, { x, y }. Shift turns a vertical turn of
  // the wheel sideways, as scrolling boxes do; Ctrl is the engine's zoom and scrolls
  // nothing. Lines and pages are turned into pixels.
  function wheelPixels(e, pageHeight) {
    if (e.ctrlKey) return { x: 0, y: 0 };
    const unit = e.deltaMode === 1 ? WHEEL_LINE : e.deltaMode === 2 ? Math.max(1, pageHeight) : 1;
    let x = Number(e.deltaX) || 0;
    let y = Number(e.deltaY) || 0;
    if (e.shiftKey && x === 0) {
      x = y;
      y = 0;
    }
    return { x: x * unit, y: y * unit };
  }

  class Grid {
    // options: root (role=grid), head (header row container), body (scrolling body),
    // model, columns ([{ id, label, width, align, sortable }], the actions column
    // excluded), text(row, colId) → string, title(row, colId) → string (optional: a
    // tooltip where the text says too little), badge(row) → string, onSort(colId),
    // onColumns(columns), onRowClick(row, event), onRowAction(action, row),
    // requestRender().
    constructor(options) {
      Object.assign(this, options);
      this.pool = [];
      this.spacer = document.createElement('div');
      this.spacer.className = 'spacer';
      this.body.appendChild(this.spacer);
      this.viewportHeight = this.body.clientHeight || 400;
      this.lastCount = -1;
      this.layoutVersion = 0;
      this.activeId = '';
      this.scrolled = false;
      this.body.addEventListener('scroll', () => {
        this.head.scrollLeft = this.body.scrollLeft;
        this.scrolled = true;
        this.requestRender();
      });
      const resized = () => {
        this.viewportHeight = this.body.clientHeight;
        this.measured = false;
        this.requestRender();
      };
      if (typeof ResizeObserver === 'function') new ResizeObserver(resized).observe(this.body);
      else window.addEventListener('resize', resized);
      this.setupScrolling();
      // A row is selected when the button goes down, as list views do. A click needs the
      // press and the release on the same element, and while records stream in the rows
      // can move under a still pointer between the two, which lost the click.
      this.body.addEventListener('mousedown', (e) => {
        if (e.button !== 0) return;
        const el = e.target.closest('.row');
        if (!el || !el._row || e.target.closest('button')) return;
        this.onRowClick(el._row, e);
      });
      this.body.addEventListener('click', (e) => this.onClick(e));
      this.body.addEventListener('dblclick', (e) => {
        const el = e.target.closest('.row');
        if (el && el._row && !e.target.closest('button')) this.onRowAction('open', el._row);
      });
      this.setColumns(this.columns);
    }

    // The wheel, the two scrollbars and touch. See the comment at the top of the file.
    setupScrolling() {
      const bar = (cls) => {
        const el = document.createElement('div');
        el.className = 'scrollbar ' + cls;
        el.setAttribute('aria-hidden', 'true');
        el.hidden = true;
        const thumb = document.createElement('div');
        thumb.className = 'thumb';
        el.appendChild(thumb);
        el.thumb = thumb;
        el.shown = { show: false, size: -1, offset: -1, length: -1 };
        this.root.appendChild(el);
        return el;
      };
      this.vbar = bar('vertical');
      this.hbar = bar('horizontal');
      this.measured = false;
      const wheel = (e) => {
        const d = wheelPixels(e, this.viewportHeight);
        if (d.x === 0 && d.y === 0) return;
        e.preventDefault();
        if (d.y) this.body.scrollTop += d.y;
        if (d.x) this.body.scrollLeft += d.x;
      };
      this.body.addEventListener('wheel', wheel, { passive: false });
      for (const [el, vertical] of [
        [this.vbar, true],
        [this.hbar, false],
      ]) {
        el.addEventListener('pointerdown', (e) => this.onBarPointer(e, el, vertical));
        el.addEventListener('wheel', wheel, { passive: false });
      }
      // Touch: the body follows the finger.
      let touch = null;
      this.body.addEventListener('pointerdown', (e) => {
        if (e.pointerType === 'touch' && e.isPrimary) touch = { x: e.clientX, y: e.clientY, top: this.body.scrollTop, left: this.body.scrollLeft };
      });
      this.body.addEventListener('pointermove', (e) => {
        if (!touch || e.pointerType !== 'touch' || !e.isPrimary) return;
        this.body.scrollTop = touch.top - (e.clientY - touch.y);
        this.body.scrollLeft = touch.left - (e.clientX - touch.x);
      });
      const untouch = (e) => {
        if (e.pointerType === 'touch') touch = null;
      };
      this.body.addEventListener('pointerup', untouch);
      this.body.addEventListener('pointercancel', untouch);
    }

    // A press on a scrollbar: on the thumb it drags the list, elsewhere on the bar it
    // moves the list by a page towards the pointer.
    onBarPointer(e, el, vertical) {
      if (e.button !== 0) return;
      e.preventDefault();
      const g = this.barGeometry(vertical);
      if (!g.show) return;
      const at = vertical ? e.clientY - el.getBoundingClientRect().top : e.clientX - el.getBoundingClientRect().left;
      const prop = vertical ? 'scrollTop' : 'scrollLeft';
      if (e.target !== el.thumb) {
        const page = Math.max(ROW_HEIGHT, g.view - ROW_HEIGHT);
        this.body[prop] += at < g.offset ? -page : page;
        return;
      }
      const start = vertical ? e.clientY : e.clientX;
      const from = g.offset;
      try {
        el.setPointerCapture(e.pointerId);
      } catch (err) {
        // Without capture the drag still works while the pointer stays over the bar.
      }
      el.classList.add('dragging');
      const move = (ev) => {
        const to = from + (vertical ? ev.clientY : ev.clientX) - start;
        this.body[prop] = positionForThumb(g.view, g.content, g.track, g.size, to);
      };
      const up = () => {
        el.removeEventListener('pointermove', move);
        el.removeEventListener('pointerup', up);
        el.removeEventListener('pointercancel', up);
        el.classList.remove('dragging');
      };
      el.addEventListener('pointermove', move);
      el.addEventListener('pointerup', up);
      el.addEventListener('pointercancel', up);
    }

    // The sizes of the body that the scrollbars need. Reading them lays the page out, so
    // they are read again only after a resize or a change of the columns.
    measure() {
      if (this.measured) return;
      this.measured = true;
      this.viewWidth = this.body.clientWidth;
      this.viewportHeight = this.body.clientHeight;
      this.contentWidth = this.spacer.offsetWidth;
      this.bodyTop = this.body.offsetTop;
    }

    // top and left: the body's scroll position, when the caller knows it (reading it
    // lays out whatever changed since the last frame).
    barGeometry(vertical, top = this.body.scrollTop, left = this.body.scrollLeft) {
      this.measure();
      const wide = this.contentWidth > this.viewWidth;
      const tall = this.lastCount * ROW_HEIGHT > this.viewportHeight;
      if (vertical) {
        const track = this.viewportHeight - (wide ? BAR : 0);
        return Object.assign({ view: this.viewportHeight, content: this.lastCount * ROW_HEIGHT, track }, thumbGeometry(this.viewportHeight, this.lastCount * ROW_HEIGHT, track, top));
      }
      const track = this.viewWidth - (tall ? BAR : 0);
      return Object.assign({ view: this.viewWidth, content: this.contentWidth, track }, thumbGeometry(this.viewWidth, this.contentWidth, track, left));
    }

    // Brings the scrollbars up to date, touching the page only where something changed:
    // every change, however small, makes the engine draw the window again.
    updateBars(top, left) {
      for (const [el, vertical] of [
        [this.vbar, true],
        [this.hbar, false],
      ]) {
        const g = this.barGeometry(vertical, top, left);
        const was = el.shown;
        if (g.show !== was.show) el.hidden = !g.show;
        if (g.show) {
          const length = g.track;
          const pos = vertical ? this.bodyTop : this.bodyTop + this.viewportHeight - BAR;
          if (length !== was.length || pos !== was.pos) {
            if (vertical) {
              el.style.top = pos + 'px';
              el.style.height = length + 'px';
            } else {
              el.style.top = pos + 'px';
              el.style.width = length + 'px';
            }
          }
          if (g.size !== was.size) el.thumb.style[vertical ? 'height' : 'width'] = g.size + 'px';
          if (g.offset !== was.offset) el.thumb.style.transform = vertical ? 'translateY(' + g.offset + 'px)' : 'translateX(' + g.offset + 'px)';
          el.shown = { show: true, size: g.size, offset: g.offset, length, pos };
        } else el.shown = { show: false, size: -1, offset: -1, length: -1, pos: -1 };
      }
    }

    // Column layout as one CSS grid template shared by the header and every row.
    applyWidths() {
      // The address column takes any room left over; its width is its least width.
      const parts = this.columns.map((c) => (c.id === 'url' ? 'minmax(' + c.width + 'px, 1fr)' : c.width + 'px'));
      parts.push('var(--actions-width)');
      this.root.style.setProperty('--cols', parts.join(' '));
      const total = this.columns.reduce((n, c) => n + c.width, 0);
      this.root.style.setProperty('--row-width', 'calc(' + total + 'px + var(--actions-width))');
      this.measured = false;
      if (this.vbar) this.requestRender();
    }

    setColumns(columns) {
      this.columns = columns.map((c) => Object.assign({}, c));
      this.applyWidths();
      this.buildHeader();
      for (const el of this.pool) el.remove();
      this.pool = [];
      this.layoutVersion++;
      this.requestRender();
    }

    buildHeader() {
      const head = this.head;
      head.textContent = '';
      const row = document.createElement('div');
      row.className = 'row head';
      row.setAttribute('role', 'row');
      row.setAttribute('aria-rowindex', '1');
      this.columns.forEach((c, i) => {
        const cell = document.createElement('div');
        cell.className = 'hc c-' + c.id;
        cell.setAttribute('role', 'columnheader');
        cell.dataset.col = c.id;
        cell.draggable = true;
        const b = document.createElement('button');
        b.type = 'button';
        b.className = 'hsort';
        b.id = 'sort-' + c.id;
        b.title = 'Sort by ' + c.label.toLowerCase() + '. Alt+←/→ moves the column, Alt+Shift+←/→ changes its width.';
        const label = document.createElement('span');
        label.textContent = c.label;
        const arrow = document.createElement('span');
        arrow.className = 'arrow';
        arrow.setAttribute('aria-hidden', 'true');
        b.append(label, arrow);
        b.addEventListener('click', () => this.onSort(c.id));
        b.addEventListener('keydown', (e) => this.onHeaderKey(e, c.id));
        const grip = document.createElement('span');
        grip.className = 'resizer';
        grip.setAttribute('aria-hidden', 'true');
        grip.addEventListener('pointerdown', (e) => this.startResize(e, c.id));
        grip.addEventListener('dblclick', (e) => {
          e.stopPropagation();
          this.setWidth(c.id, null);
          this.onColumns(this.columns);
        });
        cell.append(b, grip);
        cell.addEventListener('dragstart', (e) => {
          if (this.resizing) return e.preventDefault();
          e.dataTransfer.setData('text/plain', 'trawlet-column:' + c.id);
          e.dataTransfer.effectAllowed = 'move';
          this.dragging = c.id;
        });
        cell.addEventListener('dragend', () => {
          this.dragging = null;
        });
        cell.addEventListener('dragover', (e) => {
          if (this.dragging && this.dragging !== c.id) {
            e.preventDefault();
            e.dataTransfer.dropEffect = 'move';
          }
        });
        cell.addEventListener('drop', (e) => {
          e.preventDefault();
          if (!this.dragging || this.dragging === c.id) return;
          const r = cell.getBoundingClientRect();
          const after = e.clientX > r.left + r.width / 2;
          this.moveColumn(this.dragging, c.id, after);
        });
        void i;
        row.appendChild(cell);
      });
      const act = document.createElement('div');
      act.className = 'hc c-actions';
      act.setAttribute('role', 'columnheader');
      act.textContent = 'Actions';
      row.appendChild(act);
      head.appendChild(row);
      this.updateSortMarks();
    }

    updateSortMarks() {
      const col = this.sortCol;
      const dir = this.sortDir;
      for (const cell of this.head.querySelectorAll('.hc[data-col]')) {
        const on = cell.dataset.col === col;
        cell.setAttribute('aria-sort', on ? (dir < 0 ? 'descending' : 'ascending') : 'none');
        cell.querySelector('.arrow').textContent = on ? (dir < 0 ? ' ▼' : ' ▲') : '';
      }
    }

    setSortMarks(col, dir) {
      this.sortCol = col;
      this.sortDir = dir;
      this.updateSortMarks();
    }

    moveColumn(id, targetId, after) {
      const cols = this.columns.slice();
      const from = cols.findIndex((c) => c.id === id);
      if (from < 0) return;
      const [c] = cols.splice(from, 1);
      let to = cols.findIndex((x) => x.id === targetId);
      if (to < 0) return;
      if (after) to++;
      cols.splice(to, 0, c);
      this.setColumns(cols);
      this.onColumns(this.columns);
      const b = document.getElementById('sort-' + id);
      if (b) b.focus();
    }

    setWidth(id, width) {
      const c = this.columns.find((x) => x.id === id);
      if (!c) return;
      c.width = width == null ? c.defaultWidth : Math.max(this.minWidth, Math.min(this.maxWidth, Math.round(width)));
      this.applyWidths();
    }

    onHeaderKey(e, id) {
      if (!e.altKey || (e.key !== 'ArrowLeft' && e.key !== 'ArrowRight')) return;
      e.preventDefault();
      const i = this.columns.findIndex((c) => c.id === id);
      const step = e.key === 'ArrowLeft' ? -1 : 1;
      if (e.shiftKey) {
        this.setWidth(id, this.columns[i].width + step * 20);
        this.onColumns(this.columns);
        return;
      }
      const j = i + step;
      if (j < 0 || j >= this.columns.length) return;
      this.moveColumn(id, this.columns[j].id, step > 0);
    }

    startResize(e, id) {
      e.preventDefault();
      e.stopPropagation();
      const grip = e.currentTarget;
      const c = this.columns.find((x) => x.id === id);
      const startX = e.clientX;
      const startW = c.width;
      this.resizing = true;
      try {
        grip.setPointerCapture(e.pointerId);
      } catch (err) {
        // Without capture the drag still works while the pointer stays over the page.
      }
      const move = (ev) => this.setWidth(id, startW + ev.clientX - startX);
      const up = () => {
        grip.removeEventListener('pointermove', move);
        grip.removeEventListener('pointerup', up);
        grip.removeEventListener('pointercancel', up);
        this.resizing = false;
        this.onColumns(this.columns);
      };
      grip.addEventListener('pointermove', move);
      grip.addEventListener('pointerup', up);
      grip.addEventListener('pointercancel', up);
    }

    makeRowElement(slot) {
      const el = document.createElement('div');
      el.className = 'row';
      el.id = 'row-' + slot;
      el.setAttribute('role', 'row');
      el.cells = {};
      for (const c of this.columns) {
        const cell = document.createElement('div');
        cell.className = 'cell c-' + c.id;
        cell.setAttribute('role', 'gridcell');
        if (c.id === 'name') {
          const badge = document.createElement('span');
          badge.className = 'badge';
          badge.hidden = true;
          const t = document.createElement('span');
          t.className = 'text';
          cell.append(badge, t);
          cell.badge = badge;
          cell.text = t;
        }
        el.appendChild(cell);
        el.cells[c.id] = cell;
      }
      const act = document.createElement('div');
      act.className = 'cell c-actions';
      act.setAttribute('role', 'gridcell');
      for (const [cls, label] of [
        ['open', 'Open'],
        ['copy', 'Copy'],
      ]) {
        const b = document.createElement('button');
        b.type = 'button';
        b.className = 'rowbtn ' + cls;
        b.tabIndex = -1;
        b.textContent = label;
        act.appendChild(b);
      }
      el.appendChild(act);
      el.openButton = act.children[0];
      el.copyButton = act.children[1];
      el._row = null;
      el._idx = -1;
      this.spacer.appendChild(el);
      return el;
    }

    fillRow(el, row) {
      el.dataset.url = row.url;
      if (row.type === 'group') el.dataset.group = 'segments';
      else delete el.dataset.group;
      el.dataset.kind = row.kind;
      for (const c of this.columns) {
        const cell = el.cells[c.id];
        const text = this.text(row, c.id);
        if (c.id === 'name') {
          const badge = this.badge(row);
          cell.badge.hidden = badge === '';
          cell.badge.textContent = badge;
          cell.text.textContent = clip(text, CELL_TEXT);
          cell.title = clip(text, TITLE_TEXT);
        } else {
          cell.textContent = clip(text, CELL_TEXT);
          if (c.id === 'url' || c.id === 'type') cell.title = clip(text, TITLE_TEXT);
          else if (this.title) {
            const title = this.title(row, c.id);
            if (cell.title !== title) cell.title = title;
          }
        }
      }
      const name = clip(row.type === 'group' ? row.fileName : row.fileName || row.url, 200);
      el.openButton.disabled = row.type === 'group';
      el.openButton.title = row.type === 'group' ? 'Segments are opened one by one: switch off “Fold segments”' : 'Open ' + name;
      el.openButton.setAttribute('aria-label', 'Open ' + name);
      el.copyButton.title = row.type === 'group' ? 'Copy the addresses of all segments' : 'Copy the address';
      el.copyButton.setAttribute('aria-label', 'Copy the address of ' + name);
    }

    // How many row elements a list in sight needs: the rows that fit, and the rows kept
    // ready on either side.
    poolSize() {
      return Math.ceil(this.viewportHeight / ROW_HEIGHT) + 1 + 2 * OVERSCAN;
    }

    // Makes the row elements ahead of the first rows, while the page is idle, and lays
    // them out once with sample rows (the kinds of row there are, each drawn differently)
    // out of sight: the engine then resolves their styles and measures their fonts now
    // rather than in the frame that shows the first rows, and that frame only puts the
    // texts in. Does nothing once the list shows rows.
    prepare(samples) {
      if (this.lastCount > 0 || !samples.length) return;
      const need = this.poolSize();
      while (this.pool.length < need) {
        const el = this.makeRowElement(this.pool.length);
        el.hidden = true;
        this.pool.push(el);
      }
      const spare = this.pool.filter((el) => el.hidden);
      spare.forEach((el, i) => {
        this.fillRow(el, samples[i % samples.length]);
        el.classList.toggle('odd', (i & 1) === 1);
        el.classList.add('sample');
        el.hidden = false;
      });
      void this.spacer.offsetWidth;
      for (const el of spare) {
        el.hidden = true;
        el.classList.remove('sample');
        delete el.dataset.url;
        delete el.dataset.group;
        delete el.dataset.kind;
        el._row = null;
        el._idx = -1;
      }
    }

    // Whether what is in sight is out of date in a way the user would notice at once:
    // the list was scrolled, or rows in sight were replaced, moved, or appeared. Rows in
    // sight that only changed their counts, and rows added out of sight, can wait: while
    // a scan streams in, drawing them at every frame would cost the engine a relayout
    // and repaint of the whole list each time.
    needsRender() {
      if (this.scrolled) return true;
      const view = this.model.view;
      if (view.length !== this.lastCount) {
        const end = Math.ceil((this.body.scrollTop + this.viewportHeight) / ROW_HEIGHT);
        if (this.lastCount <= end) return true;
      }
      for (const el of this.pool) if (el._row && view[el._idx] !== el._row) return true;
      return false;
    }

    // Draws the rows in sight. Cheap when nothing changed: a row element is refilled
    // only when it shows another row or its row changed.
    render() {
      this.scrolled = false;
      const m = this.model;
      const view = m.view;
      const n = view.length;
      // Everything read from the page is read here, before anything is written: a read
      // after a write would make the engine lay the page out within this script, and
      // then again when it draws the frame. At the start of a frame the layout is
      // usually up to date, so these reads cost nothing.
      this.measure();
      let top = this.body.scrollTop;
      let left = this.body.scrollLeft;
      if (n !== this.lastCount) {
        // Someone who scrolled to the end of a long list is watching new rows arrive:
        // the end stays in sight as the list grows.
        const h = this.viewportHeight;
        const before = this.lastCount * ROW_HEIGHT;
        const shrank = n < this.lastCount;
        const following = n > this.lastCount && before > h && top + h >= before - 2;
        this.spacer.style.height = n * ROW_HEIGHT + 'px';
        this.root.setAttribute('aria-rowcount', String(n + 1));
        this.lastCount = n;
        if (following) this.body.scrollTop = n * ROW_HEIGHT - h;
        // A shorter list may have pulled the position back: only the engine knows by how
        // much. A longer one leaves it where it was.
        if (following || shrank) {
          top = this.body.scrollTop;
          left = this.body.scrollLeft;
        }
      }
      const first = Math.max(0, Math.floor(top / ROW_HEIGHT) - OVERSCAN);
      const last = Math.min(n, Math.ceil((top + this.viewportHeight) / ROW_HEIGHT) + OVERSCAN);
      const need = last - first;
      while (this.pool.length < need) this.pool.push(this.makeRowElement(this.pool.length));
      let activeId = '';
      // Each row element keeps its row while the row stays in the window, so scrolling
      // by a few rows refills only the rows that came into sight.
      const free = [];
      const placed = new Map();
      for (const el of this.pool) {
        const i = el._row && el._row.inView && el._idx >= first && el._idx < last && view[el._idx] === el._row ? el._idx : -1;
        if (i >= 0 && !placed.has(i)) placed.set(i, el);
        else free.push(el);
      }
      for (let i = first; i < last; i++) {
        const row = view[i];
        let el = placed.get(i);
        if (!el) {
          el = free.pop();
          el._row = null;
        }
        if (el._row !== row || el._ver !== row.version || el._layout !== this.layoutVersion) {
          this.fillRow(el, row);
          el._row = row;
          el._ver = row.version;
          el._layout = this.layoutVersion;
        }
        if (el._idx !== i) {
          el.style.transform = 'translateY(' + i * ROW_HEIGHT + 'px)';
          el.classList.toggle('odd', (i & 1) === 1);
          el.setAttribute('aria-rowindex', String(i + 2));
          el._idx = i;
        }
        if (el.hidden) el.hidden = false;
        const sel = m.selected.has(row);
        if (el._sel !== sel) {
          el._sel = sel;
          el.classList.toggle('selected', sel);
          el.setAttribute('aria-selected', sel ? 'true' : 'false');
        }
        const cur = m.cursor === row;
        if (el._cur !== cur) {
          el._cur = cur;
          el.classList.toggle('cursor', cur);
        }
        if (cur) activeId = el.id;
      }
      for (const el of free) {
        if (!el.hidden) {
          // A spare row element keeps no trace of the row it showed: whatever looks for
          // rows by their address finds only rows in the list.
          el.hidden = true;
          delete el.dataset.url;
          delete el.dataset.group;
          delete el.dataset.kind;
        }
        el._row = null;
        el._idx = -1;
        el._cur = el._sel = undefined;
      }
      if (activeId !== this.activeId) {
        if (activeId) this.root.setAttribute('aria-activedescendant', activeId);
        else this.root.removeAttribute('aria-activedescendant');
        this.activeId = activeId;
      }
      this.updateBars(top, left);
    }

    // Fills the rows in sight again at the next frame, whatever their versions say: what a
    // row shows may depend on more than its model (a hit takes its badge from its entry).
    invalidate() {
      this.layoutVersion++;
      this.requestRender();
    }

    // Scrolls so that view index i is in sight.
    reveal(i) {
      if (i < 0) return;
      const top = i * ROW_HEIGHT;
      const h = this.viewportHeight;
      if (top < this.body.scrollTop) this.body.scrollTop = top;
      else if (top + ROW_HEIGHT > this.body.scrollTop + h) this.body.scrollTop = top + ROW_HEIGHT - h;
    }

    pageRows() {
      return Math.max(1, Math.floor(this.viewportHeight / ROW_HEIGHT) - 1);
    }

    // The row's own buttons act on a click; the row itself was selected on the press.
    onClick(e) {
      const el = e.target.closest('.row');
      if (!el || !el._row) return;
      const b = e.target.closest('button');
      if (!b) return;
      if (b.classList.contains('open')) this.onRowAction('open', el._row);
      else if (b.classList.contains('copy')) this.onRowAction('copy', el._row);
    }
  }

  return { Grid, ROW_HEIGHT, BAR, MIN_THUMB, WHEEL_LINE, thumbGeometry, positionForThumb, wheelPixels };
});
