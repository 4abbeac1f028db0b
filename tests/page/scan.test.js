'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { describeFilter } = require('../../resources/Html/js/scan.js');
const { buildStartParams } = require('../../resources/Html/js/service.js');

test('a saved scan says which capture filter it ran with', () => {
  const cases = [
    [['off', '', ''], 'everything'],
    [['mime', ' Video ', ''], 'MIME type contains video'],
    [['ext', '', 'mp4, flv'], 'extensions .mp4;.MP4;.flv;.FLV'],
  ];
  for (const [[kind, mime, ext], text] of cases) assert.equal(describeFilter(buildStartParams('http://a/', kind, mime, ext).params), text, kind);
});
