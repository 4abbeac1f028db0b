'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const G = require('../../resources/Html/js/grid.js');

test('thumbGeometry: a thumb only when something is out of sight, never shorter than the least size', () => {
  // [view, content, track, position] → { show, size, offset }
  const cases = [
    [[400, 400, 400, 0], { show: false, size: 0, offset: 0 }],
    [[400, 300, 400, 0], { show: false, size: 0, offset: 0 }],
    [[400, 0, 400, 0], { show: false, size: 0, offset: 0 }],
    [[400, 800, 400, 0], { show: true, size: 200, offset: 0 }],
    [[400, 800, 400, 400], { show: true, size: 200, offset: 200 }],
    [[400, 800, 400, 200], { show: true, size: 200, offset: 100 }],
    // 20,000 rows: the thumb keeps its least size and still reaches the end of the bar.
    [[400, 520000, 400, 0], { show: true, size: G.MIN_THUMB, offset: 0 }],
    [[400, 520000, 400, 519600], { show: true, size: G.MIN_THUMB, offset: 400 - G.MIN_THUMB }],
    // Positions beyond either end (the engine can report them while content shrinks).
    [[400, 800, 400, -50], { show: true, size: 200, offset: 0 }],
    [[400, 800, 400, 5000], { show: true, size: 200, offset: 200 }],
    [[400, 800, 400, NaN], { show: true, size: 200, offset: 0 }],
    // A bar shorter than the least thumb: the thumb fills it.
    [[400, 800, 10, 200], { show: true, size: 10, offset: 0 }],
    [[400, 800, 0, 200], { show: false, size: 0, offset: 0 }],
  ];
  for (const [args, expected] of cases) assert.deepEqual(G.thumbGeometry(...args), expected, JSON.stringify(args));
});

test('positionForThumb undoes thumbGeometry and stays within the scroll range', () => {
  // [view, content, track, size, offset] → position
  const cases = [
    [[400, 800, 400, 200, 0], 0],
    [[400, 800, 400, 200, 100], 200],
    [[400, 800, 400, 200, 200], 400],
    [[400, 800, 400, 200, 900], 400],
    [[400, 800, 400, 200, -30], 0],
    [[400, 400, 400, 400, 10], 0],
    [[400, 800, 200, 200, 50], 0],
  ];
  for (const [args, expected] of cases) assert.equal(G.positionForThumb(...args), expected, JSON.stringify(args));
  // Round trip over a long list: dragging the thumb to where it is leaves the list there
  // (within one pixel of thumb travel).
  const view = 400;
  const content = 20000 * G.ROW_HEIGHT;
  for (const position of [0, 1234, 260000, content - view]) {
    const g = G.thumbGeometry(view, content, view, position);
    const back = G.positionForThumb(view, content, view, g.size, g.offset);
    assert.ok(Math.abs(back - position) <= (content - view) / (view - g.size), String(position));
  }
});

test('wheelPixels: lines and pages become pixels, Shift scrolls sideways, Ctrl scrolls nothing', () => {
  const page = 500;
  // [event, expected]
  const cases = [
    [{ deltaMode: 0, deltaX: 0, deltaY: 53 }, { x: 0, y: 53 }],
    [{ deltaMode: 0, deltaX: -12, deltaY: 0 }, { x: -12, y: 0 }],
    [{ deltaMode: 1, deltaX: 0, deltaY: 3 }, { x: 0, y: 3 * G.WHEEL_LINE }],
    [{ deltaMode: 2, deltaX: 0, deltaY: -1 }, { x: 0, y: -page }],
    [{ deltaMode: 0, deltaX: 0, deltaY: 40, shiftKey: true }, { x: 40, y: 0 }],
    // A touchpad already scrolling sideways keeps both directions under Shift.
    [{ deltaMode: 0, deltaX: 5, deltaY: 7, shiftKey: true }, { x: 5, y: 7 }],
    [{ deltaMode: 0, deltaX: 3, deltaY: 40, ctrlKey: true }, { x: 0, y: 0 }],
    [{ deltaMode: 0 }, { x: 0, y: 0 }],
    [{ deltaMode: 0, deltaX: 'x', deltaY: NaN }, { x: 0, y: 0 }],
  ];
  for (const [e, expected] of cases) assert.deepEqual(G.wheelPixels(e, page), expected, JSON.stringify(e));
});
