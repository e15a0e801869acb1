// The listing records of a result, copied from the module when first
// asked (eleven 32-bit words each: kind, path, line, column, address, size,
// depth, target, then the record's text, its length and its cut, unused
// here; the path and the target as indices into `strings`) and decoded
// only where asked: which token wrote a byte of the rom, for a click on the
// dump or the picture. A large source has tens of thousands of records,
// which typing should not turn into objects each time.
//
// Positions are in bytes, as the assembler gives them: `line` from 1,
// `column` from 1 in the line's UTF-8 form.

export const LISTING_KINDS = ['bytes', 'label', 'padding', 'expansion', 'include'];
const BYTES = 0;
export const WORDS = 11; // orvasm_listing_record, 44 bytes

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
}
