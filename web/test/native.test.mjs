// The cases of tests/cases/ through the native library (the program
// test/native/result_dump.cpp, run on the case's files written to a folder)
// and through orvasm.wasm (the files in memory), with the page's flags: both
// must give the same status, lines, records of the diagnostics, rom,
// symbols with their definitions and listing, with and without located
// lines.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { loadAssembler } from '../src/assembler.js';
import { FILE_SYSTEM, ROOT, WASM, readCases } from './cases.mjs';

const DUMP = resolve(process.env.ORVASM_RESULT_DUMP ?? join(ROOT, "build", "web", "orvasm_result_dump"));
const SEVERITIES = ['error', 'warning', 'note', 'summary'];
const KINDS = ['bytes', 'label', 'padding', 'expansion', 'include'];

const assembler = await loadAssembler(readFileSync(WASM));
const decoder = new TextDecoder();
const bytes = (hex) => Buffer.from(hex, 'hex');
const text = (hex) => (hex === null ? null : decoder.decode(bytes(hex)));
const place = (file, line, column) =>
  line === 0 ? { file: null, line: null, column: null } : { file: text(file), line, column };

// The native result in the terms of the module's: what the page reads.
function native(dump) {
  const status = dump.status === 0 ? 0 : 1;
  const diagnostics = dump.diagnostics
    .filter(([severity]) => SEVERITIES[severity] !== 'summary')
    .map(([severity, message, detail, file, line, column, notes, line_, fix]) => ({
      severity: SEVERITIES[severity],
      message: text(message),
      detail: text(detail),
      text: text(line_).replace(/\n$/, ''),
      ...place(file, line, column),
      fix: text(fix),
      notes,
    }));
  return {
    status,
    stderr: Buffer.concat(dump.diagnostics.map((d) => bytes(d[7]))),
    truncated: dump.dropped,
    rom: status === 0 ? bytes(dump.rom) : Buffer.alloc(0),
    start: dump.start,
    diagnostics,
    symbols:
      status === 0
        ? dump.symbols.map(([name, address, uses, file, line, column]) => ({
            nameBytes: bytes(name),
            address,
            uses,
            ...place(file, line, column),
          }))
        : [],
    listing: dump.listing.map(([kind, file, line, column, address, size, depth, target]) => ({
      kind: KINDS[kind],
      ...place(file, line, column),
      address,
      size,
      depth,
      target: text(target),
    })),
    listingDropped: dump.listing_dropped,
    problems: dump.problems,
  };
}

// The module's result, cut to the same fields; the notes flattened back to
// where the native records keep them.
function fromModule(r) {
  const diagnostics = [];
  // `index`, the record's own, is the place in this list.
  for (const { chain, length, index: _, ...d } of r.diagnostics) {
    diagnostics.push({ ...d, notes: chain.length });
    for (const { chain: __, length: ___, index: ____, ...note } of chain) diagnostics.push({ ...note, notes: 0 });
  }
  return {
    status: r.status,
    stderr: Buffer.from(r.stderr),
    truncated: r.truncated,
    rom: Buffer.from(r.rom),
    start: r.start,
    diagnostics,
    symbols: r.symbols.map(({ name, nameBytes, ...s }) => ({ nameBytes: Buffer.from(nameBytes), ...s })),
    listing: [...r.listing].map(({ length, bytes: _, ...record }) => record),
    listingDropped: 0,
    problems: r.problems.map((p) => p.index),
  };
}

const folder = mkdtempSync(join(tmpdir(), 'orvasm-native-'));
process.on('exit', () => rmSync(folder, { recursive: true, force: true }));

// Cases the page passes from memory but whose native run, reading real
// files, adds the system's reason for a file it could not read as a note.
const SYSTEM_REASON = new Set([
  'include_directory_fails',
  'include_empty_path_fails',
  'include_missing_file_fails',
  'input_missing_fails',
]);

let compared = 0;
for (const [name, c] of readCases()) {
  const paths = c.args.filter((arg) => arg === '--locations' || !arg.startsWith('--listing='));
  const [main, rom, ...more] = paths[0] === '--locations' ? paths.slice(1) : paths;
  const skip = FILE_SYSTEM.has(name) || SYSTEM_REASON.has(name)
    ? 'about the file system'
    : (more.length > 0 || [main, rom].some((arg) => arg.startsWith('--'))) && 'about the command line';
  if (!skip) compared++;
  test(name, { skip }, () => {
    const here = join(folder, name);
    mkdirSync(here);
    for (const [file, content] of Object.entries(c.files)) {
      mkdirSync(dirname(join(here, file)), { recursive: true });
      writeFileSync(join(here, file), content);
    }
    for (const locations of [false, true]) {
      const args = [...(locations ? ['--locations'] : []), main, rom];
      const dump = JSON.parse(execFileSync(DUMP, args, { cwd: here, maxBuffer: 1 << 28 }).toString());
      const r = assembler.assemble({ files: c.files, main, rom, locations });
      assert.deepEqual(fromModule(r), native(dump), locations ? 'with locations' : 'without');
    }
  });
}

test('most cases are compared', () => {
  assert.ok(compared >= 170, `${compared} cases compared`);
});
