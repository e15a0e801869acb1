// Positions in bytes become editor ranges in UTF-16 units.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Text } from '@codemirror/state';
import { readFileSync } from 'node:fs';
import { loadAssembler } from '../src/assembler.js';
import { byteColumn, rangeOf } from '../src/positions.js';
import { WASM } from './cases.mjs';

// Token lengths come from the module, as in the page.
const { tokenFinder } = await loadAssembler(readFileSync(WASM));

const doc = Text.of(['#12 ,nowhere', 'é€😀 @x', '']);
const range = (line, column, length) => rangeOf(doc, { line, column, length });

test('a token on the first line', () => {
  assert.deepEqual(range(1, 5, 8), { from: 4, to: 12 });
  assert.deepEqual(range(1, 1, 3), { from: 0, to: 3 });
});

test('columns count the bytes of UTF-8: 2, 3 and 4 for these characters', () => {
  const second = doc.line(2).from; // 13
  assert.deepEqual(range(2, 1, 2), { from: second, to: second + 1 }); // é
  assert.deepEqual(range(2, 3, 3), { from: second + 1, to: second + 2 }); // €
  assert.deepEqual(range(2, 6, 4), { from: second + 2, to: second + 4 }); // 😀, a surrogate pair
  assert.deepEqual(range(2, 11, 2), { from: second + 5, to: second + 7 }); // @x
});

test('an unknown length marks one character; a range never leaves its line', () => {
  assert.deepEqual(rangeOf(doc, { line: 1, column: 5, length: null }), { from: 4, to: 5 });
  assert.deepEqual(range(1, 5, 100), { from: 4, to: 12 });
  assert.deepEqual(range(1, 40, 1), { from: 12, to: 12 });
  assert.deepEqual(range(3, 1, 1), { from: doc.length, to: doc.length });
});

test('no range without a position, or past the last line', () => {
  assert.equal(rangeOf(doc, { line: null, column: null, length: null }), null);
  assert.equal(range(4, 1, 1), null);
  assert.equal(range(0, 1, 1), null);
});

test('the cursor as a column in bytes: 2, 3 and 4 for these characters', () => {
  const text = doc.line(2).text; // 'é€😀 @x'
  assert.deepEqual([0, 1, 2, 4, 5, 6].map((offset) => byteColumn(text, offset)), [1, 3, 6, 10, 11, 12]);
});

test("a token's length in bytes runs to the next whitespace, a CR or the end", () => {
  const finder = tokenFinder(new TextEncoder().encode('#12 ,é\r\n\t@x\n;end'));
  assert.equal(finder.length(1, 1), 3);
  assert.equal(finder.length(1, 5), 3); // ",é": é is 2 bytes
  assert.equal(finder.length(2, 2), 2);
  assert.equal(finder.length(3, 1), 4); // the last token, without a newline
  assert.equal(finder.length(1, 4), null); // on whitespace
  assert.equal(finder.length(4, 1), null);
});
