// The workspace in local storage: what a later visit finds, and what it
// refuses.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readSaved, writeSaved } from '../src/saved.js';

// A storage as the browser's, holding what was set, or refusing writes.
function storage(full = false) {
  const items = new Map();
  return {
    getItem: (key) => items.get(key) ?? null,
    setItem: (key, value) => {
      if (full) throw new Error('QuotaExceededError');
      items.set(key, String(value));
    },
    items,
  };
}

test('a workspace comes back as written, file names like built-in properties too', () => {
  const s = storage();
  const files = [['__proto__', '#01'], ['constructor', '#02'], ['main.orv', '~__proto__ BRK']];
  assert.equal(writeSaved({ main: 'main.orv', active: 'constructor', files }, '#w=abc', s), true);
  assert.deepEqual(readSaved(s), { main: 'main.orv', active: 'constructor', files, link: '#w=abc' });
});

test('nothing, or anything unsound, is no workspace', () => {
  const s = storage();
  assert.equal(readSaved(s), null);
  const key = 'orvasm-playground-workspace';
  for (const value of [
    '{',
    'null',
    '[]',
    '{"v":2,"main":"a","files":[["a","x"]]}',
    '{"v":1,"main":"b","files":[["a","x"]]}',
    '{"v":1,"main":"a","files":[["a","x"],["a","y"]]}',
    '{"v":1,"main":"a","files":[["a",1]]}',
  ]) {
    s.items.set(key, value);
    assert.equal(readSaved(s), null, value);
  }
  // An open file that is gone opens the main one; a link that is no text, none.
  s.items.set(key, '{"v":1,"main":"a","active":"gone","files":[["a","x"]],"link":5}');
  assert.deepEqual(readSaved(s), { main: 'a', active: 'a', files: [['a', 'x']], link: '' });
});

test('a storage that refuses says so, and a missing one too', () => {
  assert.equal(writeSaved({ main: 'a', active: 'a', files: [['a', '']] }, '', storage(true)), false);
  assert.equal(writeSaved({ main: 'a', active: 'a', files: [['a', '']] }, '', undefined), false);
  assert.equal(readSaved(undefined), null);
});
