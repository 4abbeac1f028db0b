'use strict';
// The page's clock for tests (see feed.js: { now, date, requestFrame, setTimer,
// clearTimer }), moving only when told: frames run when the test runs them, timers when
// the test moves the time past them, and code under test may move the time itself to
// stand for the time it takes.
function fakeClock() {
  const clock = {
    time: 1000,
    frames: [],
    timers: [],
    nextId: 1,
    now: () => clock.time,
    date: () => 1.7e12 + clock.time,
    requestFrame(fn) {
      clock.frames.push(fn);
    },
    setTimer(fn, ms) {
      const id = clock.nextId++;
      clock.timers.push({ id, at: clock.time + ms, fn });
      return id;
    },
    clearTimer(id) {
      clock.timers = clock.timers.filter((t) => t.id !== id);
    },
    runFrame() {
      const due = clock.frames;
      clock.frames = [];
      for (const fn of due) fn();
    },
    advance(ms) {
      const end = clock.time + ms;
      for (;;) {
        const due = clock.timers.filter((t) => t.at <= end).sort((a, b) => a.at - b.at)[0];
        if (!due) break;
        clock.timers = clock.timers.filter((t) => t !== due);
        clock.time = due.at;
        due.fn();
      }
      clock.time = Math.max(clock.time, end);
    },
    // The delays of the timers waiting, from now.
    waits: () => clock.timers.map((t) => t.at - clock.time),
  };
  return clock;
}

module.exports = { fakeClock };
