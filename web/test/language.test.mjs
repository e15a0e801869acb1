// Syntax colouring: each token's style, through CodeMirror's own parser and
// highlighter and the kinds orvasm.wasm gives, so that nested comments and
// sigils are seen as the page shows them.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorState } from '@codemirror/state';
import { ensureSyntaxTree } from '@codemirror/language';
import { highlightTree, tagHighlighter, tags } from '@lezer/highlight';
import { readFileSync } from 'node:fs';
import { loadAssembler } from '../src/assembler.js';
import { nameOf, orvasmHighlight, orvasmLanguage, useTokenKinds } from '../src/language.js';
import { WASM } from './cases.mjs';

const assembler = await loadAssembler(readFileSync(WASM));
const language = orvasmLanguage(assembler.tokenKind);
useTokenKinds(assembler);

// A name per tag the page colours; the highlighter with the page's own
// style must give each of them a class too.
const names = tagHighlighter([
  { tag: tags.comment, class: 'comment' },
  { tag: tags.link, class: 'include' },
  { tag: tags.definition(tags.macroName), class: 'macro-definition' },
  { tag: tags.macroName, class: 'word' },
  { tag: tags.definition(tags.labelName), class: 'label' },
  { tag: tags.labelName, class: 'reference' },
  { tag: tags.meta, class: 'padding' },
  { tag: tags.number, class: 'number' },
  { tag: tags.string, class: 'text' },
  { tag: tags.keyword, class: 'instruction' },
  { tag: tags.brace, class: 'brace' },
]);

// The text and class of every styled run of `doc`, blanks left out.
function runsOf(doc, extensions) {
  const state = EditorState.create({ doc, extensions });
  const tree = ensureSyntaxTree(state, doc.length, 5000);
  const runs = [];
  highlightTree(tree, names, (from, to, name) => runs.push([doc.slice(from, to), name]));
  return { tree, runs };
}

// The runs with the assembler's kinds; each must have a colour of the page.
function styles(doc) {
  const { tree, runs } = runsOf(doc, language);
  const coloured = [];
  highlightTree(tree, orvasmHighlight, (from, to) => coloured.push(doc.slice(from, to)));
  assert.deepEqual(coloured, runs.map(([text]) => text), 'a token without a colour');
  return runs;
}

test('each sigil has its colour', () => {
  assert.deepEqual(styles('~lib.orv %m { @a &b |0100 $2 #12 "hi ;a ,&b ADD2k BRK 12 1234 m ff00ff [ ]'), [
    ['~lib.orv', 'include'],
    ['%m', 'macro-definition'],
    ['{', 'brace'],
    ['@a', 'label'],
    ['&b', 'label'],
    ['|0100', 'padding'],
    ['$2', 'padding'],
    ['#12', 'number'],
    ['"hi', 'text'],
    [';a', 'reference'],
    [',&b', 'reference'],
    ['ADD2k', 'instruction'],
    ['BRK', 'instruction'],
    ['12', 'number'],
    ['1234', 'number'],
    ['m', 'word'],
    ['ff00ff', 'word'], // six digits: a name
    ['[', 'brace'],
    [']', 'brace'],
  ]);
});

test('comments nest, across lines, and only a lone parenthesis counts', () => {
  const runs = styles('( a ( b )c ) d\n) BRK (note ) ADD\nADDx');
  assert.deepEqual(
    runs.filter(([, name]) => name !== 'comment'),
    [
      ['BRK', 'instruction'],
      ['ADD', 'instruction'],
      ['ADDx', 'word'], // a mode letter that is none
    ],
  );
});

test('what a token names, for completion and hover', () => {
  assert.deepEqual(nameOf(';main'), { kind: 'reference', start: 1, name: 'main' });
  assert.deepEqual(nameOf(',&loop'), { kind: 'reference', start: 2, name: 'loop' });
  assert.deepEqual(nameOf('@main'), { kind: 'label', start: 1, name: 'main' });
  assert.deepEqual(nameOf('%twice'), { kind: 'macro', start: 1, name: 'twice' });
  assert.deepEqual(nameOf('tw'), { kind: 'word', start: 0, name: 'tw' });
  assert.deepEqual(nameOf('DEO2'), { kind: 'word', start: 4, name: '' }); // an instruction names nothing
  assert.equal(nameOf('#12').kind, 'other');
});

test("a macro's body ends at its brace, inside a comment too; a brace elsewhere is a word", () => {
  assert.deepEqual(styles('%m { ( } { ADD'), [
    ['%m', 'macro-definition'],
    ['{', 'brace'],
    ['(', 'comment'],
    ['}', 'brace'],
    ['{', 'word'],
    ['ADD', 'instruction'],
  ]);
});

test('before the assembler is loaded, tokens are plain', () => {
  assert.deepEqual(runsOf('@a ;b', orvasmLanguage()).runs, []);
});
