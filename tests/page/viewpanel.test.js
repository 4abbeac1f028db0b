'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const V = require('../../resources/Html/js/viewpanel.js');

const fields = (o) => Object.assign({ text: '', regex: false, negate: false, kinds: [], min: '', max: '', keepUnknown: true, hostsIn: '', hostsOut: '' }, o);

test('the view panel: which fields cannot be used, what it says, and whether rows are tested', () => {
  const cases = [
    // fields, active, invalid fields, message
    [fields({}), false, [], ''],
    [fields({ text: 'mp4' }), true, [], ''],
    [fields({ min: '1.5MB', max: '2G' }), true, [], ''],
    [fields({ min: 'big' }), false, ['min'], 'The minimum “big” is not a size: write for example 500KB, 1.5MB or 2G.'],
    [fields({ min: 'big', max: 'x'.repeat(50) }), false, ['min', 'max'],
      'The minimum “big” is not a size: write for example 500KB, 1.5MB or 2G. The maximum “' + 'x'.repeat(40) + '…” is not a size: write for example 500KB, 1.5MB or 2G.'],
    [fields({ text: '(', regex: true, max: 'x' }), false, ['max', 'text'], null],
  ];
  for (const [f, active, invalid, message] of cases) {
    const r = V.evaluate(f);
    const name = JSON.stringify(f);
    assert.equal(r.test !== null, active, name);
    assert.deepEqual(Object.keys(r.invalid).filter((k) => r.invalid[k]).sort(), invalid.slice().sort(), name);
    if (message !== null) assert.equal(r.message, message, name);
    else assert.match(r.message, /^\S.* The maximum “x” is not a size/, name);
  }
});

test('the view panel: a usable size still filters when the other is not', () => {
  const r = V.evaluate(fields({ min: '1KB', max: 'nonsense' }));
  assert.ok(r.invalid.max && !r.invalid.min);
  assert.equal(typeof r.test, 'function');
});
