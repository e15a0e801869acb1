// The editor's extensions: colouring, search, the problems' keys (F8 and
// Shift+F8 across the workspace's files), completion and hover. What they
// know about the program comes from the page through `facts`:
//
//   facts.result()        the result shown (symbols, macros, listing) or null
//   facts.file()          the name of the file in the editor
//   facts.instructions()  the mnemonics with their opcodes, from the module
//   facts.opcode(word)    the opcode of an instruction, or -1
//   facts.nextProblem(step)  moves to the next (+1) or previous (-1) problem
import { autocompletion } from '@codemirror/autocomplete';
import { defaultKeymap, history, historyKeymap, indentWithTab } from '@codemirror/commands';
import { syntaxHighlighting } from '@codemirror/language';
import { lintGutter } from '@codemirror/lint';
import { highlightSelectionMatches, search, searchKeymap } from '@codemirror/search';
import {
  EditorView,
  drawSelection,
  highlightActiveLine,
  highlightActiveLineGutter,
  highlightSpecialChars,
  hoverTooltip,
  keymap,
  lineNumbers,
} from '@codemirror/view';
import { makeOrvasmLanguage, nameOf, orvasmHighlight } from './language.js';
import { Compartment } from '@codemirror/state';
import { byteColumn } from './positions.js';

const hex2 = (n) => n.toString(16).padStart(2, '0');
const hex4 = (n) => n.toString(16).padStart(4, '0');

// The token around `pos`: {from, to, text}, or null in whitespace.
export function tokenAround(doc, pos) {
  const line = doc.lineAt(pos);
  let from = pos - line.from;
  let to = from;
  while (from > 0 && !/\s/.test(line.text[from - 1])) from--;
  while (to < line.text.length && !/\s/.test(line.text[to])) to++;
  if (from === to) return null;
  return { from: line.from + from, to: line.from + to, text: line.text.slice(from, to), line };
}

// What completes the token being typed: labels after a label's or a
// reference's sigil, macros and instructions for a word; `skip` is where
// the name starts in the token.
export function completionsFor(text, facts) {
  const name = nameOf(text);
  const result = facts.result();
  if (name.kind === 'reference' || name.kind === 'label') {
    const labels = result?.symbols ?? [];
    return {
      skip: name.start,
      options: labels.map((s) => ({ label: s.name, type: 'variable', detail: hex4(s.address) })),
    };
  }
  if (name.kind !== 'word') return null;
  const macros = (result?.macros ?? []).map((m) => ({ label: m.name, type: 'function', detail: 'macro' }));
  const instructions = facts.instructions().map(({ name: label, opcode }) => ({
    label,
    type: 'keyword',
    detail: hex2(opcode),
  }));
  return { skip: 0, options: [...macros, ...instructions] };
}

function completion(facts) {
  return autocompletion({
    override: [
      (context) => {
        const token = tokenAround(context.state.doc, context.pos);
        if (!token || token.to !== context.pos) return null;
        const found = completionsFor(token.text, facts);
        if (!found || found.skip > token.text.length) return null;
        // Words complete on Ctrl+Space only: Enter after an instruction
        // typed in full should start a line, not take an offer.
        if (found.skip === 0 && !context.explicit) return null;
        return { from: token.from + found.skip, options: found.options, validFor: /^\S*$/ };
      },
    ],
  });
}

// The lines a hover shows for a token: what it names (a label's address
// and uses, a macro's body, an instruction's opcode) and the bytes it wrote.
export function hoverLines(token, bytes, facts) {
  const result = facts.result();
  const lines = [];
  const name = nameOf(token.text);
  const label = name.name && result?.symbols.find((s) => s.name === name.name || s.name.endsWith(`/${name.name}`));
  if ((name.kind === 'reference' || name.kind === 'label') && label)
    lines.push(`${label.name}: ${hex4(label.address)}, used ${label.uses} ${label.uses === 1 ? 'time' : 'times'}`);
  const macro = (name.kind === 'word' || name.kind === 'macro') && result?.macros.find((m) => m.name === name.name);
  if (macro) lines.push(`%${macro.name} { ${macro.body.join(' ')} }`);
  const opcode = name.kind === 'word' ? facts.opcode(token.text) : -1;
  if (opcode >= 0) lines.push(`instruction ${token.text}: opcode ${hex2(opcode)}`);
  if (bytes.length > 0) {
    const shown = bytes.slice(0, 16).map(hex2).join(' ');
    lines.push(`writes ${shown}${bytes.length > 16 ? ` … (${bytes.length} bytes)` : ''}`);
  }
  return lines;
}

function hover(facts) {
  return hoverTooltip((view, pos) => {
    const token = tokenAround(view.state.doc, pos);
    const result = facts.result();
    if (!token || !result) return null;
    // The bytes the library finds for the token, which starts there.
    const column = byteColumn(token.line.text, token.from - token.line.from);
    const line = token.line.number;
    const ranges = result.bytesAt(facts.file(), line, column, line, column);
    const bytes = ranges.flatMap((r) => Array.from(result.rom.subarray(r.from, r.to)));
    const lines = hoverLines(token, bytes, facts);
    if (lines.length === 0) return null;
    return {
      pos: token.from,
      end: token.to,
      above: true,
      create() {
        const dom = document.createElement('div');
        dom.className = 'orvasm-hover';
        for (const line of lines) dom.append(Object.assign(document.createElement('div'), { textContent: line }));
        return { dom };
      },
    };
  });
}

const languageSlot = new Compartment();

// The change that colours a file again, once the module tells the kinds.
export const recolour = () => languageSlot.reconfigure(makeOrvasmLanguage());

export function editorExtensions(facts, onUpdate) {
  return [
    lineNumbers(),
    highlightActiveLineGutter(),
    highlightSpecialChars(),
    history(),
    drawSelection(),
    highlightActiveLine(),
    highlightSelectionMatches(),
    languageSlot.of(makeOrvasmLanguage()),
    syntaxHighlighting(orvasmHighlight),
    lintGutter(),
    search({ top: true }),
    completion(facts),
    hover(facts),
    keymap.of([
      { key: 'F8', run: () => facts.nextProblem(1) },
      { key: 'Shift-F8', run: () => facts.nextProblem(-1) },
      ...searchKeymap,
      ...defaultKeymap,
      ...historyKeymap,
      indentWithTab,
    ]),
    EditorView.updateListener.of(onUpdate),
  ];
}
