// The result grid: a header with sortable, movable and resizable columns, and a body
// that renders only the rows in sight, reusing a small pool of row elements. It reads
// rows from the model's view and never builds markup from record text: every text goes
// in through textContent or an attribute. Classic script (window.Trawlet.grid); it needs
// a DOM and is not used under Node.
(function (root) {
  'use strict';

  const ROW_HEIGHT = 26;
  const OVERSCAN = 6;
  // Longest text put into a cell or a tooltip; the full address stays available to
  // copy, open and export.
  const CELL_TEXT = 600;
  const TITLE_TEXT = 2000;

  function clip(s, n) {
    return s.length > n ? s.slice(0, n) + '…' : s;
  }

  class Grid {
    // options: root (role=grid), head (header row container), body (scrolling body),
    // model, columns ([{ id, label, width, align, sortable }], the actions column
    // excluded), text(row, colId) → string, badge(row) → string, onSort(colId),
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
      if (typeof ResizeObserver === 'function') {
        new ResizeObserver(() => {
          this.viewportHeight = this.body.clientHeight;
          this.requestRender();
        }).observe(this.body);
      } else {
        window.addEventListener('resize', () => {
          this.viewportHeight = this.body.clientHeight;
          this.requestRender();
        });
      }
      this.body.addEventListener('click', (e) => this.onClick(e));
      this.body.addEventListener('dblclick', (e) => {
        const el = e.target.closest('.row');
        if (el && el._row && !e.target.closest('button')) this.onRowAction('open', el._row);
      });
      this.setColumns(this.columns);
    }

    // Column layout as one CSS grid template shared by the header and every row.
    applyWidths() {
      // The address column takes any room left over; its width is its least width.
      const parts = this.columns.map((c) => (c.id === 'url' ? 'minmax(' + c.width + 'px, 1fr)' : c.width + 'px'));
      parts.push('var(--actions-width)');
      this.root.style.setProperty('--cols', parts.join(' '));
      const total = this.columns.reduce((n, c) => n + c.width, 0);
      this.root.style.setProperty('--row-width', 'calc(' + total + 'px + var(--actions-width))');
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
        }
      }
      const name = clip(row.type === 'group' ? row.fileName : row.fileName || row.url, 200);
      el.openButton.disabled = row.type === 'group';
      el.openButton.title = row.type === 'group' ? 'Segments are opened one by one: switch off “Fold segments”' : 'Open ' + name;
      el.openButton.setAttribute('aria-label', 'Open ' + name);
      el.copyButton.title = row.type === 'group' ? 'Copy the addresses of all segments' : 'Copy the address';
      el.copyButton.setAttribute('aria-label', 'Copy the address of ' + name);
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
      if (n !== this.lastCount) {
        // Someone who scrolled to the end of a long list is watching new rows arrive:
        // the end stays in sight as the list grows.
        const h = this.viewportHeight;
        const before = this.lastCount * ROW_HEIGHT;
        const following = n > this.lastCount && before > h && this.body.scrollTop + h >= before - 2;
        this.spacer.style.height = n * ROW_HEIGHT + 'px';
        this.root.setAttribute('aria-rowcount', String(n + 1));
        this.lastCount = n;
        if (following) this.body.scrollTop = n * ROW_HEIGHT - h;
      }
      const top = this.body.scrollTop;
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

    onClick(e) {
      const el = e.target.closest('.row');
      if (!el || !el._row) return;
      const b = e.target.closest('button');
      if (b) {
        if (b.classList.contains('open')) this.onRowAction('open', el._row);
        else if (b.classList.contains('copy')) this.onRowAction('copy', el._row);
        return;
      }
      this.onRowClick(el._row, e);
    }
  }

  (root.Trawlet = root.Trawlet || {}).grid = { Grid, ROW_HEIGHT };
})(typeof self !== 'undefined' ? self : this);
