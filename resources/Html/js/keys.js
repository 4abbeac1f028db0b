// The page's keys: Alt+P and Alt+S control the scan from anywhere, / and Ctrl+F go to the
// view filter, Ctrl+C copies the rows, Ctrl+Shift+C copies a command that downloads them
// (from anywhere, as the button does), and the list moves its cursor and selection with
// the arrows, the page keys, Space, Enter, Esc and Ctrl+A. What a key means is worked
// out apart from what it does, so the meanings run under Node. Classic script
// (window.Trawlet.keys) and CommonJS module.
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).keys = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  // Fields where a typed character is text rather than a command.
  function inTextField(el) {
    if (!el) return false;
    if (el.isContentEditable) return true;
    if (el.tagName === 'TEXTAREA' || el.tagName === 'SELECT') return true;
    if (el.tagName !== 'INPUT') return false;
    return !['checkbox', 'radio', 'button', 'submit', 'reset'].includes(el.type);
  }

  // What a key means anywhere in the page: 'pause', 'stop', 'find', 'copy', 'command' or
  // null. e.code stands in for layouts whose P, S and C keys type other letters.
  function pageKey(e, inText) {
    const ctrl = e.ctrlKey || e.metaKey;
    const key = e.key.length === 1 ? e.key.toLowerCase() : e.key;
    if (e.altKey && !ctrl && (key === 'p' || e.code === 'KeyP')) return 'pause';
    if (e.altKey && !ctrl && (key === 's' || e.code === 'KeyS')) return 'stop';
    if ((key === '/' && !ctrl && !e.altKey && !inText) || (ctrl && !e.altKey && key === 'f')) return 'find';
    if (ctrl && e.shiftKey && !e.altKey && (key === 'c' || e.code === 'KeyC')) return 'command';
    if (ctrl && !e.altKey && key === 'c' && !inText) return 'copy';
    return null;
  }

  // What a key means in the list: { act: 'move', to, extend } (to within the list),
  // { act: 'toggle' | 'open' | 'expand' | 'clear' | 'all' }, or null. 'expand' (→) opens
  // a playlist row to the qualities of its stream. at: { cursor (index, -1 for
  // none), count (rows in the view), page (rows in sight) }, read only when needed.
  function gridKey(e, at) {
    const move = (to) => ({ act: 'move', to: Math.max(0, Math.min(at.count - 1, to)), extend: e.shiftKey });
    const from = () => {
      const cur = at.cursor;
      return cur < 0 ? 0 : cur;
    };
    switch (e.key) {
      case 'ArrowDown': {
        const cur = at.cursor;
        return move(cur < 0 ? 0 : cur + 1);
      }
      case 'ArrowUp': {
        const cur = at.cursor;
        return move(cur < 0 ? 0 : cur - 1);
      }
      case 'PageDown':
        return move(from() + at.page);
      case 'PageUp':
        return move(from() - at.page);
      case 'Home':
        return move(0);
      case 'End':
        return move(at.count - 1);
      case ' ':
        return { act: 'toggle' };
      case 'Enter':
        return { act: 'open' };
      case 'ArrowRight':
        return e.ctrlKey || e.metaKey || e.altKey ? null : { act: 'expand' };
      case 'Escape':
        return { act: 'clear' };
      case 'a':
      case 'A':
        return e.ctrlKey || e.metaKey ? { act: 'all' } : null;
      default:
        return null;
    }
  }

  // Wires the keys. o: { doc, gridEl (the list's element), grid (its Grid), rowHeight,
  // model, refresh(), open(rows), copy(rows), command() (what the command button does),
  // expand(row) (optional: shows the qualities of a playlist row's stream), pause(), stop(),
  // find(), onError(e) }.
  function listen(o) {
    const { model, grid } = o;

    function moveCursor(to, extend) {
      if (model.view.length === 0) return;
      const row = model.view[to];
      if (extend) model.selectRange(row, false);
      else model.selectOnly(row);
      grid.reveal(to);
      o.refresh();
    }

    function onGridKey(e) {
      const a = gridKey(e, {
        get cursor() {
          return model.indexOf(model.cursor);
        },
        get count() {
          return model.view.length;
        },
        get page() {
          return grid.pageRows();
        },
      });
      if (!a) return;
      switch (a.act) {
        case 'move':
          moveCursor(a.to, a.extend);
          break;
        case 'toggle':
          if (model.cursor) model.toggle(model.cursor);
          else moveCursor(0, false);
          o.refresh();
          break;
        case 'open':
          if (model.cursor) o.open([model.cursor]);
          break;
        case 'expand':
          if (model.cursor && o.expand) o.expand(model.cursor);
          break;
        case 'clear':
          model.clearSelection();
          o.refresh();
          break;
        case 'all':
          model.selectAllVisible();
          o.refresh();
          break;
      }
      e.preventDefault();
    }

    // Ctrl+C copies the selected rows, or the row at the cursor, unless text of the page
    // outside the list is selected: that copy is the engine's.
    function copy(e) {
      const sel = window.getSelection && window.getSelection();
      if (e.target !== o.gridEl && sel && !sel.isCollapsed) return;
      const rows = model.selected.size > 0 ? model.actionRows() : model.cursor ? [model.cursor] : [];
      if (rows.length === 0) return;
      e.preventDefault();
      o.copy(rows);
    }

    o.doc.addEventListener('keydown', (e) => {
      try {
        const k = pageKey(e, inTextField(e.target));
        if (k === 'copy') copy(e);
        else if (k) {
          e.preventDefault();
          o[k]();
        } else if (e.target === o.gridEl) onGridKey(e);
      } catch (err) {
        o.onError(err);
      }
    });

    // Focusing the list puts the cursor on the first row in sight, so the keys work at once.
    o.gridEl.addEventListener('focus', () => {
      if (!model.cursor && model.view.length > 0) {
        model.cursor = model.view[Math.min(model.view.length - 1, Math.floor(grid.body.scrollTop / o.rowHeight))];
        o.refresh();
      }
    });
  }

  return { inTextField, pageKey, gridKey, listen };
});
