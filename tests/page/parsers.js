'use strict';
// Loads the vendored playlist parsers into this process's global object the way the page's
// script tags load them, so that streams.js finds them where it finds them in the engine.
// The engine's own DOMParser is stood in for by the DOM parser pinned in resources/npm,
// made strict: the engine's parser refuses a document that is not well-formed, while this
// one would only warn on the console and carry on.
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');
const { createRequire } = require('node:module');

const root = path.join(__dirname, '..', '..');
const npmDir = path.join(root, 'resources', 'npm');
const vendorDir = path.join(root, 'resources', 'Html', 'js', 'vendor');

function loadParsers() {
  if (globalThis.m3u8Parser && globalThis.mpdParser) return;
  let xmldom;
  try {
    xmldom = createRequire(path.join(npmDir, 'package.json'))('@xmldom/xmldom');
  } catch (e) {
    throw new Error('the page tests need the packages of resources/npm: run "npm ci" in resources/npm (' + e.message + ')');
  }
  class StrictDOMParser extends xmldom.DOMParser {
    constructor() {
      const fail = (msg) => {
        throw new Error(msg);
      };
      super({ errorHandler: { warning() {}, error: fail, fatalError: fail } });
    }
  }
  globalThis.window = globalThis;
  globalThis.DOMParser = StrictDOMParser;
  for (const file of ['m3u8-parser.js', 'mpd-parser.js']) {
    const full = path.join(vendorDir, file);
    // As a plain script sees it: no module system of any kind, "this" the global object.
    const run = vm.compileFunction(fs.readFileSync(full, 'utf8'), ['exports', 'module', 'define', 'require'], { filename: full });
    run.call(globalThis);
  }
}

module.exports = { loadParsers, npmDir, vendorDir, root };
