// The link decoder under generated input: cut, corrupted and hostile links
// either open as a sound workspace or are refused with a WorkspaceError, and
// every workspace that can be made survives a round trip through a link.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { deflateRawSync } from 'node:zlib';
import fc from 'fast-check';
import {
  MAX_FILES,
  MAX_NAME_LENGTH,
  WorkspaceError,
  checkWorkspace,
  decodeWorkspace,
  encodeWorkspace,
} from '../src/workspace.js';

const RUNS = Number(process.env.LINK_FUZZ_RUNS || 300);
const link = (bytes) => '#w=' + Buffer.from(bytes).toString('base64url');
const linkOfJson = (value) => link(deflateRawSync(Buffer.from(JSON.stringify(value))));

// Decodes `hash`; a refusal is a WorkspaceError with a message, anything
// else thrown is a fault. Returns the workspace, or null when refused.
async function openOrRefuse(hash) {
  let w;
  try {
    w = await decodeWorkspace(hash);
  } catch (error) {
    assert.ok(error instanceof WorkspaceError, `not a refusal: ${error && error.stack}`);
    assert.ok(error.message.length > 0, 'a refusal without a message');
    return null;
  }
  assert.equal(checkWorkspace(w), null, 'an unsound workspace was opened');
  assert.ok(w.files.some(([name]) => name === w.active), 'the open tab is not a file');
  return w;
}

// Names the decoder must carry through: those an object would treat apart,
// separators, non-ASCII and the longest allowed.
const awkwardName = fc.constantFrom(
  '__proto__', 'constructor', 'prototype', 'toString', 'hasOwnProperty',
  'a/b', '..', '.', ' ', '~', 'é€😀', 'x'.repeat(MAX_NAME_LENGTH),
);
const fileName = fc.oneof(
  awkwardName,
  fc.string({ minLength: 1, maxLength: 40, unit: 'binary' }).filter((s) => !s.includes('\0')),
);
const workspace = fc
  .uniqueArray(fc.tuple(fileName, fc.string({ maxLength: 200, unit: 'binary' })), {
    minLength: 1,
    maxLength: 6,
    selector: ([name]) => name,
  })
  .chain((files) =>
    fc.record({
      files: fc.constant(files),
      main: fc.constantFrom(...files.map(([name]) => name)),
      active: fc.constantFrom(...files.map(([name]) => name)),
    }),
  );

test('every workspace, with any file names, comes back from its link unchanged', async () => {
  await fc.assert(
    fc.asyncProperty(workspace, async (w) => {
      assert.deepEqual(await decodeWorkspace(await encodeWorkspace(w)), { ...w });
    }),
    { numRuns: RUNS, examples: [[{ files: [['__proto__', 'x'], ['b', '']], main: '__proto__', active: 'b' }]] },
  );
});

test('a link cut anywhere opens soundly or is refused', async () => {
  await fc.assert(
    fc.asyncProperty(workspace, fc.double({ min: 0, max: 1, noNaN: true }), async (w, at) => {
      const whole = await encodeWorkspace(w);
      const cut = whole.slice(0, 3 + Math.floor((whole.length - 3) * at));
      const opened = await openOrRefuse(cut);
      // A link that lost nothing opens as it was.
      if (cut === whole) assert.deepEqual(opened, { ...w });
    }),
    { numRuns: RUNS },
  );
});

test('a link with characters changed, added or removed opens soundly or is refused', async () => {
  const edit = fc.record({
    at: fc.double({ min: 0, max: 1, noNaN: true }),
    kind: fc.constantFrom('replace', 'insert', 'delete'),
    text: fc.string({ minLength: 1, maxLength: 4 }),
  });
  await fc.assert(
    fc.asyncProperty(workspace, fc.array(edit, { minLength: 1, maxLength: 4 }), async (w, edits) => {
      let hash = await encodeWorkspace(w);
      for (const { at, kind, text } of edits) {
        const i = 3 + Math.floor((hash.length - 3) * at);
        const skip = kind === 'insert' ? 0 : text.length;
        hash = hash.slice(0, i) + (kind === 'delete' ? '' : text) + hash.slice(i + skip);
      }
      await openOrRefuse(hash);
    }),
    { numRuns: RUNS },
  );
});

test('any text after the prefix, and any deflated bytes, open soundly or are refused', async () => {
  await fc.assert(
    fc.asyncProperty(fc.string({ maxLength: 300 }), async (text) => {
      await openOrRefuse('#w=' + text);
    }),
    { numRuns: RUNS },
  );
  await fc.assert(
    fc.asyncProperty(fc.uint8Array({ maxLength: 300 }), async (bytes) => {
      await openOrRefuse(link(deflateRawSync(bytes)));
      await openOrRefuse(link(bytes));
    }),
    { numRuns: RUNS },
  );
});

test('any JSON in a well-formed link opens soundly or is refused', async () => {
  const hostileFiles = fc.array(
    fc.oneof(fc.tuple(fileName, fc.string()), fc.jsonValue({ maxDepth: 2 })),
    { maxLength: MAX_FILES + 2 },
  );
  const shaped = fc.record(
    {
      v: fc.jsonValue({ maxDepth: 1 }),
      main: fc.oneof(fileName, fc.jsonValue({ maxDepth: 1 })),
      active: fc.oneof(fileName, fc.jsonValue({ maxDepth: 1 })),
      files: fc.oneof(hostileFiles, fc.jsonValue({ maxDepth: 2 })),
    },
    { requiredKeys: [] },
  );
  await fc.assert(
    fc.asyncProperty(fc.oneof(shaped, fc.jsonValue()), async (value) => {
      await openOrRefuse(linkOfJson(value));
    }),
    { numRuns: RUNS },
  );
});

test('refusals: too many files, a repeated name, a missing main, and a bomb', async () => {
  const many = Array.from({ length: MAX_FILES + 1 }, (_, i) => [`f${i}`, '']);
  for (const w of [
    { v: 1, main: 'f0', files: many },
    { v: 1, main: 'a', files: [['a', ''], ['a', 'x']] },
    { v: 1, main: '__proto__', files: [['a', '']] },
    { v: 1, main: 'a', files: [['a', ''], ['', '']] },
  ])
    assert.equal(await openOrRefuse(linkOfJson(w)), null, JSON.stringify(w).slice(0, 80));
  // Five MiB of one character deflate to a few KiB; inflating stops at the limit.
  const bomb = JSON.stringify({ v: 1, main: 'a', files: [['a', ' '.repeat(5 << 20)]] });
  assert.equal(await openOrRefuse(link(deflateRawSync(Buffer.from(bomb)))), null);
});
