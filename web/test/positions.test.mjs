// Positions in bytes become editor ranges in UTF-16 units.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Text } from '@codemirror/state';
import { readFileSync } from 'node:fs';
import { loadAssembler } from '../src/assembler.js';
import { byteColumn, rangeOf } from '../src/positions.js';
import { listingOf } from '../src/listing.js';
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

// The listing of "%twice { DUP DUP }" (line 1) used on line 3 as
// "#01 twice twice", from 0x0100.
const at = (line, column, length, more) => ({ file: 'a', line, column, length, depth: 0, ...more });
const listing = listingOf([
  at(3, 1, 3, { kind: 'bytes', address: 0x100, size: 2 }),
  at(3, 5, 5, { kind: 'expansion', address: 0x102, size: 0 }),
  at(1, 10, 3, { kind: 'bytes', address: 0x102, size: 1, depth: 1 }),
  at(1, 14, 3, { kind: 'bytes', address: 0x103, size: 1, depth: 1 }),
  at(3, 11, 5, { kind: 'expansion', address: 0x104, size: 0 }),
  at(1, 10, 3, { kind: 'bytes', address: 0x104, size: 1, depth: 1 }),
  at(1, 14, 3, { kind: 'bytes', address: 0x105, size: 1, depth: 1 }),
], new Uint8Array(6), new Map([['a', tokenFinder(new TextEncoder().encode('%twice { DUP DUP }\n\n#01 twice twice'))]]));

test("a token's own bytes, from its first byte to just after its last", () => {
  assert.deepEqual(listing.bytesAt('a', 3, 1), [{ from: 0, to: 2 }]);
  assert.deepEqual(listing.bytesAt('a', 3, 4), [{ from: 0, to: 2 }]);
  assert.deepEqual(listing.bytesAt('b', 3, 1), []);
  assert.deepEqual(listing.bytesAt('a', 2, 1), []);
});

test("a macro use marks its body's bytes; a body token, its bytes at every use", () => {
  assert.deepEqual(listing.bytesAt('a', 3, 5), [{ from: 2, to: 4 }]);
  assert.deepEqual(listing.bytesAt('a', 3, 12), [{ from: 4, to: 6 }]);
  assert.deepEqual(listing.bytesAt('a', 1, 15), [
    { from: 3, to: 4 },
    { from: 5, to: 6 },
  ]);
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
