// The address-space picture: which 256-byte pages a program uses.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { byteOfColumn, pageUses } from '../src/panes.js';

const used = (uses) => Object.fromEntries(uses.flatMap((use, page) => (use === 'free' ? [] : [[page, use]])));

test('rom pages hold data or only zeros; zero-page labels mark their page', () => {
  const rom = new Uint8Array(0x300 - 0x100 + 1); // 0x0100 to 0x0300
  rom[0x0ff] = 1; // 0x01ff, the last byte of page 1
  rom[0x200] = 2; // 0x0300, the first byte of page 3
  assert.deepEqual(used(pageUses(rom, 0x100, [0x0010, 0x0150])), { 0: 'labels', 1: 'data', 2: 'zeros', 3: 'data' });
});

test('a full rom uses every page but the zero page; an empty one none', () => {
  const full = pageUses(new Uint8Array(0x10000 - 0x100).fill(0xff), 0x100, []);
  assert.equal(full.filter((use) => use === 'data').length, 255);
  assert.equal(full[0], 'free');
  assert.deepEqual(used(pageUses(new Uint8Array(0), 0x100, [])), {});
});

test('a click on the dump finds the byte under it, in the bytes or the text', () => {
  // Each byte's two digits in a row of 16, and its character in the text.
  const row = '0100  00 01 02 03 04 05 06 07  08 09 0a 0b 0c 0d 0e 0f  ................';
  for (let k = 0; k < 16; k++) {
    const at = row.indexOf(` ${k.toString(16).padStart(2, '0')}`, 5) + 1;
    assert.equal(byteOfColumn(at, 16), k, `byte ${k}`);
    assert.equal(byteOfColumn(at + 1, 16), k, `byte ${k}`);
    assert.equal(byteOfColumn(56 + k, 16), k, `text ${k}`);
  }
  assert.equal(byteOfColumn(0, 16), -1); // the address
  assert.equal(byteOfColumn(row.length, 16), -1); // past the text
  assert.equal(byteOfColumn(6 + 3 * 4 + 1, 8), 4); // a narrow row of 8
});
