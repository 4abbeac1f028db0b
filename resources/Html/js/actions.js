// What the page does with rows: open them with their default programs, copy their
// addresses or a command line that downloads them, and copy or save an export. Each
// action tells the user what came of it. Classic script (window.Trawlet.actions) and
// CommonJS module: saving a file needs a DOM, the rest runs under Node.
(function (root, factory) {
  'use strict';
  const node = typeof module === 'object' && module.exports;
  const T = root && root.Trawlet;
  const api = factory(
    node ? require('./model.js') : T.model,
    node ? require('./export.js') : T.exporting,
    node ? require('./service.js') : T.service,
    node ? require('./words.js') : T.words,
    node ? require('./details.js') : T.details,
    node ? require('./streams.js') : T.streams,
    node ? require('./streamview.js') : T.streamview
  );
  if (node) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).actions = api;
})(typeof self !== 'undefined' ? self : this, function (model, exporting, service, words, details, streams, streamview) {
  'use strict';

  const { plural, formatNumber } = words;
  // Asking before opening many addresses at once: each one starts a program.
  const OPEN_WITHOUT_ASKING = 10;
  const NO_SERVICE = service.START_ERRORS['no-service'];

  // Names for saved files. Two saves within one second would otherwise ask for the same
  // file name: the second gets "-2" before its extension, and so on.
  function createFileNamer() {
    let last = '';
    let count = 0;
    return function name(base) {
      if (base === last) count++;
      else {
        last = base;
        count = 1;
      }
      return count === 1 ? base : base.replace(/(\.\w+)$/, '-' + count + '$1');
    };
  }

  // Saves through a download link. The engine's own download handling puts the file in
  // the user's download folder (the XDG download directory, else the home folder) as
  // long as the program leaves navigation and response decisions to the engine; the
  // program tells the page where it went, or why not, through "fileSaved".
  function saveThroughLink(name, text, mime) {
    const blob = new Blob([text], { type: mime });
    const href = URL.createObjectURL(blob);
    const a = document.createElement('a');
    a.href = href;
    a.download = name;
    a.hidden = true;
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(href), 60000);
  }

  // options:
  //   say(text), notice(text)   the page's message and its passing notice
  //   confirm(question)         true to go on
  //   tool(), format()          the chosen command tool and export format
  //   credentials()             whether commands carry the Cookie and Authorization headers
  //                             (true unless given)
  //   harCredentials()          whether the HAR export keeps them (false unless given)
  //   userAgent                 the engine's User-Agent, for details that name none
  //   scan()                    { url, started } of the scan the list shows, or null
  //   call(method, params)      the service call (service.call unless given)
  //   save(name, text, mime)    saving a file (saveThroughLink unless given)
  //   fileName(format)          the name of a saved export (exporting.exportFileName unless given)
  //   withVariants(items, format)  the export items with what read playlists offer (optional)
  //   streamModel(url)          what the playlist read at an address offers (streams.read,
  //                             with its variants' own playlists: streamview.withMedia), or null
  //   detailsFor(url)           the details of the list's row of an address, or null
  function createActions(o) {
    const call = o.call || service.call;
    const save = o.save || saveThroughLink;
    const fileName = o.fileName || exporting.exportFileName;
    const nextName = createFileNamer();

    function openRows(rows) {
      const urls = model.rowUrls(rows.filter((r) => r.type !== 'group'));
      if (urls.length === 0) {
        o.notice(rows.length > 0 ? 'Segments are opened one by one: switch off “Fold segments” first.' : 'Nothing to open.');
        return;
      }
      if (urls.length > OPEN_WITHOUT_ASKING && !o.confirm('Open ' + plural(urls.length, 'address', 'addresses') + '?')) return;
      let failed = 0;
      let noService = false;
      for (const url of urls) {
        const r = call('open', { url });
        if (!r.ok) {
          failed++;
          if (r.error === 'no-service') {
            noService = true;
            break;
          }
        }
      }
      if (noService) o.say(NO_SERVICE);
      else if (failed === 1 && urls.length === 1) o.say('The address could not be opened: no program takes it, or it is malformed.');
      else if (failed > 0)
        o.say(plural(failed, 'address', 'addresses') + ' of ' + formatNumber(urls.length) + ' could not be opened: no program takes them, or they are malformed.');
      else {
        o.say('');
        o.notice('Opened ' + plural(urls.length, 'address', 'addresses') + '.');
      }
    }

    // The program's clipboard call takes one text; many lines go in one call.
    function copyText(text, what) {
      if (text === '') {
        o.notice('Nothing to copy.');
        return false;
      }
      const r = call('copyURL', { url: text });
      if (r.ok) {
        o.say('');
        o.notice('Copied ' + what + '.');
        return true;
      }
      o.say(r.error === 'no-service' ? NO_SERVICE : 'The clipboard did not take the text; try again.');
      return false;
    }

    function copyAddresses(rows) {
      const urls = model.rowUrls(rows);
      copyText(urls.join('\n'), plural(urls.length, 'address', 'addresses'));
    }

    // The Cookie header of the moment for each address (a Map), or null when the program
    // gives none.
    function cookiesFor(urls) {
      const unique = Array.from(new Set(urls));
      const list = service.cookies(unique, call);
      if (!list) return null;
      const out = new Map();
      unique.forEach((u, i) => out.set(u, list[i]));
      return out;
    }

    // A command with the headers each address was requested with, and the cookies the
    // scan session would send now.
    function copyCommand(rows) {
      const tool = o.tool();
      const withCredentials = o.credentials ? !!o.credentials() : true;
      const targets = model.rowTargets(rows);
      const cookies = withCredentials && targets.length > 0 ? cookiesFor(targets.map((t) => t.url)) : null;
      const list = targets.map((t) => ({
        url: t.url,
        headers: details.commandHeaders(t.details, cookies ? cookies.get(t.url) : '', withCredentials, o.userAgent),
      }));
      const c = exporting.commandLine(tool, list);
      if (c.count === 0) {
        o.notice(targets.length > 0 ? 'None of these addresses can be passed on a command line.' : 'Nothing to copy.');
        return;
      }
      const label = exporting.TOOLS[tool].label;
      // The program may have no cookies to give (an older one has no "cookies"): the
      // notice says so in a few words, since it comes with every command then.
      const what =
        'a ' +
        label +
        (c.sets > 1 && tool !== 'curl' ? ' command per header set' : ' command') +
        ' for ' +
        plural(c.count, 'address', 'addresses') +
        (withCredentials && !cookies ? ', without cookies' : '');
      if (copyText(c.text, what) && c.skipped > 0)
        o.notice('Copied ' + what + '; ' + plural(c.skipped, 'address was', 'addresses were') + ' left out (empty, or holding a NUL character).');
    }

    // The command of one tool ("ytdlp" or "ffmpeg") that downloads one quality of a
    // playlist row's stream (index: the variant; null for a media playlist, which is one
    // quality). It sends the headers the variant's own playlist was requested with when the
    // list holds it, else the playlist's, and the cookies the scan would send now.
    function copyStreamCommand(row, index, tool) {
      const m = o.streamModel ? o.streamModel(row.url) : null;
      if (!m || m.ok !== true) {
        o.notice(m && m.message ? m.message : 'The playlist’s text was not read, so there is no command per quality.');
        return;
      }
      const v = index === null || index === undefined ? null : m.variants[index] || null;
      const target = m.format === 'HLS' && v && v.url ? v.url : m.url;
      const withCredentials = o.credentials ? !!o.credentials() : true;
      const d = (o.detailsFor && o.detailsFor(target)) || row.details || null;
      const cookies = withCredentials ? cookiesFor([target]) : null;
      const headers = details.commandHeaders(d, cookies ? cookies.get(target) : '', withCredentials, o.userAgent);
      const c = streams.commands(m, index, headers);
      const text = tool === 'ffmpeg' ? c.ffmpeg : c.ytdlp;
      if (text === '') {
        o.notice(c.note || 'No command for this quality.');
        return;
      }
      const what =
        (tool === 'ffmpeg' ? 'the ffmpeg command' : 'the media downloader (yt-dlp) command') +
        ' for ' +
        (v ? streamview.variantTitle(v) : 'the playlist') +
        (withCredentials && !cookies ? ', without cookies' : '');
      if (copyText(text, what) && c.skipped.length > 0)
        o.notice('Copied ' + what + '; left out ' + plural(c.skipped.length, 'header', 'headers') + ' that would break a command line (' + c.skipped.join(', ') + ').');
    }

    function exportText(rows) {
      const format = o.format();
      const f = exporting.FORMATS[format];
      const items = model.exportItems(rows);
      const all = o.withVariants ? o.withVariants(items, format) : items;
      if (format !== 'har') return { text: f.make(all), count: items.length, format, f };
      const withCredentials = o.harCredentials ? !!o.harCredentials() : false;
      const scan = o.scan ? o.scan() : null;
      const cookies = withCredentials && items.length > 0 ? cookiesFor(items.map((it) => it.url)) : null;
      // Each playlist's variants go on its entry as the custom field "_variants".
      const text = f.make(all, { withCredentials, cookies, title: scan ? scan.url : '', started: scan ? scan.started : 0 });
      return { text, count: items.length, format, f };
    }

    function exportCopy(rows) {
      const { text, count, f } = exportText(rows);
      copyText(text, f.label + ' of ' + plural(count, 'row', 'rows'));
    }

    function exportSave(rows) {
      const { text, format, f } = exportText(rows);
      const name = nextName(fileName(format));
      try {
        save(name, text, f.mime + ';charset=utf-8');
        o.notice('Saving ' + name + ' in your download folder.');
      } catch (e) {
        o.say('The file could not be saved: ' + (e && e.message ? e.message : e) + '. Use “Copy export” instead.');
      }
    }

    // The program's word on a saved export: {"saved":true,"name":…,"path":…} or
    // {"saved":false,"name":…,"error":…}. Anything else is not from the program and is
    // ignored; long texts are cut so that a strange path cannot flood the message line.
    function fileSaved(text) {
      let outcome = null;
      try {
        outcome = JSON.parse(String(text));
      } catch (e) {
        return false;
      }
      if (!outcome || typeof outcome !== 'object' || typeof outcome.saved !== 'boolean') return false;
      const cut = (s) => (typeof s === 'string' ? (s.length > 500 ? s.slice(0, 500) + '…' : s) : '');
      const name = cut(outcome.name);
      if (outcome.saved && cut(outcome.path) !== '') {
        o.say('');
        o.notice('Saved ' + cut(outcome.path) + '.');
      } else if (outcome.saved) {
        o.notice('Saved ' + (name || 'the file') + ' in your download folder.');
      } else {
        o.say('The file ' + (name ? name + ' ' : '') + 'could not be saved: ' + (cut(outcome.error) || 'the program gave no reason') + '. Use “Copy export” instead.');
      }
      return true;
    }

    return { openRows, copyAddresses, copyCommand, copyStreamCommand, exportCopy, exportSave, fileSaved };
  }

  return { createActions, createFileNamer, saveThroughLink, OPEN_WITHOUT_ASKING };
});
