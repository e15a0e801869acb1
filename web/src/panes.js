// The result panes. Everything taken from a source or a link (names,
// messages, token text) enters the page as text nodes, never as markup.

const hex2 = (n) => n.toString(16).padStart(2, '0');
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

// Scrolls the pane itself, never the page, until `node` is in sight.
function scrollTo(pane, node) {
  if (!node || pane.hidden) return;
  const outer = pane.getBoundingClientRect();
  const inner = node.getBoundingClientRect();
  if (inner.top < outer.top || inner.bottom > outer.bottom) pane.scrollTop += inner.top - outer.top - outer.height / 3;
}

// The rom, `width` bytes a row (16, or 8 on a narrow screen) with their
// addresses; the bytes in `marks` ([{from, to}], offsets in the rom, in
// order) are highlighted. Rows without a mark are gathered into plain text,
// so a full rom stays a few text nodes.
export function renderHex(pane, rom, start, marks = [], width = 16) {
  pane.replaceChildren();
  if (rom.length === 0) {
    pane.append(element('p', 'empty', 'No rom.'));
    return;
  }
  const pre = element('pre', 'hex');
  const marked = (at) => marks.some((m) => at >= m.from && at < m.to);
  let text = '';
  let next = 0; // the first mark that may still reach this row or a later one
  for (let offset = 0; offset < rom.length; offset += width) {
    const row = hexRow(rom, start, offset, width);
    while (next < marks.length && marks[next].to <= offset) next++;
    if (next === marks.length || marks[next].from >= offset + width) {
      text += `${row.address}  ${row.bytes.join(' ')}  ${row.ascii}\n`;
      continue;
    }
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
  pane.append(pre);
  scrollTo(pane, pane.querySelector('mark'));
}

export function renderSymbols(pane, symbols) {
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
    row.append(element('td', 'address', hex4(symbol.address)));
    row.append(element('td', 'name', symbol.name));
    row.append(element('td', 'uses', String(symbol.uses)));
  }
  pane.append(table);
}

// A listing of a large source has thousands of records; the pane shows the
// first of them.
const MAX_LISTING_SHOWN = 2000;
const LISTING_MARKS = { bytes: '', label: '', padding: '', expansion: '+', include: '~' };

// The listing: per record its address, the bytes it wrote, its place and
// its token (`tokenOf(record)` reads it from the files), indented by depth.
export function renderListing(pane, listing, tokenOf) {
  pane.replaceChildren();
  if (listing.length === 0) {
    pane.append(element('p', 'empty', 'No listing records.'));
    return;
  }
  const table = element('table', 'listing');
  const head = table.createTHead().insertRow();
  for (const title of ['Address', 'Bytes', 'Place', 'Token']) head.append(element('th', '', title));
  const body = table.createTBody();
  for (const record of listing.slice(0, MAX_LISTING_SHOWN)) {
    const row = body.insertRow();
    row.className = record.kind;
    row.append(element('td', 'address', hex4(record.address)));
    row.append(element('td', 'bytes', Array.from(record.bytes, hex2).join(' ')));
    row.append(element('td', 'place', record.file === null ? '' : `${record.file}:${record.line}:${record.column}`));
    const token = `${'  '.repeat(record.depth)}${LISTING_MARKS[record.kind]}${tokenOf(record)}`;
    row.append(element('td', 'token', token));
  }
  pane.append(table);
  const hidden = listing.length - MAX_LISTING_SHOWN;
  if (hidden > 0) pane.append(element('p', 'more', `and ${hidden} more records`));
}

// Which 256-byte pages the program uses: rom pages with data, rom pages of
// zeros only (padding), pages that only labels name (zero-page variables).
export function pageUses(rom, start, symbols) {
  const uses = new Array(256).fill('free');
  for (const symbol of symbols) uses[symbol.address >> 8] = 'labels';
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

export function renderMemoryMap(pane, rom, start, symbols) {
  const uses = pageUses(rom, start, symbols);
  const grid = element('div', 'pages');
  uses.forEach((use, page) => {
    const cell = element('span', `page ${use}`);
    cell.title = `${hex4(page << 8)}-${hex4((page << 8) | 0xff)}: ${PAGE_TITLES[use]}`;
    grid.append(cell);
  });
  const used = uses.filter((use) => use !== 'free').length;
  const caption = element('p', 'caption', `${used} of 256 pages of 256 bytes: `);
  for (const use of ['data', 'zeros', 'labels']) {
    caption.append(element('span', `page key ${use}`), ` ${PAGE_TITLES[use]} `);
  }
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

// The problems list: one entry per diagnostic, followed by its notes;
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
