// The listing records of a result, kept as the module wrote them (eleven
// 32-bit words each: kind, path, line, column, address, size, depth,
// target, then the record's text, its length and its cut, unused here; the
// path and the target as indices into `strings`) and decoded
// only where a pane or the cursor asks: a large source has tens of thousands
// of them, which typing should not turn into objects each time.
//
// Positions are in bytes, as the assembler gives them: `line` from 1,
// `column` from 1 in the line's UTF-8 form.

export const LISTING_KINDS = ['bytes', 'label', 'padding', 'expansion', 'include'];
const BYTES = 0;
const EXPANSION = 3;
const INCLUDE = 4;
export const WORDS = 11; // orvasm_listing_record, 44 bytes

// `ranges` in order of their start, those that touch or overlap made one.
function merged(ranges) {
  ranges.sort((a, b) => a.from - b.from);
  const out = [];
  for (const range of ranges) {
    const previous = out.at(-1);
    if (previous && range.from <= previous.to) previous.to = Math.max(previous.to, range.to);
    else out.push({ ...range });
  }
  return out;
}

export class Listing {
  // `finders` maps a path to its TokenFinder, for the tokens' lengths.
  constructor(words, strings, rom, finders = new Map(), start = 0x100) {
    this.words = words;
    this.strings = strings;
    this.rom = rom;
    this.finders = finders;
    this.start = start;
  }

  get length() {
    return this.words.length / WORDS;
  }

  kind(i) {
    return LISTING_KINDS[this.words[i * WORDS]];
  }
  file(i) {
    return this.strings[this.words[i * WORDS + 1]];
  }
  line(i) {
    return this.words[i * WORDS + 2] || null;
  }
  column(i) {
    return this.words[i * WORDS + 2] ? this.words[i * WORDS + 3] : null;
  }
  address(i) {
    return this.words[i * WORDS + 4];
  }
  size(i) {
    return this.words[i * WORDS + 5];
  }
  depth(i) {
    return this.words[i * WORDS + 6];
  }
  target(i) {
    return this.strings[this.words[i * WORDS + 7]];
  }
  // The length in bytes of the token at the record's place, or null.
  tokenLength(i) {
    const line = this.line(i);
    return line === null ? null : (this.finders.get(this.file(i))?.length(line, this.column(i)) ?? null);
  }
  // The text of the record's token, as it was when assembled.
  tokenText(i) {
    const line = this.line(i);
    return line === null ? '' : (this.finders.get(this.file(i))?.text(line, this.column(i)) ?? '');
  }
  // The rom bytes a "bytes" record wrote.
  bytes(i) {
    const offset = this.address(i) - this.start;
    if (this.words[i * WORDS] !== BYTES || offset < 0) return this.rom.subarray(0, 0);
    return this.rom.subarray(offset, offset + this.size(i));
  }

  record(i) {
    const record = { kind: this.kind(i), file: this.file(i), line: this.line(i), column: this.column(i) };
    record.length = this.tokenLength(i);
    Object.assign(record, { address: this.address(i), size: this.size(i), depth: this.depth(i) });
    return Object.assign(record, { target: this.target(i), bytes: this.bytes(i) });
  }

  *[Symbol.iterator]() {
    for (let i = 0; i < this.length; i++) yield this.record(i);
  }

  // The index of `file` among the strings, -1 when no record names it.
  fileId(file) {
    return this.strings.indexOf(file, 1);
  }

  // The last record under record `i`: itself, or for a macro use or an
  // include the last of the records that follow it deeper.
  end(i) {
    const kind = this.words[i * WORDS];
    if (kind !== EXPANSION && kind !== INCLUDE) return i;
    const depth = this.depth(i);
    let last = i;
    while (last + 1 < this.length && this.depth(last + 1) > depth) last++;
    return last;
  }

  // The bytes of the rom, as offsets [from, to) from the start, written by
  // the tokens of `file` that `touches(i)` accepts, and by the records
  // under each (a macro's body, an included file). A macro's body, written
  // once and used many times, has a range at each use.
  bytesWhere(file, touches) {
    const ranges = [];
    const id = this.fileId(file);
    if (id < 0) return ranges;
    const w = this.words;
    for (let i = 0; i < this.length; i++) {
      if (w[i * WORDS + 1] !== id || !touches(i)) continue;
      for (let j = i, last = this.end(i); j <= last; j++) {
        const from = w[j * WORDS + 4] - this.start;
        const size = w[j * WORDS + 5];
        if (w[j * WORDS] !== BYTES || size === 0 || from < 0) continue;
        ranges.push({ from, to: from + size });
      }
    }
    return merged(ranges);
  }

  // The bytes the token at `line` and byte `column` of `file` wrote.
  bytesAt(file, line, column) {
    return this.bytesWhere(file, (i) => {
      const at = this.words[i * WORDS + 3];
      return this.words[i * WORDS + 2] === line && column >= at && column <= at + (this.tokenLength(i) ?? 1);
    });
  }

  // The bytes written by the tokens that start from {line, column} up to,
  // not including, {line, column} `to`, in bytes.
  bytesBetween(file, from, to) {
    const before = (line, column, place) => line < place.line || (line === place.line && column < place.column);
    return this.bytesWhere(file, (i) => {
      const line = this.words[i * WORDS + 2];
      const column = this.words[i * WORDS + 3];
      return !before(line, column, from) && before(line, column, to);
    });
  }

  // The record that wrote the rom byte at `offset` from the start: the
  // innermost, the token whose text made it; -1 when none did.
  writerOf(offset) {
    const address = offset + this.start;
    const w = this.words;
    for (let i = 0; i < this.length; i++) {
      const at = w[i * WORDS + 4];
      if (w[i * WORDS] === BYTES && address >= at && address < at + w[i * WORDS + 5]) return i;
    }
    return -1;
  }

  // The first record placed on `line` of `file`, or -1.
  firstOnLine(file, line) {
    const id = this.fileId(file);
    for (let i = 0; id > 0 && i < this.length; i++)
      if (this.words[i * WORDS + 1] === id && this.words[i * WORDS + 2] === line) return i;
    return -1;
  }
}

// A Listing of plain records ({kind, file, line, column, address, size,
// depth, target}), as the tests write them.
export function listingOf(records, rom = new Uint8Array(0), finders, start = 0x100) {
  const strings = [null];
  const id = (s) => (s === null || s === undefined ? 0 : strings.includes(s) ? strings.indexOf(s) : strings.push(s) - 1);
  const words = new Int32Array(records.length * WORDS);
  records.forEach((r, i) => {
    const fields = [LISTING_KINDS.indexOf(r.kind), id(r.file), r.line ?? 0, r.column ?? 0, r.address, r.size];
    words.set([...fields, r.depth ?? 0, id(r.target), 0, 0, 0], i * WORDS);
  });
  return new Listing(words, strings, rom, finders, start);
}
