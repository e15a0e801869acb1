// Syntax colouring for orvasm sources: a token is a run of non-blank
// characters, and what it is comes from the assembler itself (orvasm.h's
// orvasm_token_kind, through the module), so that the page colours a token
// as the assembly reads it. Until the module has loaded, tokens are shown
// plain. Comments nest, and only a lone "(" or ")" opens or closes one.
import { HighlightStyle, StreamLanguage } from '@codemirror/language';
import { tags } from '@lezer/highlight';

// The module's answers: kind(word), as orvasm_token_kind, and
// nameStart(word), as orvasm_token_name_start.
let kinds = { kind: () => -1, nameStart: () => 0 };

export function useTokenKinds(answers) {
  kinds = answers;
}

// The style of each token kind, in the order of enum orvasm_token_kind.
const STYLES = [
  'macroName', // a word: a macro use or a label call
  'comment',
  'comment', // a comment whose "(" has text after it
  'link', // an include
  'macroName.definition',
  'meta', // absolute padding
  'meta', // relative padding
  'labelName.definition',
  'labelName.definition', // a sublabel
  'number', // a literal
  'string',
  'brace', // "[" or "]"
  'keyword', // an instruction
  'number', // a raw byte
  'number', // a raw short
  'labelName', // the references, by their kind
  'labelName',
  'labelName',
  'labelName',
];
const COMMENT = 1;
const MALFORMED_COMMENT = 2;

// The style name of a token outside a comment, null while the kinds are
// not known. A macro definition's braces are words to the kinds: their
// place makes them braces.
export function tokenStyle(word) {
  if (word === '{' || word === '}') return 'brace';
  return STYLES[kinds.kind(word)] ?? null;
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
// name}.
export function nameOf(word) {
  const kind = NAME_KINDS[tokenStyle(word)] ?? 'other';
  const start = kind === 'other' ? 0 : kinds.nameStart(word);
  return { kind, start, name: kind === 'other' ? '' : word.slice(start) };
}

// A language per call: a new one makes the editor colour its text again,
// as once the module has loaded.
export const makeOrvasmLanguage = () =>
  StreamLanguage.define({
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
      const kind = kinds.kind(word);
      if (kind === COMMENT || kind === MALFORMED_COMMENT) {
        state.depth = 1;
        return 'comment';
      }
      return tokenStyle(word);
    },
    languageData: { commentTokens: { block: { open: '(', close: ')' } } },
  });

export const orvasmLanguage = makeOrvasmLanguage();

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
