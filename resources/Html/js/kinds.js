// What kind of resource a record is (video, audio, image, playlist, script, style, font,
// document, other), whether it is a streaming playlist, and whether it is one segment of
// a stream. Classic script (window.Trawlet.kinds) and CommonJS module.
(function (root, factory) {
  'use strict';
  const record = typeof module === 'object' && module.exports ? require('./record.js') : root.Trawlet.record;
  const api = factory(record);
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).kinds = api;
})(typeof self !== 'undefined' ? self : this, function (record) {
  'use strict';

  const KINDS = ['video', 'audio', 'image', 'playlist', 'script', 'style', 'font', 'document', 'other'];

  const PLAYLIST_TYPES = new Map([
    ['application/vnd.apple.mpegurl', 'HLS'],
    ['application/x-mpegurl', 'HLS'],
    ['application/mpegurl', 'HLS'],
    ['audio/mpegurl', 'HLS'],
    ['audio/x-mpegurl', 'HLS'],
    ['vnd.apple.mpegurl', 'HLS'],
    ['video/x-mpegurl', 'HLS'],
    ['video/mpegurl', 'HLS'],
    ['application/dash+xml', 'DASH'],
    ['video/vnd.mpeg.dash.mpd', 'DASH'],
    ['application/vnd.ms-sstr+xml', 'Smooth'],
    ['application/f4m+xml', 'HDS'],
    ['audio/x-scpls', 'PLS'],
  ]);
  const PLAYLIST_EXTS = new Map([
    ['m3u8', 'HLS'],
    ['m3u', 'M3U'],
    ['mpd', 'DASH'],
    ['f4m', 'HDS'],
    ['ism', 'Smooth'],
    ['isml', 'Smooth'],
    ['pls', 'PLS'],
  ]);
  const SEGMENT_TYPES = new Set(['video/mp2t', 'video/mp2ts', 'video/iso.segment', 'audio/iso.segment']);
  const SEGMENT_EXTS = new Set(['ts', 'm4s', 'm4f', 'cmfv', 'cmfa', 'cmft', 'f4f']);
  // Whole media files whose name says they are one numbered piece of a stream.
  const SEGMENT_NAME = /(?:^|[-_.])(?:seg|segment|chunk|frag|fragment|part)[-_]?\d+(?:[-_.]|$)/i;
  const SEGMENT_NAME_EXTS = new Set(['mp4', 'm4a', 'm4v', 'aac', 'webm', 'mp3', 'vtt', 'webvtt']);
  // HDS fragments have no extension at all: ".../Seg1-Frag27".
  const HDS_FRAGMENT = /Seg\d+-Frag\d+$/;
  const INIT_SEGMENT = /^init(?:[-_.].*)?\.(?:mp4|m4s|m4v|m4a|cmfv|cmfa)$/i;

  const NOT_PLAYLIST_KINDS = new Set(['image', 'font', 'script', 'style']);
  const EXT_KIND = new Map();
  const addExts = (kind, list) => list.split(' ').forEach((e) => EXT_KIND.set(e, kind));
  addExts('video', 'mp4 m4v webm mkv mov avi flv f4v wmv mpg mpeg ts m2ts mts 3gp ogv m4s cmfv');
  addExts('audio', 'mp3 m4a aac ogg oga opus wav flac wma mka weba cmfa mid midi');
  addExts('image', 'png jpg jpeg gif webp avif svg ico bmp tif tiff heic heif jxl apng cur');
  addExts('script', 'js mjs cjs wasm');
  addExts('style', 'css');
  addExts('font', 'woff woff2 ttf otf eot');
  addExts('document', 'html htm xhtml shtml pdf txt doc docx odt rtf md epub');

  const SCRIPT_TYPE = /(?:java|ecma)script|^application\/wasm$|typescript|^text\/jscript$/;
  const DOCUMENT_TYPES = new Set([
    'text/html',
    'application/xhtml+xml',
    'application/pdf',
    'text/plain',
    'text/markdown',
    'application/rtf',
    'application/msword',
    'application/epub+zip',
    'application/vnd.oasis.opendocument.text',
    'application/vnd.openxmlformats-officedocument.wordprocessingml.document',
  ]);
  const GENERIC_TYPES = new Set(['', 'application/octet-stream', 'binary/octet-stream', 'application/unknown', 'application/binary']);

  // The MIME type reduced to what classification looks at: lower case, without
  // parameters such as "; charset=utf-8".
  function baseType(mimeType) {
    const semi = mimeType.indexOf(';');
    return (semi >= 0 ? mimeType.slice(0, semi) : mimeType).trim().toLowerCase();
  }

  // The name classification looks at: the record's file name, or the last piece of the
  // address path when the program could not derive one.
  function nameFor(fileName, url) {
    if (fileName && fileName !== 'unknown') return fileName;
    const path = record.pathOf(url || '');
    const slash = path.lastIndexOf('/');
    return slash >= 0 ? path.slice(slash + 1) : path;
  }

  function kindFromType(type) {
    if (type === '') return '';
    const slash = type.indexOf('/');
    const major = slash >= 0 ? type.slice(0, slash) : type;
    if (major === 'video') return 'video';
    if (major === 'audio') return 'audio';
    if (major === 'image') return 'image';
    if (major === 'font' || /^application\/(?:x-)?font-|^application\/vnd\.ms-fontobject$/.test(type)) return 'font';
    if (type === 'text/css') return 'style';
    if (SCRIPT_TYPE.test(type)) return 'script';
    if (DOCUMENT_TYPES.has(type)) return 'document';
    if (type === 'application/ogg') return 'video';
    return '';
  }

  // Classifies one record. Returns { kind, playlist, segment }: playlist is the stream
  // format ("HLS", "DASH", ...) or "" for anything else; segment says whether the
  // resource is one piece of a stream, which the list folds under its folder.
  function classify(mimeType, fileName, url) {
    if (typeof url !== 'string') url = '';
    const type = baseType(typeof mimeType === 'string' ? mimeType : '');
    const name = nameFor(typeof fileName === 'string' ? fileName : '', url);
    const ext = record.extensionOf(name);

    let playlist = PLAYLIST_TYPES.get(type) || '';
    // An extension names a playlist unless the type says plainly that it is something
    // else; servers often send playlists as text/plain or application/octet-stream.
    if (!playlist && PLAYLIST_EXTS.has(ext) && !NOT_PLAYLIST_KINDS.has(kindFromType(type)))
      playlist = PLAYLIST_EXTS.get(ext);
    if (!playlist && /\.isml?\/manifest$/i.test(record.pathOf(url))) playlist = 'Smooth';
    if (playlist) return { kind: 'playlist', playlist, segment: false };

    // The type decides; the extension only when the type is missing, generic or one this
    // table does not know, except for unknown text types: they are not media whatever
    // their name ends with (".ts" is also a translation file).
    const kind0 = kindFromType(type);
    let kind = kind0 || (type.startsWith('text/') ? '' : EXT_KIND.get(ext)) || 'other';

    let segment = false;
    if (SEGMENT_TYPES.has(type)) segment = true;
    else if (SEGMENT_EXTS.has(ext)) segment = kind === 'video' || kind === 'audio' || GENERIC_TYPES.has(type);
    else if (SEGMENT_NAME_EXTS.has(ext) && (kind === 'video' || kind === 'audio' || kind === 'other'))
      segment = SEGMENT_NAME.test(name) || INIT_SEGMENT.test(name);
    else if (ext === '' && HDS_FRAGMENT.test(name)) segment = true;
    if (segment && kind0 === '' && kind === 'other') kind = ext === 'cmfa' || type.startsWith('audio/') ? 'audio' : 'video';
    return { kind, playlist: '', segment };
  }

  return { KINDS, classify, baseType };
});
