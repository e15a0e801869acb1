// The listing pane's lines against the program's --listing: for each case
// that expects a listing, and for each example through the program itself
// (ORVASM names it), the page's lines, joined, are the listing's lines
// between its first line and its labels.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { loadAssembler } from '../src/assembler.js';
import { ROOT, WASM, readCases } from './cases.mjs';

const assembler = await loadAssembler(readFileSync(WASM));

// The page's rows of `files` assembled from `main`, one per line, as text.
function paneRows(files, main) {
  const result = assembler.assemble({ files, main });
  const lines = result.listingLines;
  return Array.from({ length: lines.length }, (_, i) => lines.text(i));
}

// The lines of a listing, without its first line and its labels.
const body = (listing) => {
  const lines = listing.toString('utf8').split('\n; labels by address')[0].split('\n');
  return lines.slice(1, -1).join('\n');
};

let compared = 0;
for (const [name, c] of readCases()) {
  const output = c.args.find((arg) => arg.startsWith('--listing='))?.slice('--listing='.length);
  if (!output || !c.expect[output]) continue;
  compared++;
  test(`case ${name}`, () => {
    const main = c.args.filter((arg) => !arg.startsWith('--'))[0];
    assert.equal(paneRows(c.files, main).join('\n'), body(c.expect[output]));
  });
}

test('the cases with a listing are compared', () => assert.ok(compared >= 3, `${compared} cases`));

// Every example, with the files of examples/ it may include, by the paths
// from the top of the project that its includes write.
const examples = readdirSync(join(ROOT, 'examples'), { recursive: true }).filter((name) => name.endsWith('.orv'));
const files = Object.fromEntries(examples.map((name) => [`examples/${name}`, readFileSync(join(ROOT, 'examples', name))]));
for (const name of examples.filter((name) => !name.startsWith('lib/'))) {
  test(`example ${name}`, { skip: !process.env.ORVASM && 'ORVASM names no program' }, () => {
    const folder = mkdtempSync(join(tmpdir(), 'orvasm-listing-'));
    try {
      const listing = join(folder, 'out.lst');
      execFileSync(process.env.ORVASM, [`--listing=${listing}`, `examples/${name}`, join(folder, 'out.rom')], { cwd: ROOT });
      const rows = paneRows(files, `examples/${name}`);
      assert.ok(rows.length > 0);
      assert.equal(rows.join('\n'), body(readFileSync(listing)));
    } finally {
      rmSync(folder, { recursive: true, force: true });
    }
  });
}
