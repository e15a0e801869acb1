// The listing's lines, as the library forms them for the program's
// --listing (orvasm_listing_line: thirteen 32-bit words each on wasm32),
// and their text as --listing writes it. Everything is read where it lies
// in the module's memory, while the result lives: the lines' words as
// asked, a line's text, bytes and path only for the lines a pane shows.

export const LINE_WORDS = 13; // orvasm_listing_line, 52 bytes
const FILE = 0;
const LINE = 1;
const COLUMN = 2;
const ADDRESS = 3;
const SIZE = 4;
const BYTES = 5;
const EXPANSIONS = 7;
const TEXT = 8;
const TEXT_LENGTH = 9;
const CUT = 10;
const RESUMES = 11;
const OPENS = 12;

// The columns of a line of the listing: "ADDR", then " BB" for up to 8
// bytes, the place two blanks after the widest row of bytes, the marks of
// the macro expansions in 2 columns or more after it, then the text.
const BYTES_PER_ROW = 8;
const LOCATION_COLUMN = 4 + 1 + 3 * BYTES_PER_ROW + 2;
const MARKS_WIDTH = 2;
const CUT_MARK = '...';

const HEX = Array.from({ length: 256 }, (_, n) => n.toString(16).padStart(2, '0'));
const decoder = new TextDecoder();
const NOTHING = new Int32Array(0);

function row(address, memory, from, count) {
  let text = HEX[(address >> 8) & 0xff] + HEX[address & 0xff] + ' ';
  for (let i = 0; i < count; i++) text += ' ' + HEX[memory[from + i]];
  return text;
}

export class ListingLines {
  // `count` lines from byte `first` of the memory, which `memory()` gives
  // as bytes, as it is now, while `alive()` says the result lives.
  constructor(first, count, memory, alive) {
    this.first = first;
    this.count = count;
    this.memory = memory;
    this.alive = alive;
    this.view = new Int32Array(0);
    this.paths = new Map(); // pointer: {text, size}
    this.width = -1; // of the widest "FILE:LINE", in bytes
    this.starts = null;
  }

  // No lines once the result is gone.
  get length() {
    return this.alive() ? this.count : 0;
  }

  // The lines' words, viewed again when the memory has grown, which
  // leaves views taken before it empty.
  words() {
    if (!this.alive()) return NOTHING;
    if (this.view.length === 0) this.view = new Int32Array(this.memory().buffer, this.first, this.count * LINE_WORDS);
    return this.view;
  }

  word(i, field) {
    return this.words()[i * LINE_WORDS + field] ?? 0;
  }

  // The path at `pointer` and its size in bytes; '' for none.
  path(pointer) {
    let path = this.paths.get(pointer);
    if (!path) {
      const memory = this.memory();
      const bytes = pointer ? memory.subarray(pointer, memory.indexOf(0, pointer)) : memory.subarray(0, 0);
      path = { text: decoder.decode(bytes), size: bytes.length };
      this.paths.set(pointer, path);
    }
    return path;
  }

  // The place of line `i`'s first record: {file, line, column}.
  place(i) {
    const line = this.word(i, LINE);
    if (line === 0) return { file: null, line: null, column: null };
    return { file: this.path(this.word(i, FILE)).text, line, column: this.word(i, COLUMN) };
  }

  // The lines of text --listing writes for line `i`: a file's name where an
  // include ends before it or begins after it, and a row for each 8 bytes.
  rows(i, w = this.words()) {
    const at = i * LINE_WORDS;
    const size = w[at + SIZE] >>> 0;
    const more = size > BYTES_PER_ROW ? Math.ceil((size - BYTES_PER_ROW) / BYTES_PER_ROW) : 0;
    return 1 + more + w[at + RESUMES] + (w[at + OPENS] ? 1 : 0);
  }

  // The row of text each line starts at, and past the last, made once.
  firstRows() {
    const w = this.words();
    if (!this.starts && w.length > 0) {
      this.starts = new Int32Array(this.length + 1);
      for (let i = 0; i < this.length; i++) this.starts[i + 1] = this.starts[i] + this.rows(i, w);
    }
    this.starts ??= new Int32Array(1);
    return this.starts;
  }

  // The line that row `row` of text belongs to.
  lineOfRow(row) {
    const starts = this.firstRows();
    let low = 0;
    let high = this.length - 1;
    while (low < high) {
      const middle = (low + high + 1) >> 1;
      if (starts[middle] <= row) low = middle;
      else high = middle - 1;
    }
    return low;
  }

  // The lines placed on `line` of `file`, in order.
  find(file, line) {
    const found = [];
    const w = this.words();
    for (let at = 0; at < w.length; at += LINE_WORDS)
      if (w[at + LINE] === line && this.path(w[at + FILE]).text === file) found.push(at / LINE_WORDS);
    return found;
  }

  locationWidth() {
    if (this.width < 0) {
      this.width = 0;
      const w = this.words();
      for (let at = 0; at < w.length; at += LINE_WORDS) {
        const digits = String(w[at + LINE] >>> 0).length;
        this.width = Math.max(this.width, this.path(w[at + FILE]).size + 1 + digits);
      }
    }
    return this.width;
  }

  // The text --listing writes for line `i`, its rows joined by newlines.
  text(i) {
    if (!this.alive()) return '';
    const memory = this.memory();
    const at = (field) => this.word(i, field) >>> 0;
    const path = this.path(at(FILE));
    const size = at(SIZE);
    const shown = Math.min(size, BYTES_PER_ROW);
    const rows = [];
    if (at(RESUMES)) rows.push(`; ${path.text}`);
    let first = row(at(ADDRESS), memory, at(BYTES), shown);
    first += ' '.repeat(LOCATION_COLUMN - first.length) + `${path.text}:${at(LINE)}`;
    const end = LOCATION_COLUMN + path.size + 1 + String(at(LINE)).length;
    rows.push(first + this.marksAndText(i, memory, LOCATION_COLUMN + this.locationWidth() - end));
    for (let done = shown; done < size; done += BYTES_PER_ROW)
      rows.push(row(at(ADDRESS) + done, memory, at(BYTES) + done, Math.min(size - done, BYTES_PER_ROW)));
    if (at(OPENS)) {
      const from = `${path.text}:${at(LINE)}`;
      rows.push(`; ${this.path(at(OPENS)).text} (included from ${from})`);
    }
    return rows.join('\n');
  }

  // The "+" marks and the text after the place, `gap` columns short of the
  // widest place; the text without its final blanks unless it was cut.
  marksAndText(i, memory, gap) {
    const from = this.word(i, TEXT) >>> 0;
    const cut = this.word(i, CUT) !== 0;
    let length = this.word(i, TEXT_LENGTH) >>> 0;
    if (!cut) while (length > 0 && memory[from + length - 1] === 0x20) length--;
    const expansions = this.word(i, EXPANSIONS);
    if (length === 0 && expansions === 0) return '';
    const marks = ' '.repeat(Math.max(0, gap)) + ' ' + '+'.repeat(expansions);
    if (length === 0) return marks;
    const text = decoder.decode(memory.subarray(from, from + length));
    return `${marks}${' '.repeat(Math.max(0, MARKS_WIDTH - expansions))} ${text}${cut ? CUT_MARK : ''}`;
  }
}

// No lines: a failed assembly, or a result no longer alive.
export const NO_LINES = new ListingLines(0, 0, () => new Uint8Array(0), () => false);
