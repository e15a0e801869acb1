// The end-to-end cases of tests/cases/ as workspaces in memory, for the
// tests that run them through orvasm.wasm. Cases about the file system itself
// (directories, unwritable outputs, one file under two names) have no
// counterpart in a workspace of named texts and are listed in FILE_SYSTEM.
import { readdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';

export const ROOT = new URL('../..', import.meta.url).pathname;
export const CASES = join(ROOT, 'tests', 'cases');
export const WASM = process.env.ORVASM_WASM ?? join(ROOT, 'build-wasm', 'orvasm.wasm');

export const FILE_SYSTEM = new Set([
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
  // The notes tell why a file could not be read, from the system's answer.
  'hint_include_missing_absolute_path',
  'hint_include_missing_directory',
  'hint_include_missing_reason_and_working_directory',
  'hint_invalid_input_directory',
  'hint_invalid_input_reason',
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
export function parseCase(bytes) {
  const text = bytes.toString('latin1');
  const c = { files: {}, args: ['in.orv', 'out.rom'], status: 0, stderr: '', expect: {} };
  const headers = [...text.matchAll(/^--- (.*)\n/gm)];
  headers.forEach((header, i) => {
    const body = text.slice(header.index + header[0].length, headers[i + 1]?.index ?? text.length);
    // Names are UTF-8 in the case file, as the page's file names are.
    const [kind, name, path] = Buffer.from(header[1], 'latin1').toString('utf8').split(' ');
    const hex = header[1].endsWith(' hex');
    const content = hex ? parseBytes(body) : Buffer.from(body, 'latin1');
    if (kind === 'source') c.files['in.orv'] = content;
    else if (kind === 'file') c.files[name] = content;
    else if (kind === 'copy') c.files[name] = readFileSync(join(ROOT, path));
    else if (kind === 'args') c.args = Buffer.from(body, 'latin1').toString('utf8').split(/\s+/).filter(Boolean);
    else if (kind === 'status') c.status = Number(body.trim());
    else if (kind === 'stderr') c.stderr = body;
    else if (kind === 'expect') c.expect[name] = header[1].endsWith(' text') ? Buffer.from(body, 'latin1') : parseBytes(body);
  });
  return c;
}

// The cases by name, parsed, in order.
export function readCases() {
  return readdirSync(CASES)
    .filter((name) => name.endsWith('.case'))
    .sort()
    .map((name) => [name.slice(0, -'.case'.length), parseCase(readFileSync(join(CASES, name)))]);
}
