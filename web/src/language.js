// Syntax colouring for orvasm sources: a token is a run of non-blank
// characters, and what it is comes from the assembler itself
// (assembler.js, tokenKind). Comments nest, and only a lone "(" or ")"
// opens or closes one; after a macro's name, tokens that begin with "{" or
// "}" are the braces of its body.
import { HighlightStyle, StreamLanguage } from '@codemirror/language';
import { tags } from '@lezer/highlight';

// The style of each kind of token (TOKEN_KINDS in assembler.js).
const STYLES = {
  word: 'macroName',
  comment: 'comment',
  'malformed-comment': 'comment',
  include: 'link',
  macro: 'macroName.definition',
  'absolute-padding': 'meta',
  'relative-padding': 'meta',
  label: 'labelName.definition',
  sublabel: 'labelName.definition',
  literal: 'number',
  text: 'string',
  bracket: 'brace',
  instruction: 'keyword',
  'raw-byte': 'number',
  'raw-short': 'number',
  'relative-reference': 'labelName',
  'zero-page-reference': 'labelName',
  'absolute-reference': 'labelName',
  'relative-short-reference': 'labelName',
};

// The style name of a token outside a comment, by its kind.
export function tokenStyle(kind) {
  return STYLES[kind] ?? null;
}

// The assembler's whitespace, the C locale's: any other character, a
// no-break space or a 0x00 too, belongs to a token (tests/facts holds this
// to the library's token ends).
const SPACE = /[ \t\n\v\f\r]/;
const TOKEN = /^[^ \t\n\v\f\r]+/;
const TOKENS = /[^ \t\n\v\f\r]+/g;

const startState = () => ({ depth: 0, body: 0 });

// The style of the next token `word`, given what came before in `state`.
function nextStyle(word, state, tokenKind) {
  // A macro's body is read up to a "}", through its comments too.
  if (state.body > 0 && (word[0] === '{' || word[0] === '}')) {
    if (word[0] === '}') state.body = state.depth = 0;
    return 'brace';
  }
  if (state.depth > 0) {
    if (word === '(') state.depth++;
    else if (word === ')') state.depth--;
    return 'comment';
  }
  const kind = tokenKind(word);
  if (kind === 'comment' || kind === 'malformed-comment') state.depth = 1;
  if (kind === 'macro') state.body = 1;
  return tokenStyle(kind);
}

// Each token of `text` with its style, as the editor draws them.
export function textStyles(text, tokenKind) {
  const state = startState();
  return [...text.matchAll(TOKENS)].map(([word]) => [word, nextStyle(word, state, tokenKind)]);
}

// The language, with `tokenKind(text)` naming each token's kind; until the
// assembler has loaded there is none, and every token is plain.
export function orvasmLanguage(tokenKind = () => null) {
  return StreamLanguage.define({
    name: 'orvasm',
    startState,
    copyState: (state) => ({ ...state }),
    token(stream, state) {
      if (stream.eatWhile(SPACE)) return null;
      return nextStyle(stream.match(TOKEN)[0], state, tokenKind);
    },
    languageData: { commentTokens: { block: { open: '(', close: ')' } } },
  });
}

export const orvasmHighlight = HighlightStyle.define([
  { tag: tags.comment, color: '#6a737d', fontStyle: 'italic' },
  { tag: tags.link, color: '#6f42c1' },
  { tag: tags.definition(tags.macroName), color: '#6f42c1', fontWeight: 'bold' },
  { tag: tags.macroName, color: '#6f42c1' },
  { tag: tags.definition(tags.labelName), color: '#005cc5', fontWeight: 'bold' },
  { tag: tags.labelName, color: '#005cc5' },
  { tag: tags.meta, color: '#b08800' },
  { tag: tags.number, color: '#22863a' },
  { tag: tags.string, color: '#032f62' },
  { tag: tags.keyword, color: '#d73a49', fontWeight: 'bold' },
  { tag: tags.brace, color: '#6a737d' },
]);
