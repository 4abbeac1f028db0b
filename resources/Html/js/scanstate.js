// The scan state as the page shows it. The native side alone knows whether its scan runs:
// the state changes only with its answers to "start", "pause" and "stop", and to "state"
// when the page is loaded again during a scan. Records say
// nothing about it: they can arrive during and after a "stop" call (the program delivers
// the records it queued before the answer), and taking them in later must not make a
// stopped scan look running. Classic script (window.Trawlet.scanstate) and CommonJS module.
(function (root, factory) {
  'use strict';
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).scanstate = api;
})(typeof self !== 'undefined' ? self : this, function () {
  'use strict';

  const STATES = ['idle', 'running', 'paused'];

  // The state after the native side answered `method` (ok: it answered 1). A refused
  // call changes nothing; "pause" toggles only a scan that runs or is paused, as the
  // native handler does.
  function afterAnswer(state, method, ok) {
    if (!STATES.includes(state)) state = 'idle';
    if (!ok) return state;
    switch (method) {
      case 'start':
        return 'running';
      case 'stop':
        return 'idle';
      case 'pause':
        return state === 'running' ? 'paused' : state === 'paused' ? 'running' : state;
      default:
        return state;
    }
  }

  // The state in the native side's answer to "state" ({"running": .., "paused": ..}), or
  // null when the answer is not one.
  function fromStateAnswer(value) {
    if (value === null || typeof value !== 'object') return null;
    if (typeof value.running !== 'boolean' || typeof value.paused !== 'boolean') return null;
    if (!value.running) return 'idle';
    return value.paused ? 'paused' : 'running';
  }

  return { STATES, afterAnswer, fromStateAnswer };
});
