// Runs the end-to-end cases of tests/cases/ through orvasm.wasm and checks
// what the program's run would give: the exit status, the exact standard
// error, the rom and the symbol file. Cases about the file system itself
// (directories, unwritable outputs, one file under two names) have no
// counterpart in a workspace of named texts and are listed in FILE_SYSTEM.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { loadAssembler, symbolFile } from '../src/assembler.js';

const ROOT = new URL('../..', import.meta.url).pathname;
const CASES = join(ROOT, 'tests', 'cases');
const WASM = process.env.ORVASM_WASM ?? join(ROOT, 'build-wasm', 'orvasm.wasm');

const FILE_SYSTEM = new Set([
  'input_is_directory_fails', // a directory opens, then fails to read
  'output_in_missing_directory_fails', // the rom cannot be opened
  'output_same_as_source_fails', // one file under two paths
  'output_naming_an_included_file_fails', // outputs are checked against the files read
  'symbols_never_replace_an_included_file',
  'output_same_as_source_through_directory_fails',
  'output_write_fails_at_close', // /dev/full
  'output_write_fails_on_full_rom',
  'symbols_never_replace_the_source',
  'symbols_unopenable_file_warns',
  'usage_with_one_argument', // the command line itself
  'usage_without_arguments',
]);

// The byte notation of the cases: "a0", "00*256", "text".
function parseBytes(text) {
  const out = [];
  for (const [, quoted, hex, count] of text.matchAll(/"([^"]*)"|([0-9a-fA-F]{2})(?:\*(\d+))?/g)) {
    if (quoted !== undefined) out.push(...Buffer.from(quoted, 'latin1'));
    else for (let i = 0; i < Number(count ?? 1); i++) out.push(parseInt(hex, 16));
  }
  return Uint8Array.from(out);
}

// Splits a case into its sections, keeping the exact bytes of each body.
function parseCase(bytes) {
  const text = bytes.toString('latin1');
  const c = { files: {}, args: ['in.orv', 'out.rom'], status: 0, stderr: '', expect: {} };
  const headers = [...text.matchAll(/^--- (.*)\n/gm)];
  headers.forEach((header, i) => {
    const body = text.slice(header.index + header[0].length, headers[i + 1]?.index ?? text.length);
    const [kind, name, path] = header[1].split(' ');
    const hex = header[1].endsWith(' hex');
    const content = hex ? parseBytes(body) : Buffer.from(body, 'latin1');
    if (kind === 'source') c.files['in.orv'] = content;
    else if (kind === 'file') c.files[name] = content;
    else if (kind === 'copy') c.files[name] = readFileSync(join(ROOT, path));
    else if (kind === 'args') c.args = body.split(/\s+/).filter(Boolean);
    else if (kind === 'status') c.status = Number(body.trim());
    else if (kind === 'stderr') c.stderr = body;
    else if (kind === 'expect') c.expect[name] = parseBytes(body);
  });
  return c;
}

const assembler = await loadAssembler(readFileSync(WASM));
const names = readdirSync(CASES)
  .filter((name) => name.endsWith('.case'))
  .map((name) => name.slice(0, -'.case'.length))
  .sort();

test('the cases that need no file system are most of them', () => {
  assert.ok(names.length - FILE_SYSTEM.size >= 150, `${names.length} cases`);
  for (const name of FILE_SYSTEM) assert.ok(names.includes(name), `${name} is no case`);
});

for (const name of names) {
  const c = parseCase(readFileSync(join(CASES, `${name}.case`)));
  // The playground has no command line, so no options (--depfile, --help).
  const skip = FILE_SYSTEM.has(name)
    ? 'about the file system'
    : c.args.some((arg) => arg.startsWith('--')) && 'about the options of the command line';
  test(name, { skip }, () => {
    const [main, rom] = c.args;
    const r = assembler.assemble({ files: c.files, main, rom });
    assert.equal(Buffer.from(r.stderr).toString('latin1'), c.stderr);
    assert.equal(r.status, c.status);
    // What the program leaves: the rom and symbol file after a success, an
    // empty rom when nothing was written, nothing after any other failure.
    const written = {};
    if (r.status === 0) {
      written[rom] = r.rom;
      written[`${rom}.sym`] = symbolFile(r.symbols);
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
