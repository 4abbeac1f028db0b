// The first working page: scan controls and a plain result list.
(function () {
  'use strict';
  const T = window.Trawlet;
  const $ = (id) => document.getElementById(id);

  window.trawletResults = [];
  let state = 'idle';
  let pending = [];
  let scheduled = false;

  function setState(s) {
    state = s;
    const el = $('status');
    el.dataset.state = s;
    el.textContent = 'Scan: ' + s;
    $('pause').disabled = s === 'idle';
    $('pause').textContent = s === 'paused' ? 'Resume' : 'Pause';
    $('stop').disabled = s === 'idle';
  }

  function say(text) {
    $('message').textContent = text || '';
  }

  function filterKind() {
    if ($('filter-mime').checked) return 'mime';
    if ($('filter-ext').checked) return 'ext';
    return 'off';
  }

  function start() {
    const built = T.service.buildStartParams($('url').value, filterKind(), $('mime-text').value, $('ext-text').value);
    if (built.error) return say(T.service.START_ERRORS[built.error]);
    const r = T.service.call('start', built.params);
    if (r.ok) {
      say('');
      clearList();
      setState('running');
    } else if (r.error === 'no-service') {
      say(T.service.START_ERRORS['no-service']);
    } else {
      say('Trawlet could not open this address in the scan window. Check it, for example https://example.com/.');
    }
  }

  function clearList() {
    $('results').textContent = '';
    pending = [];
    updateCount();
  }

  function updateCount() {
    const n = $('results').childElementCount;
    $('count').dataset.count = String(n);
    $('count').textContent = n + (n === 1 ? ' result' : ' results');
  }

  function makeRow(rec) {
    const li = document.createElement('li');
    li.dataset.url = rec.url;
    for (const [cls, text] of [
      ['name', rec.fileName || '(no name)'],
      ['type', rec.mimeType],
      ['size', rec.size],
      ['url', rec.url],
    ]) {
      const span = document.createElement('span');
      span.className = cls;
      span.textContent = text;
      if (cls === 'url') span.title = rec.url;
      li.appendChild(span);
    }
    for (const [cls, label] of [
      ['open', 'Open'],
      ['copy', 'Copy'],
    ]) {
      const b = document.createElement('button');
      b.type = 'button';
      b.className = cls;
      b.textContent = label;
      li.appendChild(b);
    }
    return li;
  }

  function flush() {
    scheduled = false;
    const batch = pending;
    pending = [];
    const frag = document.createDocumentFragment();
    for (const rec of batch) frag.appendChild(makeRow(rec));
    $('results').appendChild(frag);
    updateCount();
  }

  window.addResult = function (text) {
    try {
      const rec = T.record.parseRecord(text);
      if (!rec) return;
      window.trawletResults.push(rec);
      pending.push(rec);
      if (!scheduled) {
        scheduled = true;
        requestAnimationFrame(flush);
      }
    } catch (e) {
      // A bad record must never break the program's call into the page.
    }
  };

  window.updateInputUrl = function (text) {
    try {
      if (typeof text === 'string') $('url').value = text;
    } catch (e) {
      // Ignored: see addResult.
    }
  };

  $('scan-form').addEventListener('submit', (e) => {
    e.preventDefault();
    start();
  });
  $('pause').addEventListener('click', () => {
    if (state === 'idle') return;
    if (T.service.call('pause').ok) setState(state === 'running' ? 'paused' : 'running');
  });
  $('stop').addEventListener('click', () => {
    if (T.service.call('stop').ok) setState('idle');
  });
  $('results').addEventListener('click', (e) => {
    const b = e.target.closest('button');
    const li = e.target.closest('li');
    if (!b || !li) return;
    const url = li.dataset.url;
    const r = T.service.call(b.classList.contains('open') ? 'open' : 'copyURL', { url });
    if (!r.ok) say(b.classList.contains('open') ? 'The address could not be opened.' : 'The address could not be copied.');
  });
  setState('idle');
})();
