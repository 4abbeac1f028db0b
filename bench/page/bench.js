// Benchmark of the user-interface page (not a test). Loads the real page in a frame,
// feeds it records through its addResult at a fixed rate, each followed by the program's
// details of the response (about a kilobyte of headers) through addResultDetails, and
// measures:
//   - the longest frame while the records arrive (goal: under 50 ms),
//   - the time to sort and to apply a view filter to the full list (goal: under 100 ms),
//   - the JavaScript heap afterwards, where the engine tells it.
// Query parameters:
//   page=<address of the page, relative to this file>   default ../../resources/Html/index.html,
//        or app.html when this file itself is loaded as index.html
//   count=<records>  default 20000
//   rate=<records per second>  default 5000
//   details=0  feeds no details (the page as it was before the program told them)
//   report=<http://127.0.0.1:PORT/path>  the results are also POSTed there as JSON
//        (loopback addresses only)
// The results are printed on this page and on the console as one line starting with
// "TRAWLET-BENCH ".
(function () {
  'use strict';
  const out = document.getElementById('out');
  const frame = document.getElementById('page');
  const q = new URLSearchParams(location.search);
  const selfIsIndex = /\/index\.html$/.test(location.pathname);
  const pageUrl = q.get('page') || (selfIsIndex ? 'app.html' : '../../resources/Html/index.html');
  const COUNT = Math.max(1, Math.min(1000000, Number(q.get('count')) || 20000));
  const RATE = Math.max(1, Math.min(1000000, Number(q.get('rate')) || 5000));
  const report = q.get('report') || '';
  const DETAILS = q.get('details') !== '0';

  function print(line) {
    out.textContent += '\n' + line;
  }

  // A small deterministic generator, so that every run feeds the same records.
  let seed = 12345;
  function rand() {
    seed = (seed * 1103515245 + 12345) >>> 0;
    return seed / 4294967296;
  }
  const KINDS = [
    ['video', 'mp4', 'video/mp4'],
    ['clip', 'webm', 'video/webm'],
    ['img', 'jpg', 'image/jpeg'],
    ['icon', 'png', 'image/png'],
    ['bundle', 'js', 'application/javascript'],
    ['theme', 'css', 'text/css'],
    ['font', 'woff2', 'font/woff2'],
    ['track', 'mp3', 'audio/mpeg'],
    ['data', 'json', 'application/json'],
    ['page', 'html', 'text/html'],
    ['master', 'm3u8', 'application/vnd.apple.mpegurl'],
    ['seg', 'ts', 'video/mp2t'],
  ];
  const HOSTS = ['www.example.com', 'cdn1.example.net', 'media.example.org', 'static.example.com', 'img.cdn.example.io'];
  function sizeText(bytes) {
    const units = [
      ['PB', 2 ** 50],
      ['TB', 2 ** 40],
      ['GB', 2 ** 30],
      ['MB', 2 ** 20],
      ['KB', 2 ** 10],
    ];
    for (const [name, u] of units) if (bytes >= u) return bytes % u === 0 ? bytes / u + name : (bytes / u).toFixed(2) + name;
    return bytes + 'B';
  }
  // About one record in ten repeats an earlier address, as pages do. Each record keeps
  // what its details are made from: its kind, address and length.
  const made = [];
  function record(i) {
    if (made.length > 50 && rand() < 0.1) return made[Math.floor(rand() * made.length)];
    const k = KINDS[Math.floor(rand() * KINDS.length)];
    const host = HOSTS[Math.floor(rand() * HOSTS.length)];
    const name = k[0] + '-' + i + '-' + Math.floor(rand() * 1e6).toString(36) + '.' + k[1];
    const dir = k[1] === 'ts' ? 'hls/stream' + (i % 7) : 'assets/' + Math.floor(rand() * 40);
    const query = rand() < 0.3 ? '?v=' + Math.floor(rand() * 1e9).toString(36) + '&token=' + Math.floor(rand() * 1e12).toString(36) : '';
    const bytes = rand() < 0.05 ? -1 : Math.floor(rand() * rand() * 200 * 1024 * 1024);
    const url = 'https://' + host + '/' + dir + '/' + name + query;
    const text = JSON.stringify({ fileName: name, mimeType: k[2], size: bytes < 0 ? 'unknown' : sizeText(bytes), url }) + '\n';
    const r = { text, k, bytes };
    made.push(r);
    return r;
  }

  // The program's details of one response, as a page's requests have them: about 1 KB of
  // headers, most of them the same from one request to the next (referer, user agent,
  // accept, server, cache), some different every time (dates, tags, lengths, request ids).
  const PAGE = 'https://www.example.com/watch/' + 'x7Yq2';
  const UA = 'Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 Safari/605.1.15';
  const DEST = { mp4: 'video', webm: 'video', jpg: 'image', png: 'image', js: 'script', css: 'style', woff2: 'font', mp3: 'audio', json: 'empty', html: 'document', m3u8: 'empty', ts: 'empty' };
  const ACCEPT = {
    image: 'image/webp,image/avif,image/jxl,image/heic,image/heic-sequence,video/*;q=0.8,image/png,image/svg+xml,image/*;q=0.8,*/*;q=0.5',
    document: 'text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8',
    style: 'text/css,*/*;q=0.1',
  };
  function detailsText(i, r) {
    const url = JSON.parse(r.text).url;
    const dest = DEST[r.k[1]];
    const media = dest === 'video' || dest === 'audio';
    const n = (i * 2654435761) >>> 0;
    const status = n % 97 === 3 ? 404 : n % 211 === 5 ? 304 : n % 101 === 7 ? 302 : media ? 206 : 200;
    const started = 1765270000000 + i * 3;
    const request = [['Referer', PAGE], ['User-Agent', UA], ['Accept', ACCEPT[dest] || '*/*'], ['Accept-Language', 'en-US,en;q=0.9'], ['Accept-Encoding', media ? 'identity' : 'gzip, deflate, br'],
      ['Sec-Fetch-Dest', dest], ['Sec-Fetch-Mode', dest === 'empty' ? 'cors' : 'no-cors'], ['Sec-Fetch-Site', url.includes('www.example.com') ? 'same-origin' : 'cross-site']];
    if (dest === 'empty') request.push(['Origin', 'https://www.example.com']);
    if (media) request.push(['Range', 'bytes=0-']);
    if (n % 19 === 0) request.push(['Authorization', 'Bearer ' + n.toString(36) + 'eyJhbGciOiJIUzI1NiJ9']);
    const response = [['Content-Type', r.k[2]], ['Content-Length', String(r.bytes < 0 ? 0 : r.bytes)], ['Date', new Date(started).toUTCString()],
      ['Last-Modified', new Date(1700000000000 + (n % 5000) * 86400).toUTCString()], ['ETag', '"' + n.toString(16) + '-' + (i * 7919).toString(16) + '"'],
      ['Cache-Control', 'public, max-age=31536000, immutable'], ['Server', 'nginx/1.24.0'], ['Accept-Ranges', 'bytes'], ['Access-Control-Allow-Origin', '*'], ['Vary', 'Accept-Encoding, Origin'],
      ['Age', String(n % 86400)], ['X-Cache', n % 3 ? 'HIT from edge-' + (n % 40) : 'MISS from edge-' + (n % 40)], ['Strict-Transport-Security', 'max-age=63072000; includeSubDomains; preload'],
      ['Alt-Svc', 'h3=":443"; ma=86400'], ['X-Request-Id', n.toString(16) + '-' + i.toString(16) + '-4b1c-9f3e-' + (n ^ i).toString(16)]];
    if (n % 10 === 0) response.push(['Set-Cookie', 'visitor=' + n.toString(36) + '; Path=/; Max-Age=31536000; Secure; HttpOnly; SameSite=Lax']);
    if (dest === 'document') response.push(['Content-Security-Policy', "default-src 'self'; img-src * data:; media-src * blob:; script-src 'self' 'unsafe-inline' https://cdn1.example.net; style-src 'self' 'unsafe-inline'"]);
    return JSON.stringify({ id: i + 1, url, method: n % 53 === 1 ? 'POST' : 'GET', status, statusText: { 200: 'OK', 206: 'Partial Content', 302: 'Found', 304: 'Not Modified', 404: 'Not Found' }[status],
      requestHeaders: request, responseHeaders: response, length: r.bytes < 0 ? null : r.bytes, started, received: started + 20 + (n % 300), window: 0, destination: dest,
      redirect: status === 302, redirectTo: status === 302 ? url + '&moved=1' : null });
  }

  // The details are made in a worker, as the program makes them in a process of its own:
  // the page's thread only receives their texts, a few hundred ahead of the feed, so that
  // neither their making nor a store of all of them is measured (made on the page's
  // thread they took more of it than the page itself did with them). Without workers they
  // are made on the page's thread as they are fed, and the report says so.
  const AHEAD = 600;
  function detailsMaker(records) {
    let worker = null;
    try {
      const source =
        'const DEST = ' + JSON.stringify(DEST) + ';\n' +
        'const ACCEPT = ' + JSON.stringify(ACCEPT) + ';\n' +
        'const PAGE = ' + JSON.stringify(PAGE) + ';\n' +
        'const UA = ' + JSON.stringify(UA) + ';\n' +
        detailsText.toString() + '\n' +
        'let records = [];\n' +
        'let next = 0;\n' +
        'onmessage = (e) => {\n' +
        '  if (e.data.records) { records = e.data.records; return; }\n' +
        '  const texts = [];\n' +
        '  for (let n = 0; n < e.data.want && next < records.length; n++, next++) texts.push(detailsText(next, records[next]));\n' +
        '  postMessage(texts);\n' +
        '};\n';
      worker = new Worker(URL.createObjectURL(new Blob([source], { type: 'text/javascript' })));
    } catch (e) {
      worker = null;
    }
    if (!worker) {
      let i = 0;
      return { where: 'page', ready: () => true, take: () => detailsText(i, records[i++]), start: () => Promise.resolve(), stop: () => {} };
    }
    const queue = [];
    let head = 0;
    let asked = 0;
    let failed = null;
    const ask = () => {
      const waiting = queue.length - head + asked;
      if (waiting >= AHEAD / 2) return;
      asked += AHEAD - waiting;
      worker.postMessage({ want: AHEAD - waiting });
    };
    worker.onmessage = (e) => {
      asked = Math.max(0, asked - e.data.length);
      if (head > 4096) {
        queue.splice(0, head);
        head = 0;
      }
      for (const t of e.data) queue.push(t);
    };
    worker.onerror = (e) => {
      failed = e.message || 'the details worker failed';
    };
    worker.postMessage({ records: records.map((r) => ({ text: r.text, k: r.k, bytes: r.bytes })) });
    return {
      where: 'worker',
      ready: () => {
        if (failed) throw new Error(failed);
        ask();
        return head < queue.length;
      },
      take: () => {
        const t = queue[head];
        queue[head++] = undefined;
        return t;
      },
      // Ends the worker once the feed is over, so that the heap measured afterwards (the
      // engine logs every heap's collections) is the page's alone.
      stop: () => worker.terminate(),
      // Waits until the first texts are there, before the feed starts.
      start: () =>
        new Promise((resolve, reject) => {
          const wait = () => (failed ? reject(new Error(failed)) : head < queue.length ? resolve() : setTimeout(wait, 5));
          ask();
          wait();
        }),
    };
  }

  // Asks the receiver to note the processor time used so far (see receiver.js); the
  // report then gives the time used between marks. Without a receiver, nothing.
  async function mark(name) {
    if (!report || !isLoopback(report)) return;
    try {
      await fetch(report + (report.includes('?') ? '&' : '?') + 'mark=' + encodeURIComponent(name));
    } catch (e) {
      print('Could not mark ' + name + ': ' + e);
    }
  }

  function nextFrames(w, n) {
    return new Promise((resolve) => {
      const step = () => (--n <= 0 ? resolve() : w.requestAnimationFrame(step));
      w.requestAnimationFrame(step);
    });
  }

  // Runs fn and waits until the page has laid out what it changed.
  function timed(w, fn) {
    const t0 = w.performance.now();
    fn();
    void w.document.body.offsetHeight;
    return w.performance.now() - t0;
  }

  async function run() {
    const w = frame.contentWindow;
    const doc = w.document;
    if (typeof w.addResult !== 'function' || !w.trawletApp) throw new Error('the page under test has no addResult or trawletApp: ' + pageUrl);
    const app = w.trawletApp;
    const records = [];
    for (let i = 0; i < COUNT; i++) records.push(record(i));
    await nextFrames(w, 3);

    // The same measure with nothing happening, to tell the page's cost from the
    // machine's: on a busy machine even idle frames come late.
    await mark('idle-start');
    const idle = await new Promise((resolve) => {
      let n = 0;
      let prev = 0;
      let max = 0;
      const t0 = w.performance.now();
      const step = (t) => {
        if (prev) {
          max = Math.max(max, t - prev);
          n++;
        }
        prev = t;
        if (w.performance.now() - t0 < 2000) w.requestAnimationFrame(step);
        else resolve({ frames: n, longest: max });
      };
      w.requestAnimationFrame(step);
    });

    await mark('idle-end');

    // Appending: frames are timed by the page's own animation frames.
    print('Feeding ' + COUNT + ' records at ' + RATE + ' a second…');
    let longest = 0;
    let frames = 0;
    let last = 0;
    let measuring = true;
    const longFrames = [];
    // What each gap held of script: the page's own frames by part (its account, read at
    // each of ours), the history's writes, and the feed's calls of addResult and
    // addResultDetails. What a long gap holds beyond them is the engine's: style,
    // layout, painting, collections. The longest wait between two ticks of the feed's
    // timer tells whether the page's thread was busy through the gap at all.
    const writes = () => (app.history ? app.history.writeStats.writes : 0);
    const partsAt = {};
    let flushAtLast = 0;
    let feedingAtLast = 0;
    let writesAt = 0;
    let tickGap = 0;
    let lastTick = 0;
    const onFrame = (t) => {
      if (last) {
        const d = t - last;
        if (d > longest) longest = d;
        if (d > 50) {
          const parts = {};
          for (const [k, v] of Object.entries(app.stats.parts || {})) parts[k] = Math.round(v.total - (partsAt[k] || 0));
          longFrames.push({
            atMs: Math.round(t - started),
            gapMs: Math.round(d),
            fed,
            pageMs: Math.round(app.stats.totalFlush - flushAtLast),
            pageParts: parts,
            historyWrites: writes() - writesAt,
            feedMs: Math.round(feedingMs - feedingAtLast),
            longestTickGapMs: Math.round(tickGap),
          });
        }
        frames++;
      }
      flushAtLast = app.stats.totalFlush;
      feedingAtLast = feedingMs;
      for (const [k, v] of Object.entries(app.stats.parts || {})) partsAt[k] = v.total;
      writesAt = writes();
      tickGap = 0;
      last = t;
      if (measuring) w.requestAnimationFrame(onFrame);
    };
    const withDetails = DETAILS && typeof w.addResultDetails === 'function';
    const maker = withDetails ? detailsMaker(records) : null;
    if (maker) await maker.start();
    await mark('feed-start');
    await nextFrames(w, 2);
    // The page captures the records as a scan, as after the user pressed Start: it then
    // writes its history while they come, which a real scan pays for too.
    if (app.history) app.history.begin('https://www.example.com/watch', 'video audio');
    w.requestAnimationFrame(onFrame);
    const started = w.performance.now();
    flushAtLast = app.stats.totalFlush;
    const flushBefore = app.stats.totalFlush;
    app.stats.longestFlush = 0;
    const partsBefore = JSON.parse(JSON.stringify(app.stats.parts || {}));
    for (const v of Object.values(app.stats.parts || {})) v.longest = 0;
    let fed = 0;
    let feedingMs = 0;
    let detailsFed = 0;
    let detailsChars = 0;
    await new Promise((resolve) => {
      const tick = () => {
        const now = w.performance.now();
        if (lastTick) tickGap = Math.max(tickGap, now - lastTick);
        lastTick = now;
        const due = Math.min(COUNT, Math.floor(((w.performance.now() - started) * RATE) / 1000));
        if (!withDetails) {
          const t0 = w.performance.now();
          while (fed < due) w.addResult(records[fed++].text);
          feedingMs += w.performance.now() - t0;
        }
        // A record goes with its details, so it waits for them when the worker is behind.
        while (fed < due && maker.ready()) {
          const d = maker.take();
          detailsChars += d.length;
          detailsFed++;
          const t0 = w.performance.now();
          w.addResult(records[fed].text);
          w.addResultDetails(d);
          feedingMs += w.performance.now() - t0;
          fed++;
        }
        if (fed < COUNT) w.setTimeout(tick, 4);
        else resolve();
      };
      tick();
    });
    const feedTime = w.performance.now() - started;
    await nextFrames(w, 3);
    // Frames stop being measured before the mark: taking the mark keeps the receiver
    // busy reading the processor times, and the machine has two processors. The worker
    // ends after that too: ending it holds up the page's thread while the worker's heap
    // is torn down, which is the benchmark's cost, not the page's.
    measuring = false;
    if (maker) maker.stop();
    const listMs = app.stats.totalFlush - flushBefore;
    const longestUpdate = app.stats.longestFlush;
    // The page's own account of its frames, by part, where it keeps one.
    const partsSince = (before) => {
      const out = {};
      for (const [k, v] of Object.entries(app.stats.parts || {}))
        out[k] = { totalMs: Math.round(v.total - ((before[k] && before[k].total) || 0)), longestMs: +v.longest.toFixed(1) };
      return out;
    };
    const partsNow = () => {
      const copy = JSON.parse(JSON.stringify(app.stats.parts || {}));
      for (const v of Object.values(app.stats.parts || {})) v.longest = 0;
      return copy;
    };
    const feedParts = partsSince(partsBefore);
    const saved = app.history && app.history.scans[0];
    const history = app.history && {
      count: app.history.writeStats.writes,
      longestMs: +app.history.writeStats.longest.toFixed(1),
      rowsKept: saved ? saved.rowCount : 0,
    };
    if (app.history) app.history.end();
    await mark('feed-end');
    const counts = app.model.counts();

    // Sorting and filtering the full list: every hit as one row.
    const foldDups = doc.getElementById('fold-dups');
    const foldSeg = doc.getElementById('fold-segments');
    if (foldDups.checked) foldDups.click();
    if (foldSeg.checked) foldSeg.click();
    await nextFrames(w, 2);
    const rows = app.model.view.length;
    let before = partsNow();
    const sorts = {};
    for (const col of ['size', 'status', 'name', 'type', 'url', 'hits', 'last']) {
      sorts[col + ' ascending'] = timed(w, () => app.setSort(col, 1));
      sorts[col + ' descending'] = timed(w, () => app.setSort(col, -1));
    }
    app.setSort(null, 1);
    const sortParts = partsSince(before);
    before = partsNow();
    const filters = {};
    const setText = (id, v) => {
      doc.getElementById(id).value = v;
    };
    const apply = (name, prepare) => {
      filters[name] = timed(w, () => {
        prepare();
        app.applyViewFilter();
      });
      app.clearViewFilter();
    };
    apply('text "video"', () => setText('view-text', 'video'));
    apply('text two words', () => setText('view-text', 'cdn mp4'));
    apply('regex', () => {
      doc.getElementById('view-regex').checked = true;
      setText('view-text', '\\.(mp4|webm)(\\?|$)');
    });
    apply('negated text', () => {
      doc.getElementById('view-not').checked = true;
      setText('view-text', 'example.com');
    });
    apply('type chips', () => {
      doc.getElementById('chip-video').setAttribute('aria-pressed', 'true');
      doc.getElementById('chip-audio').setAttribute('aria-pressed', 'true');
    });
    apply('size range', () => {
      setText('view-min', '1MB');
      setText('view-max', '100MB');
    });
    apply('hosts', () => setText('view-hosts-out', 'example.com'));
    apply('status class 4xx', () => setText('view-text', '4xx'));
    apply('not 200', () => setText('view-text', 'not 200'));
    apply('method:POST', () => setText('view-text', 'method:POST'));
    apply('dest:image with a word', () => setText('view-text', 'dest:image cdn'));
    const filterParts = partsSince(before);
    const foldTime = timed(w, () => {
      foldDups.click();
      foldSeg.click();
    });

    await nextFrames(w, 2);
    await mark('done');
    // The engine shows no heap to the page; run.sh has it log its collections instead.
    // Garbage made here makes sure that one comes after the measures, so that the last
    // one logged tells the size of the heap that the page keeps.
    let junk = 0;
    for (let i = 0; i < 96; i++) junk += new Array(65536).fill(i).length;
    await nextFrames(w, 2);
    await new Promise((resolve) => setTimeout(resolve, 300 + (junk & 0)));
    const mem = w.performance && w.performance.memory;
    const result = {
      engine: navigator.userAgent,
      records: COUNT,
      rate: RATE,
      feedSeconds: +(feedTime / 1000).toFixed(2),
      detailsFed,
      detailsMadeIn: maker ? maker.where : null,
      detailsAverageChars: detailsFed ? Math.round(detailsChars / detailsFed) : 0,
      rowsFolded: counts.shown,
      rowsEveryHit: rows,
      idleFramesIn2s: idle.frames,
      longestIdleFrameMs: +idle.longest.toFixed(1),
      framesWhileAppending: frames,
      longestFrameMs: +longest.toFixed(1),
      framesOver50Ms: longFrames.length,
      longFrames,
      longestListUpdateMs: +longestUpdate.toFixed(1),
      addResultTotalMs: Math.round(feedingMs),
      listUpdatesTotalMs: Math.round(listMs),
      listUpdateParts: feedParts,
      sortMs: Object.fromEntries(Object.entries(sorts).map(([k, v]) => [k, +v.toFixed(1)])),
      slowestSortMs: +Math.max(...Object.values(sorts)).toFixed(1),
      sortParts,
      filterMs: Object.fromEntries(Object.entries(filters).map(([k, v]) => [k, +v.toFixed(1)])),
      slowestFilterMs: +Math.max(...Object.values(filters)).toFixed(1),
      filterParts,
      foldBackMs: +foldTime.toFixed(1),
      historyWrites: history || null,
      jsHeapMB: mem ? +(mem.usedJSHeapSize / 1048576).toFixed(1) : null,
      jsHeapNote: mem ? 'performance.memory.usedJSHeapSize' : 'not available: this engine has no performance.memory',
      goals: {
        longestFrameUnder50Ms: longest < 50,
        sortUnder100Ms: Math.max(...Object.values(sorts)) < 100,
        filterUnder100Ms: Math.max(...Object.values(filters)) < 100,
        heapUnder60MB: mem ? mem.usedJSHeapSize < 60 * 1048576 : null,
      },
    };
    return result;
  }

  function isLoopback(u) {
    try {
      const url = new URL(u);
      return (url.protocol === 'http:' || url.protocol === 'https:') && ['127.0.0.1', 'localhost', '[::1]'].includes(url.hostname);
    } catch (e) {
      return false;
    }
  }

  async function send(result) {
    if (!report) return;
    if (!isLoopback(report)) {
      print('Not reporting to ' + report + ': only loopback addresses are accepted.');
      return;
    }
    try {
      // A plain text body keeps the request simple: no preflight from a file:// page.
      const r = await fetch(report, { method: 'POST', body: JSON.stringify(result) });
      print('Reported to ' + report + ': HTTP ' + r.status);
    } catch (e) {
      print('Could not report to ' + report + ': ' + e);
    }
  }

  frame.addEventListener('load', () => {
    setTimeout(async () => {
      let result;
      try {
        result = await run();
        print(JSON.stringify(result, null, 2));
      } catch (e) {
        result = { error: String(e && e.stack ? e.stack : e) };
        print('Failed: ' + result.error);
      }
      console.log('TRAWLET-BENCH ' + JSON.stringify(result));
      window.benchResult = result;
      await send(result);
      window.benchDone = JSON.stringify(result);
    }, 300);
  });
  out.textContent = 'Loading ' + pageUrl + '…';
  frame.src = pageUrl;
})();
