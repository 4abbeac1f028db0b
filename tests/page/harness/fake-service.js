// Dev-only stand-in for the program's `service` object, for looking at the page outside
// the program (a browser, or a bare WebKitGTK view). It answers like the native service
// handler: strict types for "start", "updateInputUrl" while the call is still running,
// pause toggling only while running. When running it feeds generated records to
// addResult at the rate given by window.fakeServiceRate (records per second, 0 for none).
// Never loaded by index.html.
(function () {
  'use strict';
  const w = window;
  const calls = (w.fakeServiceCalls = []);
  w.fakeClipboard = null;
  w.fakeOpened = [];
  let running = false;
  let paused = false;
  let timer = null;
  let seq = 0;
  const kinds = [
    ['video.mp4', 'video/mp4', '117.74MB'],
    ['clip.webm', 'video/webm', '3MB'],
    ['master.m3u8', 'application/vnd.apple.mpegurl', '1.50KB'],
    ['seg-%.ts', 'video/mp2t', '512.00KB'],
    ['logo.png', 'image/png', '12.25KB'],
    ['app.js', 'application/javascript', 'unknown'],
    ['site.css', 'text/css', '8KB'],
    ['font.woff2', 'font/woff2', '40.10KB'],
    ['song.mp3', 'audio/mpeg', '4.20MB'],
    ['', 'text/html', '0B'],
  ];
  function record(i) {
    const k = kinds[i % kinds.length];
    const name = k[0].replace('%', String(i));
    const host = i % 7 === 0 ? 'cdn.example.net' : 'www.example.com';
    const url = 'https://' + host + '/media/' + (i % 13 === 0 ? 'video.mp4' : name || 'dir/');
    return JSON.stringify({ fileName: name, mimeType: k[1], size: k[2], url }) + '\n';
  }
  function feed() {
    if (!running || paused || typeof w.addResult !== 'function') return;
    const n = Math.max(1, Math.round((w.fakeServiceRate || 0) / 20));
    for (let i = 0; i < n; i++) {
      const r = record(seq);
      w.addResult(r);
      if (typeof w.addResultDetails === 'function') w.addResultDetails(details(seq, JSON.parse(r).url));
      seq++;
    }
  }
  // The program's details of a generated record: a status, the request headers a page's
  // request has, and the response headers.
  function details(i, url) {
    const status = i % 17 === 5 ? 404 : i % 23 === 7 ? 302 : i % 11 === 3 ? 206 : 200;
    return JSON.stringify({
      id: i + 1,
      url,
      method: i % 29 === 4 ? 'POST' : 'GET',
      status,
      statusText: { 200: 'OK', 206: 'Partial Content', 302: 'Found', 404: 'Not Found' }[status],
      requestHeaders: [
        ['Referer', 'https://www.example.com/watch'],
        ['User-Agent', w.navigator.userAgent],
        ['Accept', '*/*'],
        ['Authorization', 'Bearer fake-token-' + (i % 3)],
      ],
      responseHeaders: [
        ['Content-Type', 'application/octet-stream'],
        ['Content-Length', String(1000 + i)],
        ['Set-Cookie', 'sid=fake' + i + '; Path=/; HttpOnly'],
      ],
      length: 1000 + i,
      started: Date.now() - 40,
      received: Date.now() - 5,
      window: i % 31 === 9 ? 1 : 0,
      destination: ['video', 'image', 'script', 'document', 'empty'][i % 5],
      redirect: status === 302,
      redirectTo: status === 302 ? 'https://www.example.com/moved' : null,
    });
  }
  w.fakeDetails = details;
  function answer(v) {
    return JSON.stringify({ returnValue: v }) + '\n';
  }
  w.service = {
    cancelCall() {
      return true;
    },
    call() {
      const entry = { uri: this.uri, method: this.method, params: this.params };
      calls.push(entry);
      if (this.uri !== 'com.kestovan.trawlet') return answer(0);
      let p = null;
      try {
        p = JSON.parse(this.params);
      } catch (e) {
        p = null;
      }
      switch (this.method) {
        case 'start': {
          if (!p || typeof p.url !== 'string' || typeof p.filterEnabled !== 'boolean') return answer(0);
          if (typeof p.useFileExtFilter !== 'boolean') return answer(0);
          if (p.useFileExtFilter ? typeof p.fileExtFilter !== 'string' : typeof p.mimeFilter !== 'string')
            return answer(0);
          if (p.url !== '' && !/^[a-z]+:/i.test(p.url) && typeof w.updateInputUrl === 'function')
            w.updateInputUrl('http://' + p.url);
          if (p.url === '' || p.url === 'fail') return answer(0);
          running = true;
          paused = false;
          if (!timer && w.fakeServiceRate) timer = setInterval(feed, 50);
          return answer(1);
        }
        case 'pause':
          if (running) paused = !paused;
          return answer(1);
        case 'stop':
          running = false;
          paused = false;
          return answer(1);
        case 'open':
          if (!p || typeof p.url !== 'string' || p.url === '') return answer(0);
          w.fakeOpened.push(p.url);
          return answer(1);
        case 'copyURL':
          if (!p || typeof p.url !== 'string' || p.url === '') return answer(0);
          w.fakeClipboard = p.url;
          return answer(1);
        case 'cookies':
          if (!p || !Array.isArray(p.urls) || !p.urls.every((u) => typeof u === 'string')) return answer(0);
          return JSON.stringify({ returnValue: 1, cookies: p.urls.map((u) => (/^https?:\/\/h\.com\//.test(u) ? 'sid=fake; theme=dark' : '')) }) + '\n';
        default:
          return answer(0);
      }
    },
  };
  w.fakeRecord = record;
})();
