'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const F = require('../../resources/Html/js/feed.js');
const { fakeClock } = require('./fake-clock.js');

// A feed whose records cost `cost` ms each to take in, with a list that says whether it
// changed (changed) and whether rows in sight must be drawn (urgent).
function makeFeed(o = {}) {
  const clock = fakeClock();
  const got = { taken: [], takenCalls: 0, updates: 0, draws: [], errors: [], depth: 0, deepest: 0 };
  const feed = F.createFeed({
    clock,
    take(text, time, extra) {
      got.deepest = Math.max(got.deepest, ++got.depth);
      clock.time += o.cost || 0;
      got.taken.push(extra === undefined ? [text, time] : [text, time, extra]);
      if (o.onTake) o.onTake(text, feed);
      got.depth--;
      return text !== 'bad';
    },
    taken: () => got.takenCalls++,
    update() {
      got.updates++;
      clock.time += o.updateCost || 0;
      if (o.updateThrows && got.updates === 1) throw new Error('update failed');
      return o.changed === undefined ? true : o.changed;
    },
    urgent: () => !!o.urgent,
    empty: o.empty && (() => o.empty(got)),
    draw: {
      rows() {
        clock.time += o.rowsCost || 0;
        got.draws.push('rows');
      },
      counts: () => got.draws.push('counts'),
    },
    onError: (e) => got.errors.push(e.message),
  });
  const texts = () => got.taken.map(([t]) => t);
  return { feed, clock, got, texts };
}

const numbered = (n) => Array.from({ length: n }, (_, i) => 'r' + i);

test('a frame takes records in for its budget, reading the clock once per 16 records', () => {
  const run = {
    frame: (f) => f.clock.runFrame(),
    timer: (f) => f.clock.advance(F.FRAME_TIMEOUT),
    now: (f) => f.feed.refresh(),
  };
  const cases = [
    // waiting, ms per record, how the frame comes, taken in, another frame asked for
    [100, 0, 'frame', 100, false],
    [100, 1, 'frame', 16, true],
    [100, 0.25, 'frame', 32, true],
    [10, 5, 'frame', 10, false],
    [100, 1, 'timer', 48, true],
    [100, 1, 'now', 100, false],
  ];
  for (const [waiting, cost, how, taken, more] of cases) {
    const f = makeFeed({ cost });
    for (const t of numbered(waiting)) f.feed.push(t);
    assert.equal(f.got.taken.length, 0, 'pushing takes nothing in');
    run[how](f);
    const name = [waiting, cost, how].join(' ');
    assert.equal(f.got.taken.length, taken, name);
    assert.equal(f.feed.waiting, waiting - taken, name);
    assert.deepEqual(f.clock.waits(), more ? [F.FRAME_TIMEOUT] : [], name);
  }
});

test('records are taken in arrival order with the time they came, across frames', () => {
  const f = makeFeed({ cost: 1 });
  const pushed = [];
  for (const t of numbered(50)) {
    f.feed.push(t);
    pushed.push([t, f.clock.date()]);
    f.clock.time += 0.5;
  }
  for (let i = 0; i < 10 && f.feed.waiting > 0; i++) f.clock.runFrame();
  assert.deepEqual(f.got.taken, pushed);
  assert.equal(f.feed.waiting, 0);
});

test('a full inbox is taken in at once, without waiting for a frame', () => {
  const f = makeFeed();
  for (let i = 0; i < F.INBOX_LIMIT; i++) f.feed.push('r');
  assert.equal(f.got.taken.length, 0);
  f.feed.push('one more');
  assert.equal(f.got.taken.length, F.INBOX_LIMIT + 1);
  assert.equal(f.feed.waiting, 0);
});

test('kept records are reported once per batch; rejected ones are not', () => {
  const cases = [
    // records, batches reported
    [['a', 'b', 'c'], 1],
    [['bad', 'bad'], 0],
    [['bad', 'a'], 1],
    [[], 0],
  ];
  for (const [records, calls] of cases) {
    const f = makeFeed();
    for (const r of records) f.feed.push(r);
    f.feed.take(Infinity);
    assert.equal(f.got.takenCalls, calls, records.join());
  }
});

test('the list is drawn at once when asked or when rows in sight changed, else a few times a second', () => {
  const cases = [
    // how, urgent, changed, ms since the last draw, drawn now, delay of the calm timer
    ['frame', false, true, 100, false, [F.CALM_INTERVAL - 100]],
    ['frame', false, true, F.CALM_INTERVAL, true, []],
    ['frame', true, false, 10, true, []],
    ['frame', false, false, 10, false, []],
    ['now', false, false, 10, true, []],
  ];
  for (const [how, urgent, changed, since, drawn, waits] of cases) {
    const f = makeFeed({ urgent, changed });
    f.feed.refresh();
    f.got.draws = [];
    f.clock.time += since;
    f.feed.push('r');
    if (how === 'now') f.feed.refresh();
    else f.clock.runFrame();
    const name = [how, urgent, changed, since].join(' ');
    assert.deepEqual(f.got.draws, drawn ? ['rows', 'counts'] : [], name);
    assert.deepEqual(f.clock.waits(), waits, name);
  }
});

test('a draw owed while records stream in comes with the calm timer, once', () => {
  const f = makeFeed({ changed: true });
  f.feed.refresh();
  f.got.draws = [];
  f.clock.time += 50;
  f.feed.push('a');
  f.clock.runFrame();
  f.feed.push('b');
  f.clock.runFrame();
  assert.deepEqual(f.got.draws, []);
  assert.deepEqual(f.clock.waits(), [F.CALM_INTERVAL - 50], 'one calm timer for both frames');
  f.clock.advance(F.CALM_INTERVAL - 50);
  f.clock.runFrame();
  assert.deepEqual(f.got.draws, ['rows', 'counts']);
});

test('the stand-in timer and the frame: whichever comes first runs, the other does nothing', () => {
  const f = makeFeed({ cost: 0 });
  f.feed.push('a');
  assert.deepEqual(f.clock.waits(), [F.FRAME_TIMEOUT]);
  f.clock.runFrame();
  assert.deepEqual(f.clock.waits(), [], 'the frame clears the timer');
  f.feed.push('b');
  f.clock.advance(F.FRAME_TIMEOUT);
  assert.deepEqual(f.texts(), ['a', 'b']);
  const updates = f.got.updates;
  f.clock.runFrame();
  assert.equal(f.got.updates, updates, 'the late frame does nothing');
});

test('a take that starts while one runs does nothing and loses nothing', () => {
  // Taking a record in can refresh the page (a scan the page did not start begins).
  const f = makeFeed({ onTake: (text, feed) => text === 'r1' && feed.refresh() });
  for (const t of numbered(5)) f.feed.push(t);
  f.clock.runFrame();
  assert.deepEqual(f.texts(), numbered(5));
  assert.equal(f.got.deepest, 1, 'no record is taken in while another is');
});

test('what a frame throws is reported, and the next frame goes on', () => {
  const f = makeFeed({ updateThrows: true });
  f.feed.push('a');
  f.clock.runFrame();
  assert.deepEqual(f.got.errors, ['update failed']);
  f.feed.push('b');
  f.clock.runFrame();
  assert.deepEqual(f.texts(), ['a', 'b']);
  assert.deepEqual(f.got.draws, ['rows', 'counts']);
  assert.equal(f.feed.stats.frames, 2);
});

test('the script time of each frame is kept in all and by part', () => {
  const f = makeFeed({ cost: 2, updateCost: 1, rowsCost: 3 });
  for (const t of numbered(5)) f.feed.push(t);
  f.feed.refresh();
  const parts = Object.fromEntries(Object.entries(f.feed.stats.parts).map(([k, v]) => [k, v.total]));
  assert.deepEqual(parts, { take: 10, view: 1, rows: 3, counts: 0 });
  assert.deepEqual([f.feed.stats.frames, f.feed.stats.lastFlush, f.feed.stats.totalFlush, f.feed.stats.longestFlush], [1, 14, 14, 14]);
});

test('pushing a record never throws: what goes wrong is reported', () => {
  const f = makeFeed();
  f.clock.requestFrame = () => {
    throw new Error('no frames');
  };
  assert.doesNotThrow(() => f.feed.push('a'));
  assert.deepEqual(f.got.errors, ['no frames']);
  f.feed.take(Infinity);
  assert.deepEqual(f.texts(), ['a']);
});

test('the first frames after the list was empty take in a few records, twice as many at each frame', () => {
  // The list shows rows once records were taken in, unless the test empties it; each
  // record costs nothing, so only the first-batch rule holds records back.
  let shown = 0;
  const f = makeFeed({ empty: (got) => got.taken.length === shown });
  const rows = () => f.got.taken.length;
  for (const t of numbered(3000)) f.feed.push(t);
  const perFrame = [];
  while (f.feed.waiting > 0) {
    const before = rows();
    f.clock.runFrame();
    perFrame.push(rows() - before);
  }
  const ramp = [];
  for (let n = F.FIRST_BATCH; n <= F.LAST_RAMP; n *= 2) ramp.push(n);
  assert.deepEqual(perFrame, ramp.concat([3000 - ramp.reduce((a, b) => a + b, 0)]));

  // Once the list shows rows, records are taken by the budget alone; emptied again, the
  // list gets its first frames again.
  for (const t of numbered(100)) f.feed.push(t);
  f.clock.runFrame();
  assert.equal(f.feed.waiting, 0);
  shown = rows();
  for (const t of numbered(100)) f.feed.push(t);
  f.clock.runFrame();
  assert.equal(f.feed.waiting, 100 - F.FIRST_BATCH);

  // A user action and the stand-in timer (a hidden window) take everything in at once.
  f.feed.refresh();
  assert.equal(f.feed.waiting, 0);
  shown = rows();
  for (const t of numbered(100)) f.feed.push(t);
  f.clock.advance(F.FRAME_TIMEOUT);
  assert.equal(f.feed.waiting, 0);
});

test('what comes after a record waits with it and is taken in with it, once', () => {
  const f = makeFeed();
  const cases = [
    // steps ('push x', 'attach x', 'frame'), what attach answered, what was taken
    [['push a', 'attach da', 'push b', 'push c', 'attach dc', 'frame'], [true, true], [['a', 'da'], ['b'], ['c', 'dc']]],
    [['attach x', 'push a', 'attach d1', 'attach d2', 'frame', 'attach d3'], [false, true, false, false], [['a', 'd1']]],
  ];
  for (const [steps, answers, taken] of cases) {
    const run = makeFeed();
    const said = [];
    for (const step of steps) {
      const [what, arg] = step.split(' ');
      if (what === 'push') run.feed.push(arg);
      else if (what === 'attach') said.push(run.feed.attach(arg));
      else run.clock.runFrame();
    }
    assert.deepEqual(said, answers, steps.join());
    assert.deepEqual(run.got.taken.map(([t, , x]) => (x === undefined ? [t] : [t, x])), taken, steps.join());
  }
  void f;
  // Across a compaction of the inbox the extras stay with their records.
  const big = makeFeed({ cost: 0.001 });
  for (let i = 0; i < 6000; i++) {
    big.feed.push('r' + i);
    if (i % 3 === 0) big.feed.attach('d' + i);
  }
  big.feed.take(1, 4100);
  for (let i = 6000; i < 6003; i++) {
    big.feed.push('r' + i);
    big.feed.attach('d' + i);
  }
  big.feed.refresh();
  assert.equal(big.got.taken.length, 6003);
  for (const [t, , x] of big.got.taken) assert.equal(x, Number(t.slice(1)) % 3 === 0 || Number(t.slice(1)) >= 6000 ? 'd' + t.slice(1) : undefined, t);
});
