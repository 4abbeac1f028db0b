'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { afterAnswer, fromStateAnswer } = require('../../resources/Html/js/scanstate.js');

test('the scan state follows the answers of start, pause and stop', () => {
  const cases = [
    // state, method, answered 1, state after
    ['idle', 'start', true, 'running'],
    ['idle', 'start', false, 'idle'],
    ['running', 'start', true, 'running'],
    ['paused', 'start', true, 'running'],
    ['running', 'pause', true, 'paused'],
    ['paused', 'pause', true, 'running'],
    ['idle', 'pause', true, 'idle'],
    ['running', 'pause', false, 'running'],
    ['running', 'stop', true, 'idle'],
    ['paused', 'stop', true, 'idle'],
    ['running', 'stop', false, 'running'],
    ['running', 'open', true, 'running'],
    ['running', 'copyURL', true, 'running'],
    ['bogus', 'pause', true, 'idle'],
  ];
  for (const [state, method, ok, expected] of cases) assert.equal(afterAnswer(state, method, ok), expected, [state, method, ok].join(' '));
});

test('a page loaded during a scan takes the state from the answer to "state"', () => {
  const cases = [
    [{ returnValue: 1, running: false, paused: false }, 'idle'],
    [{ returnValue: 1, running: true, paused: false }, 'running'],
    [{ returnValue: 1, running: true, paused: true }, 'paused'],
    // A paused flag left over without a scan is no scan.
    [{ returnValue: 1, running: false, paused: true }, 'idle'],
    [{ returnValue: 1 }, null],
    [{ returnValue: 1, running: 1, paused: 0 }, null],
    [null, null],
    ['running', null],
  ];
  for (const [answer, expected] of cases) assert.equal(fromStateAnswer(answer), expected, JSON.stringify(answer));
});
