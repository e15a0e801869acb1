// What the page asks the assembler's library through orvasm.wasm, beyond an
// assembly: where a token ends, the bytes written at a place, the symbol
// file.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { loadAssembler } from '../src/assembler.js';
import { WASM } from './cases.mjs';

const assembler = await loadAssembler(readFileSync(WASM));

test("a token's length runs to whitespace, over a parenthesis and a 0x00", () => {
  const source = new TextEncoder().encode('#12 ,é\r\n\t;x)\n;a\0b) ;end');
  const r = assembler.assemble({ files: { 'a.orv': source }, main: 'a.orv' });
  const [cause] = r.diagnostics;
  assert.deepEqual([cause.detail, cause.line, cause.column, cause.length], ['é', 1, 5, 3]);
  const lib = 'BRK ;x) ;a\0b) ;end';
  const listed = assembler.assemble({ files: { 'm.orv': '@x @a @end ~l.orv', 'l.orv': lib }, main: 'm.orv' });
  assert.deepEqual(
    Array.from({ length: listed.listing.length }, (_, i) => listed.listing.record(i))
      .filter((rec) => rec.file === 'l.orv').map((rec) => [rec.column, rec.length]),
    [[1, 3], [5, 3], [9, 5], [15, 4]],
  );
});

// "%twice { DUP DUP }" on line 1, used on line 3 as "#01 twice twice"; the
// bytes of the token that starts at a line and column, as the page asks.
const assembleTwice = () =>
  assembler.assemble({ files: { a: '%twice { DUP DUP }\n\n#01 twice twice\n' }, main: 'a' });
const tokenBytes = (result, file, line, column) => result.bytesAt(file, line, column, line, column);

test("a token's own bytes, from its first byte to just after its last", () => {
  const twice = assembleTwice();
  assert.deepEqual(tokenBytes(twice, 'a', 3, 1), [{ from: 0, to: 2 }]);
  assert.deepEqual(tokenBytes(twice, 'a', 3, 2), []); // inside a token: none starts there
  assert.deepEqual(tokenBytes(twice, 'b', 3, 1), []);
  assert.deepEqual(tokenBytes(twice, 'a', 2, 1), []);
});

test("a macro use marks its body's bytes; a body token, its bytes at every use", () => {
  const twice = assembleTwice();
  assert.deepEqual(tokenBytes(twice, 'a', 3, 5), [{ from: 2, to: 4 }]);
  assert.deepEqual(tokenBytes(twice, 'a', 3, 11), [{ from: 4, to: 6 }]);
  assert.deepEqual(tokenBytes(twice, 'a', 1, 14), [
    { from: 3, to: 4 },
    { from: 5, to: 6 },
  ]);
  assert.deepEqual(twice.bytesAt('a', 3, 1, 3, 0xffffffff), [{ from: 0, to: 6 }]); // a whole line
  assert.deepEqual(twice.bytesAt('a', 3, 1, 3, 10), [{ from: 0, to: 4 }]); // a selection
});

test('answers about a result end with the next assembly, unless it is kept', () => {
  const first = assembler.assemble({ files: { a: '01 02' }, main: 'a' });
  assert.deepEqual(first.bytesAt('a', 1, 1, 1, 9), [{ from: 0, to: 2 }]);
  assembler.assemble({ files: { a: '03' }, main: 'a' });
  assert.deepEqual(first.bytesAt('a', 1, 1, 1, 9), []);
  assert.equal(first.listingLines.length, 0);

  const kept = assembler.assemble({ files: { a: '01 02' }, main: 'a' });
  assembler.keep(kept);
  assembler.assemble({ files: { a: ';nowhere' }, main: 'a' });
  assert.deepEqual(kept.bytesAt('a', 1, 4, 1, 4), [{ from: 1, to: 2 }]);
  assert.equal(kept.listingLines.text(0).slice(0, 11), '0100  01 02');
  assert.equal(kept.listing.length, 2); // read only now, from the live result
  const next = assembler.assemble({ files: { a: '03' }, main: 'a' });
  assembler.keep(next);
  assert.deepEqual(kept.bytesAt('a', 1, 1, 1, 9), []);
  assert.deepEqual(next.bytesAt('a', 1, 1, 1, 9), [{ from: 0, to: 1 }]);
});

test("the symbol file is the library's, and empty after a failure", () => {
  const r = assembler.assemble({ files: { a: '|0100 @é 01 |0234 @b 02' }, main: 'a' });
  assert.deepEqual([...r.symbolFile], [0x01, 0x00, 0xc3, 0xa9, 0x00, 0x02, 0x34, 0x62, 0x00]);
  assert.equal(assembler.assemble({ files: { a: ';nowhere' }, main: 'a' }).symbolFile.length, 0);
});
