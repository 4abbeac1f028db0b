// The view panel: the view filter's text, type buttons, size and host fields, what it says
// about values it cannot use, and Clear. What the fields mean is worked out apart from the
// page (evaluate), so it runs under Node. Classic script (window.Trawlet.viewpanel) and
// CommonJS module.
(function (root, factory) {
  'use strict';
  const node = typeof module === 'object' && module.exports;
  const T = root && root.Trawlet;
  const api = factory(
    node ? require('./record.js') : T.record,
    node ? require('./kinds.js') : T.kinds,
    node ? require('./viewfilter.js') : T.viewfilter,
    node ? require('./listtext.js') : T.listtext,
    node ? require('./words.js') : T.words
  );
  if (node) module.exports = api;
  else (root.Trawlet = root.Trawlet || {}).viewpanel = api;
})(typeof self !== 'undefined' ? self : this, function (record, kinds, viewfilter, listtext, words) {
  'use strict';

  const TEXT_FIELDS = ['view-text', 'view-min', 'view-max', 'view-hosts-in', 'view-hosts-out'];
  const SWITCHES = ['view-regex', 'view-not', 'view-unknown'];

  // What the panel's values ask for. v: { text, regex, negate, kinds, min, max,
  // keepUnknown, hostsIn, hostsOut } as the fields hold them. Answers the row test (null
  // shows every row), the message about what cannot be used, and which fields hold it.
  function evaluate(v) {
    const errors = [];
    const invalid = {};
    const size = (key, label) => {
      const n = record.parseSizeInput(v[key]);
      invalid[key] = Number.isNaN(n);
      if (invalid[key]) errors.push(label + ' “' + words.clipText(v[key], 40) + '” is not a size: write for example 500KB, 1.5MB or 2G.');
      return invalid[key] ? null : n;
    };
    const compiled = viewfilter.compile({
      text: v.text,
      regex: v.regex,
      negate: v.negate,
      kinds: v.kinds,
      minBytes: size('min', 'The minimum'),
      maxBytes: size('max', 'The maximum'),
      keepUnknownSize: v.keepUnknown,
      includeHosts: v.hostsIn,
      excludeHosts: v.hostsOut,
    });
    invalid.text = !!compiled.error;
    if (compiled.error) errors.unshift(compiled.error.message);
    return { test: compiled.active ? compiled.test : null, message: errors.join(' '), invalid };
  }

  // Builds the type buttons and wires the fields. o: { $, chips (the buttons' element),
  // model, refresh() }.
  function createViewPanel(o) {
    const $ = o.$;
    const chips = {};
    for (const k of kinds.KINDS) {
      const b = document.createElement('button');
      b.type = 'button';
      b.className = 'chip';
      b.id = 'chip-' + k;
      b.dataset.kind = k;
      b.textContent = listtext.KIND_LABELS[k];
      b.setAttribute('aria-pressed', 'false');
      b.addEventListener('click', () => {
        b.setAttribute('aria-pressed', b.getAttribute('aria-pressed') === 'true' ? 'false' : 'true');
        apply();
      });
      o.chips.appendChild(b);
      chips[k] = b;
    }

    function apply() {
      const r = evaluate({
        text: $('view-text').value,
        regex: $('view-regex').checked,
        negate: $('view-not').checked,
        kinds: kinds.KINDS.filter((k) => chips[k].getAttribute('aria-pressed') === 'true'),
        min: $('view-min').value,
        max: $('view-max').value,
        keepUnknown: $('view-unknown').checked,
        hostsIn: $('view-hosts-in').value,
        hostsOut: $('view-hosts-out').value,
      });
      $('view-min').setAttribute('aria-invalid', r.invalid.min ? 'true' : 'false');
      $('view-max').setAttribute('aria-invalid', r.invalid.max ? 'true' : 'false');
      $('view-text').setAttribute('aria-invalid', r.invalid.text ? 'true' : 'false');
      $('view-error').textContent = r.message;
      o.model.setFilter(r.test);
      o.refresh();
    }

    function clear() {
      for (const id of TEXT_FIELDS) $(id).value = '';
      $('view-regex').checked = false;
      $('view-not').checked = false;
      $('view-unknown').checked = true;
      for (const k in chips) chips[k].setAttribute('aria-pressed', 'false');
      apply();
    }

    for (const id of TEXT_FIELDS) $(id).addEventListener('input', apply);
    for (const id of SWITCHES) $(id).addEventListener('change', apply);
    $('clear-view').addEventListener('click', clear);
    return { apply, clear };
  }

  return { evaluate, createViewPanel };
});
