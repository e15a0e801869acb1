// The result panes. Everything taken from a source or a link (names,
// messages, token text) enters the page as text nodes, never as markup.

const HEX = Array.from({ length: 256 }, (_, n) => n.toString(16).padStart(2, '0'));
const hex2 = (n) => HEX[n];
const hex4 = (n) => n.toString(16).padStart(4, '0');

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function hexRow(rom, start, offset, width) {
  const bytes = [];
  let ascii = '';
  for (let i = 0; i < width; i++) {
    const at = offset + i;
    if (at < rom.length) {
      bytes.push(hex2(rom[at]));
      ascii += rom[at] >= 0x20 && rom[at] < 0x7f ? String.fromCharCode(rom[at]) : '.';
    } else bytes.push('  ');
    if (i === width / 2 - 1) bytes.push('');
  }
  return { address: hex4(start + offset), bytes, ascii };
}

// A row without marks as text, as hexRow would give it, made faster: a
// rom of 64 KB has 4,096 rows.
function plainRow(rom, start, offset, width) {
  const address = start + offset;
  let text = HEX[address >> 8] + HEX[address & 0xff] + ' ';
  let ascii = '';
  for (let i = 0; i < width; i++) {
    if (i === width / 2) text += ' ';
    const b = rom[offset + i];
    if (b === undefined) text += '   ';
    else {
      text += ' ' + HEX[b];
      ascii += b >= 0x20 && b < 0x7f ? String.fromCharCode(b) : '.';
    }
  }
  return `${text}  ${ascii}\n`;
}

// The columns of a row of the hex dump: "AAAA  " then per byte 3
// characters (one more after the first half), then 2 blanks and the text.
const ADDRESS_WIDTH = 6;

// The offset in its row of the byte at character `column` of a row, or -1.
export function byteOfColumn(column, width) {
  const half = width / 2;
  const text = ADDRESS_WIDTH + 3 * width + 2;
  if (column >= text) return column - text < width ? column - text : -1;
  if (column < ADDRESS_WIDTH) return -1;
  const k = column < ADDRESS_WIDTH + 3 * half ? (column - ADDRESS_WIDTH) / 3 : (column - ADDRESS_WIDTH - 1) / 3;
  return Math.min(width - 1, Math.floor(k));
}

// The height of a row of the dump in pixels (style.css gives it), and the
// rows drawn beyond those in sight.
export const HEX_ROW = 18;
const HEX_MARGIN = 40;

// The rom, `width` bytes a row (16, or 8 on a narrow screen) under a
// header of the bytes' offsets, with their addresses; the bytes in `marks`
// ([{from, to}], offsets in the rom, in order) are highlighted. Only the
// rows in sight are drawn, again as the pane scrolls: a rom of 64 KB has
// 4,096 rows. `onPick(offset)` is told of a click on a byte.
export function renderHex(pane, rom, start, marks = [], width = 16, onPick = () => {}) {
  pane.onscroll = null;
  pane.replaceChildren();
  if (rom.length === 0) {
    pane.append(element('p', 'empty', 'No rom.'));
    return;
  }
  const header = hexRow(new Uint8Array(width).map((_, i) => i), 0, 0, width);
  pane.append(element('pre', 'hex hex-header', `${' '.repeat(ADDRESS_WIDTH)}${header.bytes.join(' ')}`));
  const rows = Math.ceil(rom.length / width);
  const body = element('div', 'hex-body');
  body.style.height = `${rows * HEX_ROW}px`;
  const pre = element('pre', 'hex');
  body.append(pre);
  pane.append(body);
  let drawn = -1;
  const draw = () => {
    const first = Math.max(0, Math.floor(pane.scrollTop / HEX_ROW) - HEX_MARGIN);
    if (first === drawn) return;
    drawn = first;
    const last = Math.min(rows, first + Math.ceil((pane.clientHeight || 600) / HEX_ROW) + 2 * HEX_MARGIN);
    pre.style.top = `${first * HEX_ROW}px`;
    pre.dataset.first = String(first);
    hexRows(pre, rom, start, marks, width, first, last);
  };
  // In sight: the first mark, when it is not.
  if (marks.length > 0) {
    const top = Math.floor(marks[0].from / width) * HEX_ROW;
    if (top < pane.scrollTop || top + HEX_ROW > pane.scrollTop + pane.clientHeight)
      pane.scrollTop = Math.max(0, top - pane.clientHeight / 3);
  }
  draw();
  pane.onscroll = draw;
  pre.addEventListener('click', (event) => {
    const offset = clickedByte(pre, event, width);
    if (offset >= 0 && offset < rom.length) onPick(offset + Number(pre.dataset.first) * width);
  });
}

// Rows `first` to `last` of the dump into `pre`. Rows without a mark are
// gathered into plain text.
function hexRows(pre, rom, start, marks, width, first, last) {
  pre.replaceChildren();
  const marked = (at) => marks.some((m) => at >= m.from && at < m.to);
  let text = '';
  let next = 0; // the first mark that may still reach this row or a later one
  for (let offset = first * width; offset < last * width && offset < rom.length; offset += width) {
    while (next < marks.length && marks[next].to <= offset) next++;
    if (next === marks.length || marks[next].from >= offset + width) {
      text += plainRow(rom, start, offset, width);
      continue;
    }
    const row = hexRow(rom, start, offset, width);
    pre.append(text + `${row.address}  `);
    text = '';
    row.bytes.forEach((b, i) => {
      const index = i > width / 2 ? i - 1 : i; // the blank between the two halves
      const separator = i + 1 < row.bytes.length ? ' ' : '';
      if (b !== '' && marked(offset + index)) pre.append(element('mark', '', b), separator);
      else pre.append(b + separator);
    });
    pre.append(`  ${row.ascii}\n`);
  }
  pre.append(text);
}

// The offset from the first row drawn of the byte a click on the dump
// landed on, or -1: the caret's place in the text gives the row and column.
function clickedByte(pre, event, width) {
  const caret = document.caretRangeFromPoint?.(event.clientX, event.clientY);
  if (!caret || !pre.contains(caret.startContainer)) return -1;
  const before = document.createRange();
  before.setStart(pre, 0);
  before.setEnd(caret.startContainer, caret.startOffset);
  const text = before.toString();
  const row = text.split('\n').length - 1;
  const column = text.length - text.lastIndexOf('\n') - 1;
  const byte = byteOfColumn(column, width);
  return row < 0 || byte < 0 ? -1 : row * width + byte;
}

// The labels; `onPick(symbol)` is told of a click on one.
export function renderSymbols(pane, symbols, onPick = () => {}) {
  pane.replaceChildren();
  if (symbols.length === 0) {
    pane.append(element('p', 'empty', 'No labels.'));
    return;
  }
  const table = element('table', 'symbols');
  const head = table.createTHead().insertRow();
  for (const title of ['Address', 'Label', 'Uses']) head.append(element('th', '', title));
  const body = table.createTBody();
  for (const symbol of symbols) {
    const row = body.insertRow();
    row.className = 'pick';
    row.addEventListener('click', () => onPick(symbol));
    row.append(element('td', 'address', hex4(symbol.address)));
    row.append(element('td', 'name', symbol.name));
    row.append(element('td', 'uses', String(symbol.uses)));
  }
  pane.append(table);
}

// The height in pixels of a row of text of the listing (style.css gives
// it), and the rows drawn beyond those in sight.
export const LISTING_ROW = 18;
const LISTING_MARGIN = 40;

// The listing as the program's --listing writes it: an element per line
// of `lines` (ListingLines), whose text is made only for the lines in
// sight, again as the pane scrolls. The lines in `marked` (indices, in
// order) are highlighted, the first brought into sight. `onPick(i)` is
// told of a click on line i.
export function renderListing(pane, lines, marked = [], onPick = () => {}) {
  pane.onscroll = null;
  pane.replaceChildren();
  if (lines.length === 0) {
    pane.append(element('p', 'empty', 'No listing.'));
    return;
  }
  const starts = lines.firstRows();
  const body = element('div', 'listing-body');
  body.style.height = `${starts[lines.length] * LISTING_ROW}px`;
  const shown = element('div', 'listing');
  body.append(shown);
  pane.append(body);
  const on = new Set(marked);
  if (marked.length > 0) {
    const top = starts[marked[0]] * LISTING_ROW;
    if (top < pane.scrollTop || top + LISTING_ROW > pane.scrollTop + pane.clientHeight)
      pane.scrollTop = Math.max(0, top - pane.clientHeight / 3);
  }
  // The lines drawn: from `drawn.first`, down to row `drawn.end`.
  const drawn = { first: -1, end: -1 };
  const draw = () => {
    const top = Math.floor(pane.scrollTop / LISTING_ROW);
    const first = lines.lineOfRow(Math.max(0, top - LISTING_MARGIN));
    const sight = top + Math.ceil((pane.clientHeight || 600) / LISTING_ROW);
    if (first === drawn.first && (sight <= drawn.end || drawn.end === starts[lines.length])) return;
    shown.style.top = `${starts[first] * LISTING_ROW}px`;
    shown.replaceChildren();
    let i = first;
    for (; i < lines.length && starts[i] < sight + LISTING_MARGIN; i++) {
      const row = element('div', on.has(i) ? 'line current' : 'line', lines.text(i));
      row.dataset.line = String(i);
      shown.append(row);
    }
    Object.assign(drawn, { first, end: starts[i] });
  };
  draw();
  pane.onscroll = draw;
  shown.addEventListener('click', (event) => {
    const row = event.target.closest('[data-line]');
    if (row) onPick(Number(row.dataset.line));
  });
}

// Which 256-byte pages the program uses: rom pages with data, rom pages of
// zeros only (padding), pages that only labels name (zero-page variables).
export function pageUses(rom, start, labelAddresses) {
  const uses = new Array(256).fill('free');
  for (const address of labelAddresses) uses[address >> 8] = 'labels';
  for (let offset = 0; offset < rom.length; offset += 256 - ((start + offset) & 0xff)) {
    const page = (start + offset) >> 8;
    const end = Math.min(rom.length, (page + 1) * 256 - start);
    uses[page] = rom.subarray(offset, end).some((b) => b !== 0) ? 'data' : 'zeros';
  }
  return uses;
}

const PAGE_TITLES = {
  free: 'unused',
  data: 'rom',
  zeros: 'rom, zeros only',
  labels: 'labels only',
};
const PAGE_LEGEND = {
  data: 'rom with data',
  zeros: 'rom of zeros only',
  labels: 'named by labels, outside the rom',
  free: 'unused',
};
const PAGES_A_ROW = 32;

// The 256 pages of 256 bytes of the address space, 32 a row, with the
// address each row starts at and the page's offset in its row above; a
// legend says what each colour is. `onPick(page)` is told of a click.
export function renderMemoryMap(pane, rom, start, labelAddresses, onPick = () => {}) {
  const uses = pageUses(rom, start, labelAddresses);
  const grid = element('div', 'pages');
  grid.append(element('span', 'axis'));
  for (let column = 0; column < PAGES_A_ROW; column++)
    grid.append(element('span', 'axis column', column % 8 === 0 ? `+${hex2(column)}00` : ''));
  uses.forEach((use, page) => {
    if (page % PAGES_A_ROW === 0) grid.append(element('span', 'axis row', hex4(page << 8)));
    const cell = element('span', `page ${use}`);
    cell.title = `${hex4(page << 8)}-${hex4((page << 8) | 0xff)}: ${PAGE_TITLES[use]}`;
    cell.dataset.page = String(page);
    if (use !== 'free') cell.addEventListener('click', () => onPick(page));
    grid.append(cell);
  });
  const used = uses.filter((use) => use !== 'free').length;
  const caption = element('p', 'caption', `${used} of 256 pages of 256 bytes used:`);
  for (const use of ['data', 'zeros', 'labels', 'free'])
    caption.append(element('span', `page key ${use}`), ` ${PAGE_LEGEND[use]}`);
  pane.replaceChildren(grid, caption);
}

// A macro that warns at each of its uses can print thousands of lines; the
// output pane shows them all.
const MAX_PROBLEMS_SHOWN = 500;

// A line without its place, as a message on the page: "MESSAGE: DETAIL",
// or "note: MESSAGE DETAIL".
export function describe(d) {
  if (d.severity === 'note') return `note: ${d.message}${d.detail ? ` ${d.detail}` : ''}`;
  return `${d.message}: ${d.detail}`;
}

function problem(d, onPick) {
  const item = element('li', d.severity);
  item.append(element('span', 'severity', d.severity));
  if (d.file !== null && d.line !== null) {
    const place = element('button', 'place', `${d.file}:${d.line}:${d.column}`);
    place.addEventListener('click', () => onPick(d));
    item.append(place);
  }
  item.append(element('span', 'text', describe(d)));
  return item;
}

// The problems list: one entry per problem, followed by its notes;
// `onPick` moves the editor to an entry whose position is known.
export function renderProblems(pane, diagnostics, onPick) {
  pane.replaceChildren();
  if (diagnostics.length === 0) {
    pane.append(element('p', 'empty', 'No problems.'));
    return;
  }
  const list = element('ul', 'problems');
  for (const d of diagnostics.slice(0, MAX_PROBLEMS_SHOWN)) {
    list.append(problem(d, onPick));
    for (const note of d.chain) list.append(problem(note, onPick));
  }
  const hidden = diagnostics.length - MAX_PROBLEMS_SHOWN;
  if (hidden > 0) list.append(element('li', 'more', `and ${hidden} more, in the output`));
  pane.append(list);
}

export function renderOutput(pane, result) {
  const dropped = result.truncated ? `\n(and ${result.truncated} more lines, not kept)` : '';
  const text = result.lines.join('\n') + dropped;
  pane.replaceChildren(element('pre', 'output', text));
}
