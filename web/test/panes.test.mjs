// The address-space picture: which 256-byte pages a program uses.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { pageUses } from '../src/panes.js';

const used = (uses) => Object.fromEntries(uses.flatMap((use, page) => (use === 'free' ? [] : [[page, use]])));

test('rom pages hold data or only zeros; zero-page labels mark their page', () => {
  const rom = new Uint8Array(0x300 - 0x100 + 1); // 0x0100 to 0x0300
  rom[0x0ff] = 1; // 0x01ff, the last byte of page 1
  rom[0x200] = 2; // 0x0300, the first byte of page 3
  const symbols = [{ address: 0x0010 }, { address: 0x0150 }];
  assert.deepEqual(used(pageUses(rom, 0x100, symbols)), { 0: 'labels', 1: 'data', 2: 'zeros', 3: 'data' });
});

test('a full rom uses every page but the zero page; an empty one none', () => {
  const full = pageUses(new Uint8Array(0x10000 - 0x100).fill(0xff), 0x100, []);
  assert.equal(full.filter((use) => use === 'data').length, 255);
  assert.equal(full[0], 'free');
  assert.deepEqual(used(pageUses(new Uint8Array(0), 0x100, [])), {});
});
