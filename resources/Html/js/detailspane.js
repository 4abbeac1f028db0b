// The details pane beside the list: the request and the response of the current row
// (method, status, times, window, both header lists), with the values of credential
// headers masked until the user asks for them, and for a playlist row the qualities its
// stream offers, each with its download commands. What it shows is worked out by
// details.describe and streamview.view, which run under Node; this file only puts it on
// the page, always as text, never as markup. Classic script (window.Trawlet.detailspane)
// and CommonJS module.
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

  // o: { el (the pane's element), model, onClose(), and for streams: stream(row) (null, or
  // { key, view } with view from streamview.view, or { key, blob } with
  // streamview.blobAdvice; key changes whenever what it shows would), onCommand(row,
  // index, tool) (tool "ytdlp" or "ffmpeg"), onGoTo(url) (puts the list's cursor on that
  // address's row), onLeave() (the keyboard goes back to the list) }. Answers { show(on),
  // render(), focusStream(), get visible }. render is cheap when the current row, its
  // details and its stream did not change, so the page calls it with every frame it draws.
  function createDetailsPane(o) {
    const root = o.el;
    let visible = !root.hidden;
    let reveal = false;
    let shown = { row: undefined, details: undefined, version: -1, reveal: false, stream: '' };

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

    // A button that keeps the keyboard focus when the pane is drawn again: the pane is
    // made anew whenever what it shows changes, which a running scan does all the time.
    function button(text, key, title) {
      const b = el('button', 'small', text);
      b.type = 'button';
      b.dataset.focusKey = key;
      if (title) b.title = title;
      return b;
    }

    function fieldList(fields, cls) {
      const dl = el('dl', cls);
      for (const [label, text] of fields) dl.append(el('dt', '', label), el('dd', '', clip(text)));
      return dl;
    }

    function tag(text, cls, title) {
      const t = el('span', 'tag ' + cls, text);
      if (title) t.title = title;
      return t;
    }

    function variantItem(row, it) {
      const li = el('li', 'variant');
      li.dataset.index = it.index === null ? '' : String(it.index);
      li.dataset.seen = it.seen ? 'true' : 'false';
      const head = el('div', 'variant-head');
      head.appendChild(el('span', 'variant-title', it.title));
      if (it.index !== null)
        head.appendChild(
          it.seen
            ? tag('seen', 'seen', 'The scan saw the player load this quality')
            : tag('not seen', 'unseen', 'The player did not load this quality during the scan'),
        );
      if (it.live === true) head.appendChild(tag('live', 'live'));
      if (it.encryption) head.appendChild(tag(it.encryption === 'DRM' ? 'DRM: not downloadable' : it.encryption, it.encryption === 'DRM' ? 'drm' : 'enc'));
      li.appendChild(head);
      if (it.fields.length) li.appendChild(fieldList(it.fields, 'variant-fields'));
      if (it.downloadable) {
        const actions = el('div', 'variant-actions');
        const key = 'variant-' + (it.index === null ? 'self' : it.index) + '-';
        const what = it.index === null ? 'this playlist' : it.title;
        for (const [tool, label] of [
          ['ytdlp', 'Copy yt-dlp command'],
          ['ffmpeg', 'Copy ffmpeg command'],
        ]) {
          const b = button(label, key + tool, 'Copy the ' + (tool === 'ytdlp' ? 'media downloader (yt-dlp)' : 'ffmpeg') + ' command that downloads ' + what);
          b.dataset.tool = tool;
          b.setAttribute('aria-label', label + ' for ' + what);
          b.addEventListener('click', () => o.onCommand(row, it.index, tool));
          actions.appendChild(b);
        }
        li.appendChild(actions);
        if (it.note) li.appendChild(el('p', 'fine', it.note));
      } else {
        li.appendChild(el('p', 'fine variant-note', it.note));
      }
      return li;
    }

    function streamSection(row, s) {
      const sec = el('section', 'stream');
      sec.setAttribute('aria-label', 'Stream');
      if (s.blob) {
        sec.appendChild(el('h3', '', 'Stream'));
        sec.appendChild(el('p', 'stream-note', s.blob.text));
        if (s.blob.playlists.length) {
          const ul = el('ul', 'stream-pointers');
          s.blob.playlists.forEach((url, i) => {
            const li = el('li');
            const b = button('Show', 'pointer-' + i, 'Go to this playlist’s row in the list');
            b.setAttribute('aria-label', 'Show the row of ' + url);
            b.addEventListener('click', () => o.onGoTo(url));
            li.append(b, el('span', 'stream-url', clip(url)));
            ul.appendChild(li);
          });
          sec.appendChild(ul);
        }
        return sec;
      }
      const v = s.view;
      sec.appendChild(el('h3', '', v.title));
      if (!v.ok) {
        sec.appendChild(el('p', 'stream-note', v.message));
        return sec;
      }
      sec.appendChild(el('p', 'stream-summary', v.summary));
      for (const n of v.notes) sec.appendChild(el('p', 'fine', n));
      for (const part of v.sections) {
        sec.appendChild(el('h4', '', part.title));
        if (part.note) sec.appendChild(el('p', 'stream-note drm', part.note));
        const ol = el('ol', 'variants');
        for (const it of part.items) ol.appendChild(variantItem(row, it));
        sec.appendChild(ol);
      }
      for (const g of v.groups) {
        sec.appendChild(el('h4', '', g.title));
        const ul = el('ul', 'renditions');
        for (const r of g.renditions) {
          const li = el('li', '', r.text);
          if (r.seen) li.appendChild(tag('seen', 'seen'));
          if (r.url) li.title = clip(r.url);
          ul.appendChild(li);
        }
        sec.appendChild(ul);
      }
      return sec;
    }

    // Up and down go to the same command of the quality above or below, left and Escape go
    // back to the list.
    root.addEventListener('keydown', (e) => {
      const b = e.target && e.target.closest ? e.target.closest('.stream button') : null;
      if (!b) {
        if (e.key === 'Escape' && o.onLeave) {
          e.preventDefault();
          o.onLeave();
        }
        return;
      }
      if (e.key === 'Escape' || e.key === 'ArrowLeft') {
        e.preventDefault();
        if (o.onLeave) o.onLeave();
        return;
      }
      if (e.key !== 'ArrowDown' && e.key !== 'ArrowUp') return;
      const buttons = Array.from(root.querySelectorAll('.stream button')).filter((x) => !b.dataset.tool || x.dataset.tool === b.dataset.tool);
      const i = buttons.indexOf(b) + (e.key === 'ArrowDown' ? 1 : -1);
      if (i >= 0 && i < buttons.length) buttons[i].focus();
      e.preventDefault();
    });

    function draw(row, d, stream) {
      const active = typeof document !== 'undefined' ? document.activeElement : null;
      const focusKey = active && root.contains(active) && active.dataset ? active.dataset.focusKey : '';
      drawParts(row, d, stream);
      if (focusKey) {
        const again = root.querySelector('[data-focus-key="' + focusKey + '"]');
        if (again) again.focus();
        // Its button is gone (another row): the keyboard goes back to the list rather than
        // to the page's start.
        else if (o.onLeave) o.onLeave();
      }
    }

    function drawParts(row, d, stream) {
      body.textContent = '';
      if (!row) {
        title.textContent = 'Details';
        body.appendChild(el('p', 'fine', 'Click a row, or move to one with the arrow keys, to see its request and response.'));
        return;
      }
      const v = details.describe(row, d, reveal);
      title.textContent = clip(v.title);
      title.title = clip(v.title);
      // What the stream offers comes first: for a playlist row it is what the user came for.
      if (stream) body.appendChild(streamSection(row, stream));
      if (v.note) body.appendChild(el('p', 'fine details-note', v.note));
      if (v.fields.length > 0) body.appendChild(fieldList(v.fields, 'details-fields'));
      if (d && !d.saved) {
        if (v.masked > 0 || reveal) {
          const b = button(reveal ? 'Hide credentials' : 'Show credentials', 'reveal');
          b.id = 'details-reveal';
          b.setAttribute('aria-pressed', reveal ? 'true' : 'false');
          b.title = reveal ? 'Mask the Cookie, Authorization and Set-Cookie values again' : 'Show the values of ' + v.masked + ' masked header' + (v.masked === 1 ? '' : 's');
          b.addEventListener('click', () => {
            reveal = !reveal;
            render();
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
      const stream = row && o.stream ? o.stream(row) : null;
      const streamKey = stream ? stream.key : '';
      if (row === shown.row && d === shown.details && version === shown.version && reveal === shown.reveal && streamKey === shown.stream) return;
      if (row !== shown.row) reveal = false;
      shown = { row, details: d, version, reveal, stream: streamKey };
      draw(row, d, stream);
    }

    function show(on) {
      visible = !!on;
      root.hidden = !visible;
      shown = { row: undefined, details: undefined, version: -1, reveal: false, stream: '' };
      render();
    }

    // Puts the keyboard on the first command (or pointer) of the stream section; false
    // when the pane shows none.
    function focusStream() {
      render();
      const b = root.querySelector('.stream button');
      if (!b) return false;
      b.focus();
      return true;
    }

    return {
      show,
      render,
      focusStream,
      get visible() {
        return visible;
      },
    };
  }

  return { createDetailsPane };
});
