// What the page asks the assembler's library through orvasm.wasm, beyond an
// assembly: where a token ends, the bytes written at a place, the symbol
// file.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { loadAssembler } from '../src/assembler.js';
import { bytesAt } from '../src/positions.js';
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
    listed.listing.filter((rec) => rec.file === 'l.orv').map((rec) => [rec.column, rec.length]),
    [[1, 3], [5, 3], [9, 5], [15, 4]],
  );
});

// "%twice { DUP DUP }" on line 1, used on line 3 as "#01 twice twice"; the
// answers hold until the next assembly.
const assembleTwice = () =>
  assembler.assemble({ files: { a: '%twice { DUP DUP }\n\n#01 twice twice\n' }, main: 'a' });

test("a token's own bytes, from its first byte to just after its last", () => {
  const twice = assembleTwice();
  assert.deepEqual(bytesAt(twice, 'a', 3, 1), [{ from: 0, to: 2 }]);
  assert.deepEqual(bytesAt(twice, 'a', 3, 4), [{ from: 0, to: 2 }]);
  assert.deepEqual(bytesAt(twice, 'b', 3, 1), []);
  assert.deepEqual(bytesAt(twice, 'a', 2, 1), []);
});

test("a macro use marks its body's bytes; a body token, its bytes at every use", () => {
  const twice = assembleTwice();
  assert.deepEqual(bytesAt(twice, 'a', 3, 5), [{ from: 2, to: 4 }]);
  assert.deepEqual(bytesAt(twice, 'a', 3, 12), [{ from: 4, to: 6 }]);
  assert.deepEqual(bytesAt(twice, 'a', 1, 15), [
    { from: 3, to: 4 },
    { from: 5, to: 6 },
  ]);
  assert.deepEqual(twice.bytesAt('a', 3, 1, 3, 99), [{ from: 0, to: 6 }]); // a whole line
});

test('answers about a result end with the next assembly', () => {
  const first = assembler.assemble({ files: { a: '01 02' }, main: 'a' });
  assert.deepEqual(first.bytesAt('a', 1, 1, 1, 9), [{ from: 0, to: 2 }]);
  assembler.assemble({ files: { a: '03' }, main: 'a' });
  assert.deepEqual(first.bytesAt('a', 1, 1, 1, 9), []);
});

test("the symbol file is the library's, and empty after a failure", () => {
  const r = assembler.assemble({ files: { a: '|0100 @é 01 |0234 @b 02' }, main: 'a' });
  assert.deepEqual([...r.symbolFile], [0x01, 0x00, 0xc3, 0xa9, 0x00, 0x02, 0x34, 0x62, 0x00]);
  assert.equal(assembler.assemble({ files: { a: ';nowhere' }, main: 'a' }).symbolFile.length, 0);
});
