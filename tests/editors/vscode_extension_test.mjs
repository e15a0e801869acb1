// The VS Code extension of editors/vscode, as far as it can be checked
// without VS Code: that its manifest, grammar, language configuration and
// entry point agree with each other and with the packages `npm ci` installs.
// Exits with 77 (skipped) without those packages.
import { createRequire } from 'node:module';
import { existsSync, readFileSync, realpathSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import vm from 'node:vm';
import test from 'node:test';
import assert from 'node:assert/strict';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const extension = join(root, 'editors', 'vscode');
const require = createRequire(join(extension, 'package.json'));
if (!existsSync(join(extension, 'node_modules'))) {
  console.log('skipped: the npm packages are missing; run `npm ci` in editors/vscode');
  process.exit(77);
}
const readJson = (path) => JSON.parse(readFileSync(path, 'utf8'));
const manifest = readJson(join(extension, 'package.json'));

test('the language and its grammar are contributed under one id and scope', () => {
  const [language] = manifest.contributes.languages;
  assert.equal(language.id, 'orvasm');
  assert.deepEqual(language.extensions, ['.orv']);
  assert.ok(manifest.activationEvents.includes(`onLanguage:${language.id}`));

  const [grammar] = manifest.contributes.grammars;
  assert.equal(grammar.language, language.id);
  // The extension's copy is a link to the one grammar shared with other editors.
  const path = join(extension, grammar.path);
  assert.equal(realpathSync(path), realpathSync(join(root, 'editors', 'textmate', 'orvasm.tmLanguage.json')));
  assert.equal(readJson(path).scopeName, grammar.scopeName);
});

test('comments toggle with lone parentheses, and words leave out the sigil', () => {
  const [language] = manifest.contributes.languages;
  const configuration = readJson(join(extension, language.configuration));
  assert.deepEqual(configuration.comments, { blockComment: ['(', ')'] });
  const word = new RegExp(configuration.wordPattern, 'g');
  const words = (text) => text.match(word);
  assert.deepEqual(words(',&loop JMP2r'), ['loop', 'JMP2r']);
  assert.deepEqual(words(';list/end @write-text #12'), ['list/end', 'write-text', '12']);
  assert.deepEqual(words('( note ) [ { }'), ['note']);
});

test('the entry point parses and its language client is installed for this VS Code', () => {
  const main = join(extension, manifest.main);
  assert.doesNotThrow(() => new vm.Script(readFileSync(main, 'utf8'), { filename: main }));
  assert.ok(require.resolve('vscode-languageclient/node'));
  // The client refuses to run in an older VS Code than it was made for.
  const semver = require('semver');
  const client = require('vscode-languageclient/package.json');
  assert.ok(semver.subset(manifest.engines.vscode, client.engines.vscode),
            `engines.vscode ${manifest.engines.vscode} within ${client.engines.vscode}`);
});
