// Runs the end-to-end cases of tests/cases/ through orvasm.wasm and checks
// what the program's run would give: the exit status, the exact standard
// error, the rom and the symbol file.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { loadAssembler } from '../src/assembler.js';
import { FILE_SYSTEM, WASM, readCases } from './cases.mjs';

const assembler = await loadAssembler(readFileSync(WASM));
const cases = readCases();
const names = cases.map(([name]) => name);

test('the cases that need no file system are most of them', () => {
  assert.ok(names.length - FILE_SYSTEM.size >= 150, `${names.length} cases`);
  for (const name of FILE_SYSTEM) assert.ok(names.includes(name), `${name} is no case`);
});

for (const [name, c] of cases) {
  // The playground has no command line, so no options (--depfile, --help)
  // but --locations, which the page's lines follow.
  const locations = c.args[0] === '--locations';
  const [main, rom, ...more] = locations ? c.args.slice(1) : c.args;
  const skip = FILE_SYSTEM.has(name)
    ? 'about the file system'
    : (more.length > 0 || [main, rom].some((arg) => arg.startsWith('--'))) &&
      'about the options of the command line';
  test(name, { skip }, () => {
    const r = assembler.assemble({ files: c.files, main, rom, locations });
    assert.equal(Buffer.from(r.stderr).toString('latin1'), c.stderr);
    assert.equal(r.status, c.status);
    // What the program leaves: the rom and symbol file after a success, an
    // empty rom when nothing was written, nothing after any other failure.
    const written = {};
    if (r.status === 0) {
      written[rom] = r.rom;
      written[`${rom}.sym`] = r.symbolFile;
    } else if (r.lines.at(-1) === 'Assembly: Output rom is empty.') written[rom] = new Uint8Array(0);
    for (const [file, bytes] of Object.entries(c.expect)) {
      if (file in c.files) continue; // a file the case created, left alone
      assert.ok(file in written, `the case expects ${file}`);
      assert.deepEqual(Buffer.from(written[file]), Buffer.from(bytes), file);
    }
    for (const file of Object.keys(written))
      assert.ok(file in c.expect, `the run would write ${file}, which the case does not expect`);
  });
}
