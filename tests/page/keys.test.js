'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const K = require('../../resources/Html/js/keys.js');

const key = (k, mods = '', code) => ({
  key: k,
  code: code || '',
  ctrlKey: mods.includes('ctrl'),
  metaKey: mods.includes('meta'),
  altKey: mods.includes('alt'),
  shiftKey: mods.includes('shift'),
});

test('fields where a typed character is text', () => {
  const cases = [
    [null, false],
    [{ tagName: 'INPUT', type: 'text' }, true],
    [{ tagName: 'INPUT', type: 'search' }, true],
    [{ tagName: 'INPUT', type: 'number' }, true],
    [{ tagName: 'INPUT', type: 'checkbox' }, false],
    [{ tagName: 'INPUT', type: 'radio' }, false],
    [{ tagName: 'INPUT', type: 'submit' }, false],
    [{ tagName: 'TEXTAREA' }, true],
    [{ tagName: 'SELECT' }, true],
    [{ tagName: 'DIV', isContentEditable: true }, true],
    [{ tagName: 'DIV' }, false],
    [{ tagName: 'BUTTON' }, false],
  ];
  for (const [el, text] of cases) assert.equal(K.inTextField(el), text, JSON.stringify(el));
});

test('keys of the whole page, in and out of text fields', () => {
  const cases = [
    // event, in a text field, meaning
    [key('p', 'alt'), true, 'pause'],
    [key('P', 'alt shift'), false, 'pause'],
    [key('π', 'alt', 'KeyP'), false, 'pause'],
    [key('p', 'alt ctrl'), false, null],
    [key('s', 'alt'), true, 'stop'],
    [key('ß', 'alt', 'KeyS'), false, 'stop'],
    [key('/'), false, 'find'],
    [key('/'), true, null],
    [key('/', 'alt'), false, null],
    [key('f', 'ctrl'), true, 'find'],
    [key('F', 'meta'), false, 'find'],
    [key('f', 'ctrl alt'), false, null],
    [key('c', 'ctrl'), false, 'copy'],
    [key('C', 'ctrl shift'), false, 'command'],
    [key('C', 'ctrl shift'), true, 'command'],
    [key('с', 'ctrl shift', 'KeyC'), true, 'command'],
    [key('C', 'ctrl shift alt'), false, null],
    [key('C', 'shift'), false, null],
    [key('c', 'ctrl'), true, null],
    [key('c', 'ctrl alt'), false, null],
    [key('c'), false, null],
    [key('p'), false, null],
    [key('Enter'), false, null],
  ];
  for (const [e, inText, meaning] of cases) assert.equal(K.pageKey(e, inText), meaning, JSON.stringify([e, inText]));
});

test('keys of the list move its cursor within the list, and select', () => {
  const at = (cursor, count, page = 10) => ({ cursor, count, page });
  const move = (to, extend = false) => ({ act: 'move', to, extend });
  const cases = [
    // event, cursor, rows, meaning
    [key('ArrowDown'), at(-1, 5), move(0)],
    [key('ArrowDown'), at(2, 5), move(3)],
    [key('ArrowDown'), at(4, 5), move(4)],
    [key('ArrowDown', 'shift'), at(2, 5), move(3, true)],
    [key('ArrowUp'), at(-1, 5), move(0)],
    [key('ArrowUp'), at(0, 5), move(0)],
    [key('ArrowUp'), at(3, 5), move(2)],
    [key('PageDown'), at(-1, 50), move(10)],
    [key('PageDown'), at(45, 50), move(49)],
    [key('PageUp', 'shift'), at(15, 50), move(5, true)],
    [key('PageUp'), at(3, 50), move(0)],
    [key('Home'), at(7, 50), move(0)],
    [key('End', 'shift'), at(7, 50), move(49, true)],
    [key('End'), at(-1, 0), move(0)],
    [key(' '), at(1, 5), { act: 'toggle' }],
    [key('Enter'), at(1, 5), { act: 'open' }],
    [key('ArrowRight'), at(1, 5), { act: 'expand' }],
    [key('ArrowRight', 'shift'), at(1, 5), { act: 'expand' }],
    [key('ArrowRight', 'alt'), at(1, 5), null],
    [key('ArrowRight', 'ctrl'), at(1, 5), null],
    [key('Escape'), at(1, 5), { act: 'clear' }],
    [key('a', 'ctrl'), at(1, 5), { act: 'all' }],
    [key('A', 'meta'), at(1, 5), { act: 'all' }],
    [key('a'), at(1, 5), null],
    [key('x'), at(1, 5), null],
  ];
  for (const [e, place, meaning] of cases) assert.deepEqual(K.gridKey(e, place), meaning, JSON.stringify([e.key, place]));
});
