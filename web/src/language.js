// Syntax colouring for orvasm sources: a token is a run of non-blank
// characters and its first character, the sigil, decides its kind. Comments
// nest, and only a lone "(" or ")" opens or closes one.
import { HighlightStyle, StreamLanguage } from '@codemirror/language';
import { tags } from '@lezer/highlight';

const MNEMONICS = new Set(
  ('LIT INC POP NIP SWP ROT DUP OVR EQU NEQ GTH LTH JMP JCN JSR STH ' +
    'LDZ STZ LDR STR LDA STA DEI DEO ADD SUB MUL DIV AND ORA EOR SFT').split(' '),
);
const REFERENCE_SIGILS = ',_.-;:=!?';

function isInstruction(word) {
  if (word === 'BRK') return true;
  return MNEMONICS.has(word.slice(0, 3)) && /^[2rk]*$/.test(word.slice(3));
}

// The style name of a token outside a comment, by its sigil.
export function tokenStyle(word) {
  const sigil = word[0];
  if (sigil === '~') return 'link';
  if (sigil === '%') return 'macroName.definition';
  if (sigil === '@' || sigil === '&') return 'labelName.definition';
  if (sigil === '|' || sigil === '$') return 'meta';
  if (sigil === '#') return 'number';
  if (sigil === '"') return 'string';
  if (REFERENCE_SIGILS.includes(sigil)) return 'labelName';
  if (word === '[' || word === ']' || sigil === '{' || sigil === '}') return 'brace';
  if (isInstruction(word)) return 'keyword';
  if (/^([0-9a-f]{2}|[0-9a-f]{4})$/.test(word)) return 'number';
  return 'macroName';
}

const NAME_KINDS = {
  'labelName.definition': 'label',
  labelName: 'reference',
  'macroName.definition': 'macro',
  macroName: 'word',
  keyword: 'word',
};

// What a token names, for completion and hover: {kind: "label",
// "reference", "macro", "word" or "other", start: where its name starts,
// name}. A reference to a sublabel ("," then "&") names it from 2.
export function nameOf(word) {
  const kind = NAME_KINDS[tokenStyle(word)] ?? 'other';
  const start = kind === 'word' ? 0 : kind === 'reference' && word[1] === '&' ? 2 : 1;
  return { kind, start, name: kind === 'other' ? '' : word.slice(start) };
}

export const orvasmLanguage = StreamLanguage.define({
  name: 'orvasm',
  startState: () => ({ depth: 0 }),
  copyState: (state) => ({ depth: state.depth }),
  token(stream, state) {
    if (stream.eatSpace()) return null;
    const word = stream.match(/^\S+/)[0];
    if (state.depth > 0) {
      if (word === '(') state.depth++;
      else if (word === ')') state.depth--;
      return 'comment';
    }
    if (word[0] === '(') {
      state.depth = 1;
      return 'comment';
    }
    return tokenStyle(word);
  },
  languageData: { commentTokens: { block: { open: '(', close: ')' } } },
});

// The colours are the page's (style.css), light or dark with the system.
export const orvasmHighlight = HighlightStyle.define([
  { tag: tags.comment, color: 'var(--syntax-comment)', fontStyle: 'italic' },
  { tag: tags.link, color: 'var(--syntax-macro)' },
  { tag: tags.definition(tags.macroName), color: 'var(--syntax-macro)', fontWeight: 'bold' },
  { tag: tags.macroName, color: 'var(--syntax-macro)' },
  { tag: tags.definition(tags.labelName), color: 'var(--syntax-label)', fontWeight: 'bold' },
  { tag: tags.labelName, color: 'var(--syntax-label)' },
  { tag: tags.meta, color: 'var(--syntax-padding)' },
  { tag: tags.number, color: 'var(--syntax-number)' },
  { tag: tags.string, color: 'var(--syntax-string)' },
  { tag: tags.keyword, color: 'var(--syntax-keyword)', fontWeight: 'bold' },
  { tag: tags.brace, color: 'var(--syntax-comment)' },
]);
