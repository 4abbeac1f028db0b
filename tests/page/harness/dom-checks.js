// Dev-only checks of the whole page in a real engine, with fake-service.js standing in for
// the program. Injected at document start by pagerun (see README.md); sets window.__done
// to one line per check, "ok ..." or "FAIL ...". Run it twice on the same data folder: the
// first run works the page and leaves settings and a saved scan behind, the second checks
// that they came back.
window.addEventListener('load', () => {
  const $ = (id) => document.getElementById(id);
  const lines = [];
  const ok = (name, cond, extra) => lines.push((cond ? 'ok ' : 'FAIL ') + name + (cond ? '' : ' — ' + extra));
  const frames = (n) => new Promise((r) => { const f = () => (--n <= 0 ? r() : requestAnimationFrame(f)); requestAnimationFrame(f); });
  const key = (el, k, o) => el.dispatchEvent(new KeyboardEvent('keydown', Object.assign({ key: k, bubbles: true, cancelable: true }, o || {})));
  const click = (el, o) => {
    el.dispatchEvent(new MouseEvent('mousedown', Object.assign({ bubbles: true, cancelable: true, button: 0 }, o || {})));
    el.dispatchEvent(new MouseEvent('click', Object.assign({ bubbles: true, cancelable: true }, o || {})));
  };
  const input = (id, v) => { $(id).value = v; $(id).dispatchEvent(new Event('input')); };
  const rows = () => Array.from(document.querySelectorAll('#results .row:not([hidden])')).sort((a, b) => a._idx - b._idx);
  const count = () => $('count').dataset.count;
  const rec = (u, m, s, n) => JSON.stringify({ fileName: n !== undefined ? n : u.split('/').pop().split(/[?#]/)[0], mimeType: m, size: s, url: u }) + '\n';
  const PHASE = 'trawlet.dev.checks';

  async function firstRun() {
    ok('starts idle', $('status').dataset.state === 'idle' && /idle/.test($('status').textContent), $('status').textContent);
    $('url').value = 'www.example.com';
    $('start').click();
    ok('updateInputUrl fills the field during start', $('url').value === 'http://www.example.com', $('url').value);
    ok('running after start', $('status').dataset.state === 'running', $('status').dataset.state);
    addResult(rec('http://h.com/a.mp4', 'video/mp4', '10MB'));
    addResult(rec('http://h.com/a.mp4#t=5', 'video/mp4', '10MB'));
    addResult(rec('http://h.com/b.png', 'image/png', '2KB'));
    addResult(rec('http://cdn.h.com/live/master.m3u8', 'application/vnd.apple.mpegurl', '1KB'));
    for (let i = 0; i < 30; i++) addResult(rec('http://cdn.h.com/live/seg' + i + '.ts', 'video/mp2t', '512KB'));
    addResult(rec("http://x.org/it's a $file&.mp4", 'video/mp4', 'unknown'));
    addResult('{"fileName":"<img src=x onerror=window.__pwn=1>","mimeType":"text/html","size":"1KB","url":"http://e.vil/<b>x</b>"}');
    for (const bad of ['not json', null, '[1]', 42, '{"url":7}']) addResult(bad);
    updateInputUrl(17);
    await frames(2);
    ok('trawletResults holds every valid record', trawletResults.length === 36, trawletResults.length);
    ok('rows after folding', count() === '6', count());
    ok('record text never becomes markup', !window.__pwn && !document.querySelector('#results img, #results b'));
    const r0 = rows();
    ok('duplicates folded with a hit count', r0[0].dataset.url === 'http://h.com/a.mp4' && r0[0].querySelector('.c-hits').textContent === '2');
    ok('segments folded under one row', r0.some((r) => r.dataset.group === 'segments' && /30 segments/.test(r.textContent)));
    ok('playlist marked', r0.some((r) => r.querySelector('.badge').textContent === 'HLS'));

    $('sort-size').click();
    $('sort-size').click();
    ok('sort by size, descending', rows()[0].dataset.group === 'segments' && document.querySelector('.hc.c-size').getAttribute('aria-sort') === 'descending');
    $('sort-size').click();
    ok('third click: arrival order', rows()[0].dataset.url === 'http://h.com/a.mp4');

    input('view-text', 'png');
    ok('view filter text', count() === '1', count());
    ok('only rows in the list carry an address', document.querySelectorAll('#results [data-url]').length === 1);
    $('view-not').checked = true;
    $('view-not').dispatchEvent(new Event('change'));
    ok('view filter negated', count() === '5', count());
    $('clear-view').click();
    $('chip-video').click();
    ok('type chip', count() === '3', count());
    $('chip-video').click();
    input('view-min', '1MB');
    ok('minimum size keeps unknown sizes', count() === '3', count());
    input('view-min', 'abc');
    ok('a bad size is explained', /not a size/.test($('view-error').textContent));
    $('clear-view').click();
    $('view-regex').checked = true;
    input('view-text', '(');
    ok('a bad regular expression is explained and ignored', /regular expression/.test($('view-error').textContent) && count() === '6');
    $('clear-view').click();
    input('view-hosts-out', 'h.com');
    ok('hosts excluded with their subdomains', count() === '2', count());
    $('clear-view').click();
    input('view-text', 'nomatchatall');
    await frames(1);
    ok('empty view says why', /No row matches/.test($('empty').textContent));
    $('clear-view').click();

    let rs = rows();
    click(rs[0]);
    click(rs[2], { shiftKey: true });
    ok('shift-click selects a range', $('count').dataset.selected === '3');
    click(rs[4], { ctrlKey: true });
    ok('ctrl-click adds a row', $('count').dataset.selected === '4');
    $('grid').focus();
    key($('grid'), 'c', { ctrlKey: true });
    ok('Ctrl+C copies the selected addresses in one call', fakeClipboard.split('\n').length === 4, fakeClipboard);
    key($('grid'), 'Escape');
    key($('grid'), 'Home');
    key($('grid'), 'ArrowDown');
    key($('grid'), 'ArrowDown', { shiftKey: true });
    ok('arrows move, shift+arrows extend', $('count').dataset.selected === '2');
    ok('the current row is announced', $('grid').getAttribute('aria-activedescendant') !== null);
    key($('grid'), 'a', { ctrlKey: true });
    ok('Ctrl+A selects every row shown', $('count').dataset.selected === '6');
    key($('grid'), 'Escape');
    click(rows()[3]);
    $('act-copy').click();
    ok('copying a segment group copies every segment', fakeClipboard.split('\n').length === 30);
    click(rows()[4]);
    $('cmd-tool').value = 'curl';
    $('act-cmd').click();
    ok('curl command quoted for the shell', fakeClipboard === "curl --fail --location --globoff --remote-name-all 'http://x.org/it'\\''s a $file&.mp4'\n", fakeClipboard);
    $('cmd-tool').value = 'media';
    $('act-cmd').click();
    ok('media downloader command', fakeClipboard.startsWith('yt-dlp -- '));
    key($('grid'), 'Escape');
    $('export-format').value = 'csv';
    $('export-copy').click();
    ok('CSV export of every row shown', fakeClipboard.split('\r\n').length === 37, fakeClipboard.split('\r\n').length);
    $('export-format').value = 'json';
    $('export-copy').click();
    ok('JSON export', JSON.parse(fakeClipboard).length === 35);
    rows()[1].querySelector('.copy').click();
    ok('row Copy button', fakeClipboard === 'http://h.com/b.png');
    rows()[1].querySelector('.open').click();
    ok('row Open button', fakeOpened[fakeOpened.length - 1] === 'http://h.com/b.png');
    $('fold-dups').click();
    $('fold-segments').click();
    ok('every hit shown when folding is off', count() === '36', count());
    $('fold-dups').click();
    $('fold-segments').click();

    // The program's details of responses.
    const told = (u, o) => JSON.stringify(Object.assign({ id: 1, url: u, method: 'GET', status: 206, statusText: 'Partial Content', length: 1880, started: Date.now() - 30, received: Date.now(), window: 0, destination: 'video', redirect: false, redirectTo: null,
      requestHeaders: [['Referer', 'http://h.com/watch'], ['User-Agent', 'Engine/1 (X11)'], ['Range', 'bytes=0-'], ['Authorization', 'Basic c2VjcmV0']],
      responseHeaders: [['Content-Type', 'video/mp4'], ['Set-Cookie', 'sid=fake; HttpOnly']] }, o || {}));
    for (const bad of ['garbage', null, 42, '{"url":5}', '[]']) addResultDetails(bad);
    addResult(rec('http://h.com/told.mp4', 'video/mp4', '1.84KB'));
    addResultDetails(told('http://h.com/told.mp4'));
    addResult(rec('http://h.com/missing.png', 'image/png', '1KB'));
    addResultDetails(told('http://h.com/missing.png', { status: 404, statusText: 'Not Found', method: 'POST', destination: 'image', length: 1024 }));
    addResult(rec('http://h.com/other.png', 'image/png', '1KB'));
    addResultDetails(told('http://h.com/not-this-one.png'));
    await frames(2);
    const statusOf = (u) => { const r = rows().find((x) => x.dataset.url === u); return r ? r.querySelector('.c-status').textContent : null; };
    ok('status column', statusOf('http://h.com/told.mp4') === '206' && statusOf('http://h.com/missing.png') === 'POST 404' && statusOf('http://h.com/other.png') === '', [statusOf('http://h.com/told.mp4'), statusOf('http://h.com/missing.png'), statusOf('http://h.com/other.png')].join('|'));
    input('view-text', '4xx');
    ok('status class filter', count() === '1', count());
    input('view-text', 'method:post');
    ok('method filter', count() === '1', count());
    input('view-text', 'dest:media');
    ok('destination filter', count() === '1', count());
    input('view-text', 'status:x');
    ok('a bad term is explained', /status: takes/.test($('view-error').textContent));
    $('clear-view').click();
    click(rows().find((x) => x.dataset.url === 'http://h.com/told.mp4'));
    $('act-details').click();
    await frames(1);
    const pane = () => $('details').textContent;
    ok('details pane shows the current row', !$('details').hidden && /206 Partial Content/.test(pane()) && /Referer/.test(pane()) && /1,880 bytes/.test(pane()), pane().slice(0, 200));
    ok('credentials masked', !/c2VjcmV0|sid=fake/.test(pane()) && /characters\)/.test(pane()));
    $('details-reveal').click();
    ok('credentials shown when asked', /Basic c2VjcmV0/.test(pane()) && /sid=fake/.test(pane()));
    key($('grid'), 'ArrowDown');
    key($('grid'), 'ArrowUp');
    ok('masked again on another row', !/c2VjcmV0/.test(pane()));
    $('cmd-tool').value = 'curl';
    $('url').focus();
    key($('url'), 'C', { ctrlKey: true, shiftKey: true });
    ok('Ctrl+Shift+C from a text field copies the command', /-H 'Referer: http:\/\/h\.com\/watch'/.test(fakeClipboard) && /-H 'Cookie: sid=fake; theme=dark'/.test(fakeClipboard) && /Authorization: Basic/.test(fakeClipboard) && !/Range/.test(fakeClipboard), fakeClipboard);
    $('cmd-credentials').click();
    key(document.body, 'C', { ctrlKey: true, shiftKey: true });
    ok('without cookies and credentials', /Referer/.test(fakeClipboard) && !/Cookie|Authorization/.test(fakeClipboard), fakeClipboard);
    $('cmd-credentials').click();
    $('export-format').value = 'har';
    $('export-format').dispatchEvent(new Event('change'));
    ok('HAR offers its credentials switch', !$('export-credentials-label').hidden);
    $('export-copy').click();
    const har = JSON.parse(fakeClipboard);
    ok('HAR export of the current row', har.log.entries.length === 1 && har.log.entries[0].response.status === 206 && !/c2VjcmV0|sid=fake/.test(fakeClipboard), fakeClipboard.slice(0, 200));
    $('export-format').value = 'csv';
    $('export-format').dispatchEvent(new Event('change'));
    $('act-details').click();
    ok('details pane hidden again', $('details').hidden);
    key($('grid'), 'Escape');

    key(document.body, 'p', { altKey: true });
    ok('Alt+P pauses', $('status').dataset.state === 'paused');
    key(document.body, 'p', { altKey: true });
    ok('Alt+P resumes', $('status').dataset.state === 'running');
    key(document.body, '/');
    ok('/ focuses the view filter', document.activeElement === $('view-text'));
    $('sort-size').focus();
    key($('sort-size'), 'ArrowLeft', { altKey: true });
    ok('Alt+← moves a column', Array.from(document.querySelectorAll('.hc[data-col]')).map((c) => c.dataset.col).join() === 'name,size,type,status,hits,url,first,last');
    key($('sort-size'), 'ArrowRight', { altKey: true, shiftKey: true });
    $('sort-name').click();
    $('theme').value = 'dark';
    $('theme').dispatchEvent(new Event('change'));
    ok('theme override', document.documentElement.dataset.theme === 'dark');
    key(document.body, 's', { altKey: true });
    ok('Alt+S stops', $('status').dataset.state === 'idle');
    ok('the scan was saved', JSON.parse(localStorage.getItem('trawlet.history.v1')).length === 1);

    $('url').value = '';
    $('start').click();
    ok('empty address explained', /Type the address/.test($('message').textContent));
    $('url').value = 'fail';
    $('start').click();
    ok('"start" answered 0 explained', /did not start/.test($('message').textContent));
    $('url').value = 'http://example.com/';
    $('filter-ext').checked = true;
    $('ext-text').value = 'mp4, flv';
    $('start').click();
    const p = JSON.parse(fakeServiceCalls[fakeServiceCalls.length - 1].params);
    ok('extension list sent with dots and both cases', p.fileExtFilter === '.mp4;.MP4;.flv;.FLV' && p.useFileExtFilter === true, JSON.stringify(p));
    ok('a new scan starts an empty list', count() === '0');
    await new Promise((r) => setTimeout(r, 4300));
    await frames(2);
    ok('nothing matched yet is said', /Nothing matched yet/.test($('empty').textContent), $('empty').textContent);
    addResult(rec('http://h.com/late.mp4', 'video/mp4', '1MB'));
    await frames(2);
    $('clear-list').click();
    addResult(rec('http://h.com/after.mp4', 'video/mp4', '1MB'));
    await frames(2);
    ok('clearing during a scan keeps capturing', count() === '1' && $('status').dataset.state === 'running');
    $('stop').click();
    $('filter-mime').checked = true;
    $('mime-text').value = 'video';
    $('url').value = 'http://persist.example/';
    window.dispatchEvent(new Event('pagehide'));
    localStorage.setItem(PHASE, 'written');
  }

  async function secondRun() {
    await frames(2);
    const s = JSON.parse(localStorage.getItem('trawlet.settings.v1'));
    ok('address restored', $('url').value === 'http://persist.example/', $('url').value);
    ok('filter kind and text restored', $('filter-mime').checked && $('mime-text').value === 'video');
    ok('column order restored', Array.from(document.querySelectorAll('.hc[data-col]')).map((c) => c.dataset.col).join() === 'name,size,type,status,hits,url,first,last');
    const stored = Object.keys(localStorage).map((k) => localStorage.getItem(k)).join('\n');
    ok('the history keeps no headers and no cookies', !/sid=|Bearer|Authorization|Referer/.test(stored) && stored.includes('[206,"GET",1880,"video"]'));
    ok('column width restored', s.columns.find((c) => c.id === 'size').width === 100, JSON.stringify(s.columns));
    ok('sort restored', document.querySelector('.hc.c-name').getAttribute('aria-sort') === 'ascending');
    ok('theme restored', document.documentElement.dataset.theme === 'dark');
    ok('history restored', $('history-list').children.length === 3, $('history-list').children.length);
    ok('last scan shown', count() === '1' && /saved scan/.test($('notice').textContent), count());
    $('history-clear').click();
    ok('history cleared', !localStorage.getItem('trawlet.history.v1') && Object.keys(localStorage).every((k) => !k.startsWith('trawlet.scan.')));
    localStorage.removeItem(PHASE);
  }

  (async () => {
    try {
      if (localStorage.getItem(PHASE)) await secondRun();
      else await firstRun();
    } catch (e) {
      ok('no exception', false, e + ' ' + e.stack);
    }
    window.__done = lines.join('\n');
  })();
});
