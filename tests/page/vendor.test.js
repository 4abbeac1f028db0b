'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { npmDir, vendorDir, root } = require('./parsers.js');

const html = path.join(root, 'resources', 'Html');

function filesUnder(dir, prefix) {
  const out = [];
  for (const e of fs.readdirSync(dir, { withFileTypes: true })) {
    const rel = prefix ? prefix + '/' + e.name : e.name;
    if (e.isDirectory()) out.push(...filesUnder(path.join(dir, e.name), rel));
    else out.push(rel);
  }
  return out;
}

test('the vendored parsers are the builds the lockfile pins, with their licences beside them', () => {
  const lock = JSON.parse(fs.readFileSync(path.join(npmDir, 'package-lock.json'), 'utf8'));
  const pins = JSON.parse(fs.readFileSync(path.join(npmDir, 'package.json'), 'utf8')).dependencies;
  const readme = fs.readFileSync(path.join(vendorDir, 'README.txt'), 'utf8');
  for (const name of ['m3u8-parser', 'mpd-parser']) {
    const version = lock.packages['node_modules/' + name].version;
    assert.equal(pins[name], version, name + ' is pinned exactly');
    const copy = fs.readFileSync(path.join(vendorDir, name + '.js'), 'utf8');
    assert.ok(copy.startsWith('/*! @name ' + name + ' @version ' + version + ' @license Apache-2.0 */'), name);
    assert.match(readme, new RegExp(name + ' ' + version.replace(/\./g, '\\.') + '\\b'));
    assert.match(fs.readFileSync(path.join(vendorDir, name + '.LICENSE'), 'utf8'), /Apache License, Version 2\.0/);
    // The installed package, when resources/npm has been installed, is what was copied.
    const built = path.join(npmDir, 'node_modules', name, 'dist', name + '.min.js');
    if (fs.existsSync(built)) assert.equal(copy, fs.readFileSync(built, 'utf8'), name + ': run scripts/vendor-page.sh');
  }
  assert.match(fs.readFileSync(path.join(vendorDir, 'Apache-2.0.txt'), 'utf8'), /TERMS AND CONDITIONS FOR USE, REPRODUCTION, AND DISTRIBUTION/);
  for (const mit of ['vhs-utils.LICENSE', 'babel-runtime.LICENSE']) assert.match(fs.readFileSync(path.join(vendorDir, mit), 'utf8'), /MIT License|Permission is hereby granted/, mit);
});

test('the build copies exactly the files of the page folder, and the page loads the parsers before their reader', () => {
  const cmake = fs.readFileSync(path.join(root, 'resources', 'CMakeLists.txt'), 'utf8');
  const list = /set\(HTML_FILES([^)]*)\)/.exec(cmake)[1].split(/\s+/).filter(Boolean);
  assert.deepEqual(list.slice().sort(), filesUnder(html, '').sort());
  const index = fs.readFileSync(path.join(html, 'index.html'), 'utf8');
  const scripts = Array.from(index.matchAll(/<script src="([^"]+)"><\/script>/g), (m) => m[1]);
  // Scripts in the order the list names them.
  assert.deepEqual(scripts, list.filter((f) => f.endsWith('.js')));
  assert.ok(scripts.indexOf('js/vendor/mpd-parser.js') < scripts.indexOf('js/streams.js'));
  assert.ok(scripts.indexOf('js/export.js') < scripts.indexOf('js/streams.js'));
});
