// The result panes and the source, linked both ways: the bytes the cursor's
// token, line or selection wrote are marked in the hex dump (as the library
// answers for the result the panes show), the listing marks the cursor's
// line; a click on a byte, a listing line, a label or a page puts the
// cursor on the source that wrote it, opening its tab.
import { byteColumn, rangeOf } from './positions.js';
import { tokenAround } from './editor.js';
import { renderHex, renderListing, renderMemoryMap, renderSymbols, pageUses } from './panes.js';
import { $, page } from './page.js';
import { switchTo } from './files.js';

const LINE_END = 0xffffffff; // a column past any line's end

// Spans in order of their start, those that touch or overlap made one: the
// library gives them in the order written, which padding can send back.
function ordered(spans) {
  spans.sort((a, b) => a.from - b.from);
  const out = [];
  for (const span of spans) {
    const previous = out.at(-1);
    if (previous && span.from <= previous.to) previous.to = Math.max(previous.to, span.to);
    else out.push({ ...span });
  }
  return out;
}

// The bytes the cursor asks for, as rom offsets: a selection's tokens, or
// the token under the cursor, or in whitespace or on a token that wrote
// nothing (a label, a comment) the whole line's.
function marksUnderCursor() {
  const { good, view, workspace } = page;
  if (!good) return [];
  const file = workspace.active;
  const { doc, selection } = view.state;
  const { from, to, head } = selection.main;
  const place = (pos) => {
    const line = doc.lineAt(pos);
    return { line: line.number, column: byteColumn(line.text, pos - line.from) };
  };
  if (from !== to) {
    const [first, last] = [place(from), place(to)];
    return ordered(good.bytesAt(file, first.line, first.column, last.line, last.column - 1));
  }
  const token = tokenAround(doc, head);
  if (token) {
    const at = place(token.from);
    const spans = good.bytesAt(file, at.line, at.column, at.line, at.column);
    if (spans.length > 0) return ordered(spans);
  }
  const line = doc.lineAt(head).number;
  return ordered(good.bytesAt(file, line, 1, line, LINE_END));
}

const narrow = window.matchMedia('(max-width: 640px)');
narrow.addEventListener('change', () => showHex());

// What each pane shows, so that a cursor move or an edit that changes
// nothing there leaves it be.
let shown = {};

export function forgetShown() {
  shown = {};
}

function sameBytes(a, b) {
  if (a.length !== b.length) return false;
  for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
  return true;
}

function showHex() {
  const { good } = page;
  if (!good || $('hex').hidden) return;
  const marks = marksUnderCursor();
  const width = narrow.matches ? 8 : 16;
  const key = { rom: good.rom, marks: JSON.stringify(marks), width };
  const before = shown.hex;
  if (before && key.marks === before.marks && width === before.width && sameBytes(key.rom, before.rom)) return;
  shown.hex = key;
  renderHex($('hex'), good.rom, good.start, marks, width, (offset) => pickRecord(good.listing.writerOf(offset)));
}

// The listing, when its pane is shown: the lines placed on the cursor's
// line are marked.
function showListing() {
  const { good, view, workspace } = page;
  if (!good || $('listing').hidden) return;
  const lines = good.listingLines;
  const line = view.state.doc.lineAt(view.state.selection.main.head).number;
  const marked = lines.find(workspace.active, line);
  const key = JSON.stringify(marked);
  if (shown.listing?.good === good && shown.listing.key === key) return;
  shown.listing = { good, key };
  renderListing($('listing'), lines, marked, (i) => goTo(lines.place(i)));
}

function showSymbols() {
  const { good } = page;
  if (!good || $('symbols').hidden || shown.symbols === good) return;
  shown.symbols = good;
  renderSymbols($('symbols'), good.symbols, goTo);
}

// The picture, drawn again only when a page changed its use.
export function showMemoryMap() {
  const { good } = page;
  const key = pageUses(good.rom, good.start, good.labelAddresses).join();
  if (key === shown.pages) return;
  shown.pages = key;
  renderMemoryMap($('memory'), good.rom, good.start, good.labelAddresses, pickPage);
}

// No good assembly yet: the panes are empty.
export function clearPanes() {
  renderHex($('hex'), new Uint8Array(0), 0);
  renderSymbols($('symbols'), []);
  renderListing($('listing'), { length: 0 });
  renderMemoryMap($('memory'), new Uint8Array(0), 0x100, []);
  shown = {};
}

export function followCursor() {
  showHex();
  showListing();
  showSymbols();
}

// Puts the cursor on `place` ({file, line, column} in bytes), opening its
// tab; a place in no file of the workspace does nothing.
export function goTo(place) {
  const { workspace } = page;
  if (!place || place.file === null || !workspace.states.has(place.file)) return false;
  if (place.file !== workspace.active) switchTo(place.file);
  const range = rangeOf(page.view.state.doc, place);
  if (range) page.view.dispatch({ selection: { anchor: range.from }, scrollIntoView: true });
  page.view.focus();
  return true;
}

function pickRecord(i) {
  if (i < 0 || !page.good) return;
  const l = page.good.listing;
  goTo({ file: l.file(i), line: l.line(i), column: l.column(i) });
}

// A page of the address picture: the first record that wrote there, or
// the first label that names it.
function pickPage(number) {
  const { good } = page;
  const from = (number << 8) - good.start;
  for (let offset = Math.max(0, from); offset < from + 256 && offset < good.rom.length; offset++) {
    const i = good.listing.writerOf(offset);
    if (i >= 0) return pickRecord(i);
  }
  goTo(good.symbols.find((s) => s.address >> 8 === number));
}
