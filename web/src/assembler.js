// The playground's assembler: orvasm.wasm, the library's C interface built
// for wasm32 (include/orvasm/orvasm.h, glue in web/wasm/bridge.cpp), behind
// one call. The contract:
//
//   const asm = await loadAssembler(wasm);   // URL, Response or bytes of orvasm.wasm
//   const r = asm.assemble({files: {"main.orv": text, "lib.orv": text}, main: "main.orv"});
//
// `files` maps each name, as an include writes it, to its text (a string,
// written as UTF-8, or a Uint8Array of raw bytes). `rom` names the rom in the
// summary line, by default `main` with ".rom" for its extension. With
// `locations: false` the lines are the program's own (`orvasm MAIN ROM`);
// by default they are those of `orvasm --locations`, which start with the
// place of their token, and the first failure brings its chain of notes.
// Symbols and the listing have positions either way, diagnostics only with
// locations. The result:
//
//   status       0 or 1, the program's exit status
//   rom          Uint8Array, the bytes from `start` (0x0100); empty on failure
//   start        0x0100
//   symbols      [{name, nameBytes, address, uses, file, line, column}], in
//                definition order, as the symbol file lists them, with the
//                place of their definition; [] on failure
//   diagnostics  [{severity: "error"|"warning", message, detail, text, file,
//                line, column, length, fix, chain}], one per line of standard
//                error but the summary and the notes; `chain` holds the notes
//                that follow the line, each {severity: "note", message,
//                detail, text, file, line, column, length, fix, chain: []};
//                `fix` is null but on a note whose fix is certain, where it
//                is the text that replaces the whole token of the line the
//                note follows
//   lines        the exact lines of standard error, summary and notes included
//   stderr       the same as bytes
//   truncated    the number of lines past the 65,536 kept (0 nearly always)
//   listing      [{kind: "bytes"|"label"|"padding"|"expansion"|"include",
//                file, line, column, length, address, size, depth, target,
//                bytes}], each token as the pass handled it, in order;
//                `bytes` are the rom bytes a "bytes" record wrote
//   symbolFile   Uint8Array, the symbol file the program writes; empty on
//                failure
//   bytesAt(file, firstLine, firstColumn, lastLine, lastColumn)
//                the bytes written by the tokens that begin from the first
//                place to the last, both included, as [{from, to}] offsets
//                from `start`: a macro use's or an include's are all they
//                hold. Answered by the library while this is the latest
//                result; [] after the next assembly.
//
// `asm.tokenKind(text)` names what a token is, as the assembler reads it:
// one of TOKEN_KINDS.
//
// Positions: `file` as the include names it, `line` from 1, `column` and
// `length` (of the token there) in bytes of the line's UTF-8 form; all null
// where unknown.

const PROGRAM_START = 0x0100;
// From orvasm.h.
const LOCATIONS = 0x8;
const LISTING = 0x2;
const OK = 0;
const SEVERITIES = ['error', 'warning', 'note', 'summary'];
// The values of enum orvasm_token_kind, in order (tests/facts holds them to
// the header).
export const TOKEN_KINDS = [
  'word',
  'comment',
  'malformed-comment',
  'include',
  'macro',
  'absolute-padding',
  'relative-padding',
  'label',
  'sublabel',
  'literal',
  'text',
  'bracket',
  'instruction',
  'raw-byte',
  'raw-short',
  'relative-reference',
  'zero-page-reference',
  'absolute-reference',
  'relative-short-reference',
];
const LISTING_KINDS = ['bytes', 'label', 'padding', 'expansion', 'include'];
// Sizes of the records on wasm32 (checked in bridge.cpp).
const SYMBOL_SIZE = 20;
const DIAGNOSTIC_SIZE = 40;
const LISTING_SIZE = 32;
const SPAN_SIZE = 8;

// The module needs no system call: the glue serves files from memory and
// nothing is printed. Each import says so; the directory scan at start-up is
// told there is nothing to scan.
const EBADF = 8;
const ENOSYS = 52;
const wasiImports = new Proxy(
  {},
  {
    get(_, name) {
      if (name === 'fd_prestat_get') return () => EBADF;
      if (name === 'proc_exit')
        return (code) => {
          throw new Error(`orvasm.wasm exited with status ${code}`);
        };
      return () => ENOSYS;
    },
  },
);

const imports = { wasi_snapshot_preview1: wasiImports };

async function compile(wasm) {
  if (wasm instanceof ArrayBuffer || ArrayBuffer.isView(wasm)) return WebAssembly.compile(wasm);
  const response = wasm instanceof Response ? wasm : await fetch(wasm);
  if (!response.ok) throw new Error(`orvasm.wasm could not be loaded (${response.status})`);
  return WebAssembly.compile(await response.arrayBuffer());
}

export function defaultRomName(main) {
  const base = main.replace(/^.*\//, '');
  const dot = base.lastIndexOf('.');
  return (dot > 0 ? base.slice(0, dot) : base) + '.rom';
}

// Where the lines of a file start, and the length of the token at a line and
// a column in bytes: the assembler gives where a token starts, the page
// underlines all of it, as long as `lengthAt(offset)` says the assembler
// reads it.
export class TokenFinder {
  constructor(bytes, lengthAt) {
    this.bytes = bytes;
    this.lengthAt = lengthAt;
    this.starts = null;
  }

  length(line, column) {
    if (!this.starts) {
      this.starts = [0];
      this.bytes.forEach((b, at) => b === 0x0a && this.starts.push(at + 1));
    }
    if (line < 1 || line > this.starts.length) return null;
    const from = this.starts[line - 1] + column - 1;
    if (from >= this.bytes.length) return null;
    return this.lengthAt(from) || null;
  }
}

export async function loadAssembler(wasm = 'orvasm.wasm') {
  const module = await compile(wasm);
  let api = null;
  let assembler = 0;
  let sizeCell = 0; // a size_t the rom's size is written to
  let live = 0; // the latest result, kept for its questions until the next assembly
  let assemblies = 0; // counted, so that an old result's address reused is told apart
  let scratch = 0; // a buffer for the texts of questions
  let scratchSize = 0;
  // A fresh instance; also after a trap, which leaves the old one unusable.
  const start = () => {
    live = scratch = scratchSize = 0;
    api = new WebAssembly.Instance(module, imports).exports;
    api._initialize();
    assembler = api.orvasm_assembler_new();
    sizeCell = api.malloc(4);
    if (!assembler || !sizeCell) throw new Error('orvasm.wasm is out of memory');
  };
  start();
  const encoder = new TextEncoder();
  const decoder = new TextDecoder();
  const bytes = () => new Uint8Array(api.memory.buffer);

  // Copies `data` into the module's memory; the caller frees the pointer.
  function put(data, terminated) {
    const pointer = api.malloc(data.length + 1);
    if (!pointer) throw new Error('orvasm.wasm is out of memory');
    const memory = bytes();
    memory.set(data, pointer);
    if (terminated) memory[pointer + data.length] = 0;
    return pointer;
  }

  // `data` copied to the scratch buffer, which grows as needed; its address.
  function toScratch(data) {
    if (data.length + 1 > scratchSize) {
      api.free(scratch);
      scratchSize = Math.max(64, 2 * (data.length + 1));
      scratch = api.malloc(scratchSize);
      if (!scratch) {
        scratchSize = 0;
        throw new Error('orvasm.wasm is out of memory');
      }
    }
    const memory = bytes();
    memory.set(data, scratch);
    memory[scratch + data.length] = 0;
    return scratch;
  }

  function tokenKind(text) {
    const data = encoder.encode(text);
    return TOKEN_KINDS[api.orvasm_token_kind(toScratch(data), data.length)] ?? 'word';
  }

  // The spans the library finds for `result`, of assembly number `serial`,
  // at a place, as offsets from PROGRAM_START; [] once it is no longer the
  // live one.
  function spansAt(result, serial, file, firstLine, firstColumn, lastLine, lastColumn) {
    if (result !== live || serial !== assemblies) return [];
    const name = toScratch(encoder.encode(file));
    const ask = (spans, capacity) =>
      api.orvasm_result_bytes_at(result, name, firstLine, firstColumn, lastLine, lastColumn, spans, capacity);
    const count = ask(0, 0);
    if (count === 0) return [];
    const spans = api.malloc(count * SPAN_SIZE);
    if (!spans) throw new Error('orvasm.wasm is out of memory');
    ask(spans, count);
    const view = new DataView(api.memory.buffer);
    const ranges = [];
    for (let i = 0; i < count; i++) {
      const from = view.getUint32(spans + i * SPAN_SIZE, true) - PROGRAM_START;
      const size = view.getUint32(spans + i * SPAN_SIZE + 4, true);
      if (from >= 0) ranges.push({ from, to: from + size });
    }
    api.free(spans);
    return ranges;
  }

  function symbolFileOf(result) {
    const size = api.orvasm_result_symbol_file(result, 0, 0);
    const buffer = api.malloc(size + 1);
    if (!buffer) throw new Error('orvasm.wasm is out of memory');
    api.orvasm_result_symbol_file(result, buffer, size);
    const file = bytes().slice(buffer, buffer + size);
    api.free(buffer);
    return file;
  }

  // Reads the records of `result` in place; `finders` give tokens' lengths.
  function read(result, finders) {
    // The listing's records are made on the first call for one, which may
    // grow the memory and so detach views taken before; the other readers
    // allocate nothing.
    const listingCount = api.orvasm_result_listing_count(result);
    if (listingCount > 0) api.orvasm_result_listing(result, 0);
    const memory = bytes();
    const view = new DataView(api.memory.buffer);
    const u32 = (at) => view.getUint32(at, true);
    const raw = (at) => (at ? memory.subarray(at, memory.indexOf(0, at)) : null);
    const span = (at, size) => memory.subarray(at, at + size);
    const text = (at) => (at ? decoder.decode(raw(at)) : null);
    const files = new Map(); // the same path comes back at the same address
    const fileAt = (pointer) => {
      if (!files.has(pointer)) files.set(pointer, text(pointer));
      return files.get(pointer);
    };
    // A position {file, line, column, length} at `at`, into `into`.
    const position = (at, into) => {
      const line = u32(at + 4);
      const pointer = u32(at);
      if (line === 0 || !pointer) return Object.assign(into, { file: null, line: null, column: null, length: null });
      const file = fileAt(pointer);
      const column = u32(at + 8);
      return Object.assign(into, { file, line, column, length: finders.get(file)?.length(line, column) ?? null });
    };

    const status = api.orvasm_result_status(result) === OK ? 0 : 1;
    const romAt = api.orvasm_result_rom(result, sizeCell);
    const rom = status === 0 ? span(romAt, u32(sizeCell)).slice() : new Uint8Array(0);
    const none = rom.subarray(0, 0);

    const lines = [];
    const chunks = [];
    const diagnostics = [];
    for (let i = 0, count = api.orvasm_result_diagnostic_count(result); i < count; i++) {
      const at = api.orvasm_result_diagnostic(result, i);
      const line = span(u32(at + 28), u32(at + 32));
      chunks.push(line.slice());
      lines.push(decoder.decode(line.subarray(0, line.length - 1)));
      const severity = SEVERITIES[view.getInt32(at, true)];
      if (severity === 'summary') continue;
      const d = { severity, message: text(u32(at + 4)), detail: text(u32(at + 8)), text: lines.at(-1) };
      d.fix = text(u32(at + 36));
      position(at + 12, d).chain = [];
      if (severity === 'note') diagnostics.at(-1)?.chain.push(d);
      else diagnostics.push(d);
    }
    const stderr = new Uint8Array(chunks.reduce((sum, c) => sum + c.length, 0));
    chunks.reduce((offset, c) => (stderr.set(c, offset), offset + c.length), 0);

    const symbols = [];
    if (status === 0)
      for (let i = 0, count = api.orvasm_result_symbol_count(result); i < count; i++) {
        const at = api.orvasm_result_symbol(result, i);
        const nameBytes = raw(u32(at)).slice();
        const symbol = { name: decoder.decode(nameBytes), nameBytes, address: view.getUint16(at + 4, true) };
        symbol.uses = view.getUint16(at + 6, true);
        delete position(at + 8, symbol).length;
        symbols.push(symbol);
      }

    const listing = new Array(listingCount);
    for (let i = 0; i < listingCount; i++) {
      const at = api.orvasm_result_listing(result, i);
      if (!at) {
        listing.length = i; // out of memory for the records
        break;
      }
      const kind = LISTING_KINDS[view.getInt32(at, true)];
      const record = position(at + 4, { kind });
      record.address = u32(at + 16);
      record.size = u32(at + 20);
      record.depth = u32(at + 24);
      record.target = text(u32(at + 28));
      const offset = record.address - PROGRAM_START;
      record.bytes = kind === 'bytes' && offset >= 0 ? rom.subarray(offset, offset + record.size) : none;
      listing[i] = record;
    }
    const truncated = api.orvasm_result_diagnostics_dropped(result);
    const symbolFile = status === 0 ? symbolFileOf(result) : new Uint8Array(0);
    const serial = ++assemblies;
    const bytesAt = (...place) => spansAt(result, serial, ...place);
    return { status, rom, start: PROGRAM_START, symbols, diagnostics, lines, stderr, truncated, listing, symbolFile, bytesAt };
  }

  function assemble({ files, main, rom = defaultRomName(main), locations = true }) {
    const pointers = [];
    const own = (pointer) => (pointers.push(pointer), pointer);
    const finders = new Map();
    let result = 0;
    try {
      api.orvasm_result_free(live);
      live = 0;
      api.orv_clear_files();
      for (const [name, text] of Object.entries(files)) {
        const nameBytes = encoder.encode(name);
        const data = typeof text === 'string' ? encoder.encode(text) : text;
        const namePointer = own(put(nameBytes, false));
        const dataPointer = own(put(data, false));
        const lengthAt = (from) => api.orvasm_token_length(dataPointer + from, data.length - from);
        finders.set(name, new TokenFinder(data, lengthAt));
        if (!api.orv_add_file(namePointer, nameBytes.length, dataPointer, data.length))
          throw new Error('too many files in the workspace');
      }
      const flags = LISTING | (locations ? LOCATIONS : 0);
      try {
        result = api.orv_assemble(assembler, own(put(encoder.encode(main), true)), own(put(encoder.encode(rom), true)), flags);
      } catch (error) {
        pointers.length = 0; // they went with the instance
        start();
        throw new Error(`orvasm.wasm stopped: ${error.message}`);
      }
      if (!result) throw new Error('orvasm.wasm is out of memory');
      const answer = read(result, finders);
      live = result;
      result = 0;
      return answer;
    } finally {
      api.orvasm_result_free(result);
      api.orv_clear_files();
      for (const pointer of pointers) api.free(pointer);
    }
  }

  return { assemble, tokenKind };
}
