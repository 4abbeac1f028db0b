// Taking records in. The program calls addResult once per record, thousands of times a
// second while a page loads, so each call only keeps the text and the time in an inbox;
// the next frame takes records in, within a time budget, and the list catches up once per
// frame. A timer stands in when the engine sends no frames (a hidden window). While
// records stream in, changes that need not be seen at once (counts, rows out of sight) are
// drawn a few times a second rather than at every frame. The clock and the frame
// scheduling are the page's own unless given, so the Node tests need no timers.
// Classic script (window.Trawlet.feed) and CommonJS module.
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).feed = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  // Script time a frame spends taking records in (ms); more when no frames come (a
  // hidden window), and records are taken at once, as they come, when this many wait.
  const FRAME_BUDGET = 6;
  const TIMER_BUDGET = 40;
  const INBOX_LIMIT = 50000;
  // How long a frame may fail to come before the timer stands in (ms).
  const FRAME_TIMEOUT = 150;
  // How often changes that need not be seen at once are drawn while records stream in.
  const CALM_INTERVAL = 250;
  // The budget is checked once per this many records: reading the clock costs time too.
  const CHECK_EVERY = 16;
  // Taken records are cut off the inbox's front once this many wait there.
  const COMPACT_AT = 4096;
  // The frame that shows the first rows of an empty list pays for laying out and drawing
  // every row in sight at once, when a frame's budget brings in more records than fit on
  // the screen: so the first frames take in at most this many records, twice as many
  // at each frame after, until the budget is what limits.
  const FIRST_BATCH = 8;
  const LAST_RAMP = 512;

  function pageClock() {
    return {
      now: () => performance.now(),
      date: Date.now,
      requestFrame: (f) => requestAnimationFrame(f),
      setTimer: (f, ms) => setTimeout(f, ms),
      clearTimer: (id) => clearTimeout(id),
    };
  }

  // options:
  //   take(text, time, extra)  takes one record in (time: the wall clock when it came;
  //                     extra: what attach gave it, or undefined); true when it was kept
  //   taken()           after records were kept, once per batch
  //   update()          brings the view up to date; true when something changed to draw
  //   urgent()          true when something in sight must be drawn at this frame
  //   empty()           true when the list shows no rows (optional)
  //   draw              { part: function } drawn in order, each timed as its own part
  //   onError(e)        what a frame threw
  //   clock             { now, date, requestFrame, setTimer, clearTimer }
  function createFeed(options) {
    const clock = options.clock || pageClock();
    // addResult runs once per record: what it calls is looked up once.
    const date = clock.date;
    const takeOne = options.take;
    const drawParts = Object.entries(options.draw || {});
    let inbox = [];
    let inboxTimes = [];
    // What came for a waiting record after it (the program's details of it), by place.
    let inboxExtras = new Map();
    let inboxHead = 0;
    let taking = false;
    let frameRequested = false;
    let frameTimer = 0;
    let calmTimer = 0;
    let lastDraw = 0;
    let drawOwed = false;
    // The most records the next frame takes in while the first rows come (Infinity
    // otherwise), and whether those first frames were had since the list was last empty.
    let batch = Infinity;
    let ramped = false;
    // Script time spent in frames (ms), for the benchmark: in all, and by part (taking
    // records in, bringing the view up to date, drawing).
    const stats = { frames: 0, longestFlush: 0, lastFlush: 0, totalFlush: 0, parts: {} };

    function note(part, t0) {
      const t = clock.now();
      const p = stats.parts[part] || (stats.parts[part] = { total: 0, longest: 0 });
      const dt = t - t0;
      p.total += dt;
      if (dt > p.longest) p.longest = dt;
      return t;
    }

    function schedule() {
      if (frameRequested) return;
      frameRequested = true;
      clock.requestFrame(() => frame('frame'));
      frameTimer = clock.setTimer(() => frame('timer'), FRAME_TIMEOUT);
    }

    // how: 'now' after a user action (everything is taken in and drawn now), 'timer' from
    // the stand-in timer, 'frame' from the engine's frame.
    function frame(how) {
      if (!frameRequested) return;
      frameRequested = false;
      clock.clearTimer(frameTimer);
      const t0 = clock.now();
      try {
        // Only the engine's frames are held back: what a user action or the stand-in
        // timer (a hidden window) asks for is taken in as before.
        let most = Infinity;
        if (how === 'frame' && options.empty && inbox.length > inboxHead) {
          if (!options.empty()) ramped = false;
          else if (!ramped) {
            ramped = true;
            batch = FIRST_BATCH;
          }
          most = batch;
          if (batch !== Infinity) batch = batch >= LAST_RAMP ? Infinity : batch * 2;
        }
        take(how === 'now' ? Infinity : how === 'timer' ? TIMER_BUDGET : FRAME_BUDGET, most);
        let t = note('take', t0);
        if (options.update()) drawOwed = true;
        t = note('view', t);
        if (how === 'now' || options.urgent() || (drawOwed && t0 - lastDraw >= CALM_INTERVAL)) {
          for (const [part, draw] of drawParts) {
            draw();
            t = note(part, t);
          }
          lastDraw = t0;
          drawOwed = false;
        } else if (drawOwed && !calmTimer) {
          calmTimer = clock.setTimer(() => {
            calmTimer = 0;
            schedule();
          }, CALM_INTERVAL - (t0 - lastDraw));
        }
      } catch (e) {
        options.onError(e);
      }
      const dt = clock.now() - t0;
      stats.frames++;
      stats.lastFlush = dt;
      stats.totalFlush += dt;
      if (dt > stats.longestFlush) stats.longestFlush = dt;
    }

    // Gives the record pushed last something more, to take in with it: true when that
    // record still waits (once only), false when it was taken in already or nothing
    // waits, and the caller pairs it itself.
    function attach(extra) {
      const last = inbox.length - 1;
      if (last < inboxHead || inboxExtras.has(last)) return false;
      inboxExtras.set(last, extra);
      return true;
    }

    // Keeps one record's text for the next frame. It is the page's addResult itself, so
    // it never throws: what goes wrong is reported.
    function push(text) {
      try {
        inbox.push(text);
        inboxTimes.push(date());
        if (inbox.length - inboxHead > INBOX_LIMIT) take(FRAME_BUDGET);
        else if (!frameRequested) schedule();
      } catch (e) {
        options.onError(e);
      }
    }

    // Takes records from the inbox, in arrival order, for up to budget ms and at most
    // most records. A take that starts while one runs (a record's own handling
    // refreshing the page) does nothing.
    function take(budget, most = Infinity) {
      if (taking || inboxHead === inbox.length) return;
      taking = true;
      let took = false;
      try {
        const t0 = clock.now();
        let n = 0;
        while (inboxHead < inbox.length && n < most) {
          const text = inbox[inboxHead];
          const time = inboxTimes[inboxHead];
          let extra;
          if (inboxExtras.size > 0) {
            extra = inboxExtras.get(inboxHead);
            inboxExtras.delete(inboxHead);
          }
          inbox[inboxHead++] = undefined;
          if (takeOne(text, time, extra)) took = true;
          if (++n % CHECK_EVERY === 0 && clock.now() - t0 >= budget) break;
        }
        if (inboxHead === inbox.length) {
          inbox = [];
          inboxTimes = [];
          inboxHead = 0;
        } else if (inboxHead >= COMPACT_AT) {
          const moved = new Map();
          for (const [i, x] of inboxExtras) moved.set(i - inboxHead, x);
          inboxExtras = moved;
          inbox = inbox.slice(inboxHead);
          inboxTimes = inboxTimes.slice(inboxHead);
          inboxHead = 0;
        }
      } finally {
        taking = false;
      }
      if (took) options.taken();
      if (inboxHead < inbox.length) schedule();
    }

    // Takes everything in and draws it now rather than at the next frame.
    function refresh() {
      frameRequested = true;
      frame('now');
    }

    return {
      push,
      attach,
      take,
      refresh,
      schedule,
      stats,
      get waiting() {
        return inbox.length - inboxHead;
      },
    };
  }

  return { createFeed, pageClock, FIRST_BATCH, LAST_RAMP, FRAME_BUDGET, TIMER_BUDGET, INBOX_LIMIT, FRAME_TIMEOUT, CALM_INTERVAL, CHECK_EVERY };
});
