'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { afterAnswer } = require('../../resources/Html/js/scanstate.js');

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
