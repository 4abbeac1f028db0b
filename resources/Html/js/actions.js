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
    node ? require('./words.js') : T.words
  );
  if (node) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).actions = api;
})(typeof self !== 'undefined' ? self : this, function (model, exporting, service, words) {
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
  // long as the program leaves navigation and response decisions to the engine.
  // FIXME: the page learns nothing about the download's outcome; reporting it would
  // take a page call from the program's "download-started" / "finished" / "failed".
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
  //   call(method, params)      the service call (service.call unless given)
  //   save(name, text, mime)    saving a file (saveThroughLink unless given)
  //   fileName(format)          the name of a saved export (exporting.exportFileName unless given)
  //   withVariants(items, format)  the export items with what read playlists offer (optional)
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

    function copyCommand(rows) {
      const tool = o.tool();
      const urls = model.rowUrls(rows);
      const c = exporting.commandLine(tool, urls);
      if (c.count === 0) {
        o.notice(urls.length > 0 ? 'None of these addresses can be passed on a command line.' : 'Nothing to copy.');
        return;
      }
      const label = exporting.TOOLS[tool].label;
      if (copyText(c.text, 'a ' + label + ' command for ' + plural(c.count, 'address', 'addresses')) && c.skipped > 0)
        o.notice('Copied a ' + label + ' command; ' + plural(c.skipped, 'address was', 'addresses were') + ' left out (empty, or holding a NUL character).');
    }

    function exportText(rows) {
      const format = o.format();
      const f = exporting.FORMATS[format];
      const items = model.exportItems(rows);
      const all = o.withVariants ? o.withVariants(items, format) : items;
      return { text: f.make(all), count: items.length, format, f };
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

    return { openRows, copyAddresses, copyCommand, exportCopy, exportSave };
  }

  return { createActions, createFileNamer, saveThroughLink, OPEN_WITHOUT_ASKING };
});
