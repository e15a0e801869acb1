// The TextMate grammar, loaded as the VS Code extension of editors/vscode
// contributes it and tokenised by the libraries VS Code itself uses
// (vscode-textmate, vscode-oniguruma; `npm ci` in editors/vscode): the scope
// under chosen characters of expectations.json (shared with the Neovim test)
// and of every mnemonic of the assembler's own table. Exits with 77 (skipped)
// without the libraries.
import { createRequire } from 'node:module';
import { readFileSync, realpathSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import test from 'node:test';
import assert from 'node:assert/strict';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const extension = join(root, 'editors', 'vscode');
const require = createRequire(join(extension, 'package.json'));
let textmate;
let oniguruma;
try {
  textmate = require('vscode-textmate');
  oniguruma = require('vscode-oniguruma');
} catch {
  console.log('skipped: the npm packages are missing; run `npm ci` in editors/vscode');
  process.exit(77);
}

// The innermost scope names the colour a character gets.
const kindOfScope = {
  'source.orvasm': 'plain', 'meta.macro.orvasm': 'plain',
  'comment.block.orvasm': 'comment',
  'invalid.deprecated.malformed-comment.orvasm': 'malformed-comment',
  'keyword.other.instruction.orvasm': 'instruction', 'storage.modifier.mode.orvasm': 'mode',
  'constant.numeric.hex.orvasm': 'hex', 'punctuation.section.group.orvasm': 'bracket',
  'keyword.control.import.orvasm': 'include', 'string.unquoted.path.orvasm': 'include',
  'keyword.control.padding.absolute.orvasm': 'padding',
  'keyword.control.padding.relative.orvasm': 'padding',
  'invalid.illegal.padding.orvasm': 'padding-error',
  'entity.name.function.label.orvasm': 'label', 'entity.name.label.sublabel.orvasm': 'sublabel',
  'variable.other.reference.relative.orvasm': 'reference',
  'variable.other.reference.zero-page.orvasm': 'reference',
  'variable.other.reference.absolute.orvasm': 'reference',
  'variable.other.reference.relative-short.orvasm': 'reference',
  'constant.numeric.literal.orvasm': 'literal', 'invalid.illegal.literal.orvasm': 'literal-error',
  'string.unquoted.raw.orvasm': 'text',
  'entity.name.function.macro.orvasm': 'macro-name',
  'punctuation.section.block.begin.orvasm': 'macro-brace',
  'punctuation.section.block.end.orvasm': 'macro-brace',
  'invalid.illegal.nested-macro.orvasm': 'macro-error',
};

// The grammar the extension contributes for its language, which must be the
// one in editors/textmate that other editors read.
async function loadGrammar() {
  const readJson = (file) => JSON.parse(readFileSync(file, 'utf8'));
  const manifest = readJson(join(extension, 'package.json'));
  const [language] = manifest.contributes.languages;
  const [contribution] = manifest.contributes.grammars;
  assert.deepEqual([language.id, language.extensions], ['orvasm', ['.orv']]);
  assert.equal(contribution.language, language.id);
  assert.deepEqual(readJson(join(extension, language.configuration)).comments, { blockComment: ['(', ')'] });
  const path = join(extension, contribution.path);
  assert.equal(realpathSync(path), realpathSync(join(root, 'editors', 'textmate', 'orvasm.tmLanguage.json')));
  const text = readFileSync(path, 'utf8');
  assert.equal(JSON.parse(text).scopeName, contribution.scopeName);

  await oniguruma.loadWASM(readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm')));
  const registry = new textmate.Registry({
    onigLib: Promise.resolve({
      createOnigScanner: (patterns) => new oniguruma.OnigScanner(patterns),
      createOnigString: (string) => new oniguruma.OnigString(string),
    }),
    loadGrammar: async (scope) =>
      scope === contribution.scopeName ? textmate.parseRawGrammar(text, path) : null,
  });
  return registry.loadGrammar(contribution.scopeName);
}

const grammar = await loadGrammar();

// The tokens of each line, tokenised in order as an editor does.
function tokenise(text) {
  let state = textmate.INITIAL;
  return text.split('\n').map((line) => {
    const result = grammar.tokenizeLine(line, state);
    state = result.ruleStack;
    return { text: line, tokens: result.tokens };
  });
}

function kindAt(line, column) {
  const token = line.tokens.find((t) => t.startIndex <= column && column < t.endIndex);
  const scope = token.scopes.at(-1);
  return kindOfScope[scope] ?? `the unknown scope ${scope}`;
}

// The 0-based column of the nth occurrence of a whole token in a line.
function findToken(text, token, nth) {
  for (const word of text.matchAll(/\S+/g)) if (word[0] === token && --nth === 0) return word.index;
  return -1;
}

const expectations = JSON.parse(readFileSync(join(root, 'tests', 'editors', 'expectations.json')));
for (const [path, entries] of Object.entries(expectations.files)) {
  test(`colours of ${path}`, () => {
    const lines = tokenise(readFileSync(join(root, path), 'utf8'));
    const wrong = [];
    for (const [number, token, kind, where = {}] of entries) {
      const line = lines[number - 1];
      const column = findToken(line.text, token, where.nth ?? 1);
      const got = column < 0 ? 'no such token' : kindAt(line, column + (where.offset ?? 0));
      if (got !== kind) wrong.push(`${path}:${number} "${token}"+${where.offset ?? 0}: ${got}, not ${kind}`);
    }
    assert.deepEqual(wrong, []);
  });
}

// Every mnemonic of the assembler's table is an instruction, bare or with all
// three mode letters; a fourth letter makes a plain word.
test('every mnemonic of the assembler, with mode letters, and no other word', () => {
  const source = readFileSync(join(root, 'src', 'assembler', 'image.cpp'), 'utf8');
  const table = source.match(/mnemonics\[32\]\s*=\s*\{([^}]*)\}/)?.[1] ?? '';
  const names = [...table.matchAll(/"([A-Z]{3})"/g)].map((m) => m[1]);
  const words = ['BRK', ...names.flatMap((name) => [name, `${name}k2r`, `${name}x`])];
  assert.equal(words.length, 1 + 32 * 3);
  const wrong = [];
  for (const line of tokenise(words.join('\n'))) {
    const want = line.text.endsWith('x') ? 'plain' : 'instruction';
    if (kindAt(line, 0) !== want) wrong.push(`${line.text}: ${kindAt(line, 0)}`);
    if (line.text.endsWith('r') && kindAt(line, 3) !== 'mode') wrong.push(`${line.text}+3: ${kindAt(line, 3)}`);
  }
  assert.deepEqual(wrong, []);
});
