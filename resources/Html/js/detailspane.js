// The details pane beside the list: the request and the response of the current row
// (method, status, times, window, both header lists), with the values of credential
// headers masked until the user asks for them. What it shows is worked out by
// details.describe, which runs under Node; this file only puts it on the page, always as
// text, never as markup. Classic script (window.Trawlet.detailspane) and CommonJS module.
(function (root, factory) {
  'use strict';
  const node = typeof module === 'object' && module.exports;
  const api = factory(node ? require('./details.js') : root.Trawlet.details);
  if (node) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).detailspane = api;
})(typeof self !== 'undefined' ? self : this, function (details) {
  'use strict';

  // Longest value put into the pane: header values are cut at details.VALUE_LIMIT already,
  // addresses are not.
  const VALUE_TEXT = 4000;

  function clip(s) {
    return s.length > VALUE_TEXT ? s.slice(0, VALUE_TEXT) + '…' : s;
  }

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // o: { el (the pane's element), model, onClose() }. Answers { show(on), render(), get
  // visible }. render is cheap when the current row and its details did not change, so
  // the page calls it with every frame it draws.
  function createDetailsPane(o) {
    const root = o.el;
    let visible = !root.hidden;
    let reveal = false;
    let shown = { row: undefined, details: undefined, version: -1, reveal: false };

    const head = el('div', 'details-head');
    const title = el('h2', 'details-title');
    title.id = 'details-title';
    const close = el('button', 'small', 'Close');
    close.type = 'button';
    close.id = 'details-close';
    close.title = 'Hide the details pane';
    close.addEventListener('click', () => o.onClose());
    head.append(title, close);
    const body = el('div', 'details-body');
    root.append(head, body);
    root.setAttribute('aria-labelledby', 'details-title');

    function section(name, list) {
      const s = el('section', 'details-headers');
      const h = el('h3', '', name + ' (' + list.length + ')');
      s.appendChild(h);
      if (list.length === 0) {
        s.appendChild(el('p', 'fine', 'None reported.'));
        return s;
      }
      const table = el('table');
      for (const item of list) {
        const tr = el('tr', item.masked ? 'masked' : '');
        tr.append(el('th', '', item.name), el('td', '', clip(item.text)));
        table.appendChild(tr);
      }
      s.appendChild(table);
      return s;
    }

    function draw(row, d) {
      body.textContent = '';
      if (!row) {
        title.textContent = 'Details';
        body.appendChild(el('p', 'fine', 'Click a row, or move to one with the arrow keys, to see its request and response.'));
        return;
      }
      const v = details.describe(row, d, reveal);
      title.textContent = clip(v.title);
      title.title = clip(v.title);
      if (v.note) body.appendChild(el('p', 'fine details-note', v.note));
      if (v.fields.length > 0) {
        const dl = el('dl', 'details-fields');
        for (const [label, text] of v.fields) dl.append(el('dt', '', label), el('dd', '', clip(text)));
        body.appendChild(dl);
      }
      if (d && !d.saved) {
        if (v.masked > 0 || reveal) {
          const b = el('button', 'small', reveal ? 'Hide credentials' : 'Show credentials');
          b.type = 'button';
          b.id = 'details-reveal';
          b.setAttribute('aria-pressed', reveal ? 'true' : 'false');
          b.title = reveal ? 'Mask the Cookie, Authorization and Set-Cookie values again' : 'Show the values of ' + v.masked + ' masked header' + (v.masked === 1 ? '' : 's');
          b.addEventListener('click', () => {
            reveal = !reveal;
            render();
            const again = document.getElementById('details-reveal');
            if (again) again.focus();
          });
          body.appendChild(b);
        }
        body.append(section('Request headers', v.request), section('Response headers', v.response));
      }
    }

    // The row shown is the list's current row. Credentials are masked again whenever it
    // changes.
    function render() {
      if (!visible) return;
      const row = o.model.cursor || null;
      const d = row ? row.details : null;
      const version = row ? row.version : -1;
      if (row === shown.row && d === shown.details && version === shown.version && reveal === shown.reveal) return;
      if (row !== shown.row) reveal = false;
      shown = { row, details: d, version, reveal };
      draw(row, d);
    }

    function show(on) {
      visible = !!on;
      root.hidden = !visible;
      shown = { row: undefined, details: undefined, version: -1, reveal: false };
      render();
    }

    return {
      show,
      render,
      get visible() {
        return visible;
      },
    };
  }

  return { createDetailsPane };
});
