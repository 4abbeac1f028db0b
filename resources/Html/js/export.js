// Turning rows into text for other programs: shell command lines, CSV, plain text and
// JSON. Classic script (window.Trawlet.exporting) and CommonJS module.
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).exporting = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  // Quotes one word for a POSIX shell. Words made only of characters that no shell
  // treats specially stay as they are; everything else goes in single quotes, inside
  // which nothing is special except the single quote itself, written as '\''.
  // Newlines, $, `, \, &, ; and blanks are all safe inside single quotes. A word with a
  // NUL character cannot be passed to a program at all: null.
  function shellQuote(word) {
    const s = String(word);
    if (s.indexOf('\0') >= 0) return null;
    if (s === '') return "''";
    if (/^[A-Za-z0-9_@%+=:,./-]+$/.test(s)) return s;
    return "'" + s.replace(/'/g, "'\\''") + "'";
  }

  // The download tools offered. curl gets --globoff because it would otherwise expand
  // [..] and {..} inside addresses; the other two stop reading options at "--", so an
  // address can never be taken for an option. curl has no such marker: an address that
  // starts with a minus is given through --url.
  const TOOLS = {
    curl: { label: 'curl', words: ['curl', '--location', '--globoff', '--remote-name-all'], endOfOptions: false },
    wget: { label: 'wget', words: ['wget'], endOfOptions: true },
    media: { label: 'media downloader', words: ['yt-dlp'], endOfOptions: true },
  };

  // One command line that downloads all the addresses, one address per continued line.
  // Returns { text, count, skipped }: addresses that cannot be passed (empty or holding a
  // NUL) are skipped and counted; text is "" when none is left.
  function commandLine(tool, urls) {
    const t = TOOLS[tool];
    if (!t) throw new Error('unknown tool ' + tool);
    const args = [];
    let skipped = 0;
    for (const u of urls) {
      const q = typeof u === 'string' && u !== '' ? shellQuote(u) : null;
      if (q === null) {
        skipped++;
        continue;
      }
      args.push(!t.endOfOptions && u[0] === '-' ? '--url ' + q : q);
    }
    if (args.length === 0) return { text: '', count: 0, skipped };
    const head = t.words.join(' ') + (t.endOfOptions ? ' --' : '');
    const sep = args.length > 1 ? ' \\\n  ' : ' ';
    return { text: head + sep + args.join(sep) + '\n', count: args.length, skipped };
  }

  // One CSV field as RFC 4180 asks: quoted when it holds a comma, a quotation mark, CR
  // or LF, with quotation marks doubled. A field that a spreadsheet would run as a
  // formula (it starts with =, +, -, @, tab or CR) gets a leading apostrophe first:
  // records come from pages we do not control.
  function csvField(value) {
    let s = value == null ? '' : String(value);
    if (/^[=+\-@\t\r]/.test(s)) s = "'" + s;
    if (/[",\r\n]/.test(s)) s = '"' + s.replace(/"/g, '""') + '"';
    return s;
  }

  // The columns every export carries, in this order: [key, header].
  const COLUMNS = [
    ['fileName', 'File name'],
    ['mimeType', 'Type'],
    ['size', 'Size'],
    ['bytes', 'Bytes'],
    ['kind', 'Kind'],
    ['hits', 'Hits'],
    ['firstSeen', 'First seen'],
    ['lastSeen', 'Last seen'],
    ['url', 'Address'],
  ];

  function cell(item, key) {
    const v = item[key];
    if (key === 'bytes') return typeof v === 'number' && v >= 0 ? String(v) : '';
    return v == null ? '' : String(v);
  }

  // CSV with a header line and CRLF line ends, as RFC 4180 describes.
  function toCsv(items) {
    const lines = [COLUMNS.map((c) => csvField(c[1])).join(',')];
    for (const it of items) lines.push(COLUMNS.map((c) => csvField(cell(it, c[0]))).join(','));
    return lines.join('\r\n') + '\r\n';
  }

  // Plain text: a header line, then one line per row with tab-separated fields. Tabs and
  // line breaks inside a field become blanks so that every row stays one line.
  function toText(items) {
    const flat = (s) => s.replace(/[\t\r\n]+/g, ' ');
    const lines = [COLUMNS.map((c) => c[1]).join('\t')];
    for (const it of items) lines.push(COLUMNS.map((c) => flat(cell(it, c[0]))).join('\t'));
    return lines.join('\n') + '\n';
  }

  function toJson(items) {
    const out = items.map((it) => {
      const o = {};
      for (const [key] of COLUMNS) {
        if (key === 'bytes') o.bytes = typeof it.bytes === 'number' && it.bytes >= 0 ? it.bytes : null;
        else if (key === 'hits') o.hits = typeof it.hits === 'number' ? it.hits : 1;
        else o[key] = it[key] == null ? '' : String(it[key]);
      }
      if (it.playlist) o.playlist = String(it.playlist);
      if (it.segment) o.segment = true;
      // What a playlist offers, when its text was read (streams.withVariants): plain values.
      if (Array.isArray(it.variants)) o.variants = it.variants;
      return o;
    });
    return JSON.stringify(out, null, 2) + '\n';
  }

  const FORMATS = {
    text: { label: 'Text', ext: 'txt', mime: 'text/plain', make: toText },
    csv: { label: 'CSV', ext: 'csv', mime: 'text/csv', make: toCsv },
    json: { label: 'JSON', ext: 'json', mime: 'application/json', make: toJson },
  };

  function pad(n) {
    return (n < 10 ? '0' : '') + n;
  }

  // "trawlet-20250131-142501.csv", in local time.
  function exportFileName(format, date) {
    const d = date || new Date();
    const stamp =
      d.getFullYear() + pad(d.getMonth() + 1) + pad(d.getDate()) + '-' + pad(d.getHours()) + pad(d.getMinutes()) + pad(d.getSeconds());
    return 'trawlet-' + stamp + '.' + FORMATS[format].ext;
  }

  return { shellQuote, commandLine, csvField, toCsv, toText, toJson, TOOLS, FORMATS, COLUMNS, exportFileName };
});
