// The playground's assembler: orvasm.wasm, the library's C interface built
// for wasm32 (include/orvasm/orvasm.h, glue in web/wasm/bridge.cpp), behind
// one call. The contract:
//
//   const asm = await loadAssembler(wasm);   // URL, Response or bytes of orvasm.wasm
//   const r = asm.assemble({files: {"main.orv": text, "lib.orv": text}, main: "main.orv"});
//
// `files` (a Map, or an object) maps each name, as an include writes it, to its text (a string,
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
//   symbolFile   Uint8Array, the symbol file's bytes; empty on failure
//   problems     the diagnostics an editor shows, one per mistake (each
//                warning, a failure's innermost cause), as the library
//                selects them, each with its chain
//   macros       [{name, file, line, column, body: [token text...]}]
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
//   listing      a Listing (listing.js): each token as the pass handled it,
//                in order, decoded where asked; record(i) gives {kind:
//                "bytes"|"label"|"padding"|"expansion"|"include", file,
//                line, column, length, address, size, depth, target, bytes},
//                `bytes` being the rom bytes a "bytes" record wrote
//   listingLines ListingLines (listing-lines.js): the lines of the
//                program's --listing, their text made where asked
//   labelAddresses  Uint16Array, the symbols' addresses alone
//   bytesAt(file, firstLine, firstColumn, lastLine, lastColumn)
//                the bytes written by the tokens that begin from the first
//                place to the last, both included, as [{from, to}] offsets
//                from `start`: a macro use's or an include's are all they
//                hold. Answered by the library while the result lives.
//
// A result lives until the next assembly, unless `asm.keep(result)` keeps
// it, until another is kept in its place: the page keeps the last good one
// it shows. `symbols`, `labelAddresses`, `symbolFile`, `macros`,
// `listing`, `listingLines` and `bytesAt` are read from the module when
// first asked, so of a result no longer alive they are empty.
//
// `asm.tokenKind(text)` names what a token is, as the assembler reads it:
// one of TOKEN_KINDS; `asm.nameStart(text)` where the name it holds starts.
//
// Positions: `file` as the include names it, `line` from 1, `column` and
// `length` (of the token there) in bytes of the line's UTF-8 form; all null
// where unknown.

import { Listing, WORDS } from './listing.js';
import { ListingLines, NO_LINES } from './listing-lines.js';

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
// Sizes of the records on wasm32 (checked in bridge.cpp).
const SYMBOL_SIZE = 20;
const DIAGNOSTIC_SIZE = 44;
const LISTING_SIZE = 44;
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
  // `text`: the file's bytes, or its text, made bytes when first asked.
  constructor(text, lengthAt) {
    this.source = text;
    this.encoded = typeof text === 'string' ? null : text;
    this.lengthAt = lengthAt;
    this.starts = null;
  }

  get bytes() {
    this.encoded ??= new TextEncoder().encode(this.source);
    return this.encoded;
  }

  length(line, column) {
    if (!this.starts) {
      this.starts = [0];
      for (let at = this.bytes.indexOf(0x0a); at >= 0; at = this.bytes.indexOf(0x0a, at + 1)) this.starts.push(at + 1);
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
  // The results alive, {pointer}: the latest, until the next assembly, and
  // the one kept; a handle is not an address, which the module reuses.
  let latest = null;
  let kept = null;
  let scratch = 0; // a buffer for the texts of questions
  let scratchSize = 0;
  // A fresh instance; also after a trap, which leaves the old one unusable.
  const start = () => {
    latest = kept = null;
    scratch = scratchSize = 0;
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

  // A file's text copied into the module's memory, made UTF-8 there
  // unless its bytes are made already: [pointer, size]. The caller frees it.
  function putText(finder) {
    if (finder.encoded) return [put(finder.encoded, false), finder.encoded.length];
    const text = finder.source;
    const pointer = api.malloc(3 * text.length + 1);
    if (!pointer) throw new Error('orvasm.wasm is out of memory');
    const { written } = encoder.encodeInto(text, bytes().subarray(pointer, pointer + 3 * text.length));
    return [pointer, written];
  }

  // `data` copied to the scratch buffer, which grows as needed; its address.
  function toScratch(data) {
    reserveScratch(data.length + 1);
    const memory = bytes();
    memory.set(data, scratch);
    memory[scratch + data.length] = 0;
    return scratch;
  }

  function reserveScratch(size) {
    if (size <= scratchSize) return;
    api.free(scratch);
    scratchSize = Math.max(64, 2 * size);
    scratch = api.malloc(scratchSize);
    if (!scratch) {
      scratchSize = 0;
      throw new Error('orvasm.wasm is out of memory');
    }
  }

  // `text` made UTF-8 in the scratch buffer, without a copy in between (the
  // editor asks for each token it colours): its size in bytes.
  function textToScratch(text) {
    reserveScratch(3 * text.length + 1);
    return encoder.encodeInto(text, bytes().subarray(scratch, scratch + 3 * text.length)).written;
  }

  // What a token is (orvasm_token_kind) and where its name starts
  // (orvasm_token_name_start).
  function tokenKind(text) {
    const size = textToScratch(text);
    return TOKEN_KINDS[api.orvasm_token_kind(scratch, size)] ?? 'word';
  }

  function nameStart(text) {
    const size = textToScratch(text);
    return api.orvasm_token_name_start(scratch, size);
  }

  // The length of the token at `from` in `data`, as the library reads it;
  // asked of the rest of its line, which holds all of it.
  const tokenLengthAt = (data) => (from) => {
    let end = data.indexOf(0x0a, from);
    if (end < 0) end = data.length;
    return api.orvasm_token_length(toScratch(data.subarray(from, end)), end - from);
  };
  const tokenFinder = (text) => {
    const finder = new TokenFinder(text, (from) => tokenLengthAt(finder.bytes)(from));
    return finder;
  };

  const alive = (handle) => handle === latest || handle === kept;
  function release(handle) {
    if (handle && !alive(handle)) api.orvasm_result_free(handle.pointer);
  }

  // Keeps `answer`'s result alive for its questions; the one kept before
  // goes, unless it is the latest.
  function keep(answer) {
    const old = kept;
    kept = answer.handle;
    if (old !== kept) release(old);
  }

  // The spans the library finds for the result of `handle` at a place, as
  // offsets from PROGRAM_START in the order written; [] once it is gone.
  function spansAt(handle, file, firstLine, firstColumn, lastLine, lastColumn) {
    if (!alive(handle)) return [];
    const name = toScratch(encoder.encode(file));
    const ask = (spans, capacity) =>
      api.orvasm_result_bytes_at(handle.pointer, name, firstLine, firstColumn, lastLine, lastColumn, spans, capacity);
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

  // The listing's records of a live result, copied whole, their paths and
  // targets made indices into `strings`. Made on first use, which may grow
  // the memory.
  function listingOf(handle, rom, finders) {
    if (!alive(handle)) return new Listing(new Int32Array(0), [null], rom, finders, PROGRAM_START);
    const count = api.orvasm_result_listing_count(handle.pointer);
    const first = count > 0 ? api.orvasm_result_listing(handle.pointer, 0) : 0;
    const words = first ? new Int32Array(api.memory.buffer.slice(first, first + count * LISTING_SIZE)) : new Int32Array(0);
    const strings = [null];
    const indices = new Map([[0, 0]]);
    const memory = bytes();
    const stringIndex = (pointer) => {
      let at = indices.get(pointer);
      if (at === undefined) {
        at = strings.push(decoder.decode(memory.subarray(pointer, memory.indexOf(0, pointer)))) - 1;
        indices.set(pointer, at);
      }
      return at;
    };
    // Word 1 of each record is its path, word 7 its target; runs of
    // records share a path.
    for (const word of [1, 7])
      for (let w = word, last = 0, at = 0; w < words.length; w += WORDS) {
        if (words[w] !== last) at = stringIndex((last = words[w]));
        words[w] = at;
      }
    return new Listing(words, strings, rom, finders, PROGRAM_START);
  }

  // The listing's lines of a live result; their texts are read from the
  // module while it lives.
  function linesOf(handle) {
    if (!alive(handle)) return NO_LINES;
    const count = api.orvasm_result_listing_line_count(handle.pointer);
    const first = count > 0 ? api.orvasm_result_listing_line(handle.pointer, 0) : 0;
    if (!first) return NO_LINES;
    return new ListingLines(first, count, bytes, () => alive(handle));
  }

  // Readers of the module's records as they lie in its memory now: a
  // later call may grow the memory, which detaches these views.
  function readers(finders) {
    const memory = bytes();
    const view = new DataView(api.memory.buffer);
    const u32 = (at) => view.getUint32(at, true);
    const raw = (at) => (at ? memory.subarray(at, memory.indexOf(0, at)) : null);
    const span = (at, size) => memory.subarray(at, at + size);
    // Names are nearly always ASCII, which needs no decoder.
    const decode = (bytes) =>
      bytes.length < 64 && bytes.every((b) => b < 0x80) ? String.fromCharCode(...bytes) : decoder.decode(bytes);
    const text = (at) => (at ? decode(raw(at)) : null);
    const files = new Map(); // the same path comes back at the same address
    const fileAt = (pointer) => {
      if (!files.has(pointer)) files.set(pointer, text(pointer));
      return files.get(pointer);
    };
    // A position {file, line, column, length} at `at`, into `into`; the
    // token's length only with `measured`.
    const position = (at, into, measured = true) => {
      const line = u32(at + 4);
      const pointer = u32(at);
      if (line === 0 || !pointer) {
        Object.assign(into, { file: null, line: null, column: null });
        if (measured) into.length = null;
        return into;
      }
      const file = fileAt(pointer);
      const column = u32(at + 8);
      Object.assign(into, { file, line, column });
      if (measured) into.length = finders.get(file)?.length(line, column) ?? null;
      return into;
    };
    return { view, u32, raw, span, decode, text, position };
  }

  // Reads the records of `handle`'s result: the status, rom, lines and
  // problems at once; the symbols, the macros, the symbol file, the
  // listing and its lines when first asked (a large program has thousands
  // of symbols, which typing should not turn into objects each time).
  function read(handle, finders) {
    const result = handle.pointer;
    const { view, u32, span, text, position } = readers(finders);
    const status = api.orvasm_result_status(result) === OK ? 0 : 1;
    const romAt = api.orvasm_result_rom(result, sizeCell);
    const rom = status === 0 ? span(romAt, u32(sizeCell)).slice() : new Uint8Array(0);

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
      const d = { severity, message: text(u32(at + 4)), detail: text(u32(at + 8)), text: lines.at(-1), index: i };
      d.fix = text(u32(at + 36));
      position(at + 12, d).chain = [];
      if (severity === 'note') diagnostics.at(-1)?.chain.push(d);
      else diagnostics.push(d);
    }
    const stderr = new Uint8Array(chunks.reduce((sum, c) => sum + c.length, 0));
    chunks.reduce((offset, c) => (stderr.set(c, offset), offset + c.length), 0);

    const truncated = api.orvasm_result_diagnostics_dropped(result);
    const problems = problemsOf(result, diagnostics);
    const bytesAt = (...place) => spansAt(handle, ...place);
    const answer = { status, rom, start: PROGRAM_START, diagnostics, problems, lines, stderr, truncated, bytesAt, handle };
    const ok = () => status === 0 && alive(handle);
    return lazily(answer, {
      symbols: () => (ok() ? symbolsOf(result, finders) : []),
      labelAddresses: () => (ok() ? labelAddressesOf(result) : new Uint16Array(0)),
      symbolFile: () => (ok() ? symbolFileOf(result) : new Uint8Array(0)),
      macros: () => (alive(handle) ? macrosOf(result) : []),
      listing: () => listingOf(handle, rom, finders),
      listingLines: () => linesOf(handle),
    });
  }

  // The labels, in definition order.
  function symbolsOf(result, finders) {
    const { view, u32, raw, decode, position } = readers(finders);
    const symbols = [];
    for (let i = 0, count = api.orvasm_result_symbol_count(result); i < count; i++) {
      const at = api.orvasm_result_symbol(result, i);
      const nameBytes = raw(u32(at)).slice();
      const symbol = { name: decode(nameBytes), nameBytes, address: view.getUint16(at + 4, true) };
      symbol.uses = view.getUint16(at + 6, true);
      position(at + 8, symbol, false);
      symbols.push(symbol);
    }
    return symbols;
  }

  // The labels' addresses alone, in definition order.
  function labelAddressesOf(result) {
    const count = api.orvasm_result_symbol_count(result);
    const addresses = new Uint16Array(count);
    const view = new DataView(api.memory.buffer);
    for (let i = 0; i < count; i++) addresses[i] = view.getUint16(api.orvasm_result_symbol(result, i) + 4, true);
    return addresses;
  }

  // `object` with a property for each of `makers`, made on first read.
  function lazily(object, makers) {
    for (const [name, make] of Object.entries(makers))
      Object.defineProperty(object, name, {
        enumerable: true,
        configurable: true,
        get() {
          const value = make();
          Object.defineProperty(object, name, { value, enumerable: true });
          return value;
        },
      });
    return object;
  }

  // The symbol file the program writes beside the rom, as the library
  // forms it.
  function symbolFileOf(result) {
    const size = api.orvasm_result_symbol_file(result, 0, 0);
    const pointer = api.malloc(size || 1);
    if (!pointer) throw new Error('orvasm.wasm is out of memory');
    try {
      api.orvasm_result_symbol_file(result, pointer, size);
      return bytes().slice(pointer, pointer + size);
    } finally {
      api.free(pointer);
    }
  }

  // The problems an editor shows, one per mistake: the diagnostics the
  // library heads them with (each warning, a failure's innermost cause),
  // each with its chain of notes.
  function problemsOf(result, diagnostics) {
    const byIndex = new Map(diagnostics.map((d) => [d.index, d]));
    const problems = [];
    for (let i = 0, count = api.orvasm_result_problem_count(result); i < count; i++) {
      const d = byIndex.get(api.orvasm_result_problem(result, i));
      if (d) problems.push(d);
    }
    return problems;
  }

  // The macros, in definition order: {name, file, line, column, body:
  // [token text...]}.
  function macrosOf(result) {
    const macros = [];
    const { u32, text } = readers(new Map());
    for (let i = 0, count = api.orvasm_result_macro_count(result); i < count; i++) {
      const at = api.orvasm_result_macro(result, i);
      const body = [];
      for (let t = 0, length = u32(at + 16); t < length; t++) body.push(text(u32(api.orvasm_result_macro_body(result, i, t))));
      const line = u32(at + 8);
      macros.push({ name: text(u32(at)), file: line ? text(u32(at + 4)) : null, line: line || null, column: line ? u32(at + 12) : null, body });
    }
    return macros;
  }

  // Each file's TokenFinder, kept while its text stays the same: as one
  // types, the other files' bytes need not be made again.
  let encoded = new Map();

  function assemble({ files, main, rom = defaultRomName(main), locations = true }) {
    const pointers = [];
    const own = (pointer) => (pointers.push(pointer), pointer);
    const finders = new Map();
    let result = 0;
    try {
      const old = latest;
      latest = null;
      release(old);
      api.orv_clear_files();
      const next = new Map();
      for (const [name, text] of files instanceof Map ? files : Object.entries(files)) {
        const nameBytes = encoder.encode(name);
        let known = encoded.get(name);
        if (known?.text !== text) known = { text, finder: tokenFinder(text) };
        next.set(name, known);
        finders.set(name, known.finder);
        const namePointer = own(put(nameBytes, false));
        const [dataPointer, size] = putText(known.finder);
        own(dataPointer);
        if (!api.orv_add_file(namePointer, nameBytes.length, dataPointer, size))
          throw new Error('too many files in the workspace');
      }
      encoded = next;
      const flags = LISTING | (locations ? LOCATIONS : 0);
      try {
        result = api.orv_assemble(assembler, own(put(encoder.encode(main), true)), own(put(encoder.encode(rom), true)), flags);
      } catch (error) {
        pointers.length = 0; // they went with the instance
        start();
        throw new Error(`orvasm.wasm stopped: ${error.message}`);
      }
      if (!result) throw new Error('orvasm.wasm is out of memory');
      latest = { pointer: result };
      result = 0;
      return read(latest, finders);
    } finally {
      api.orvasm_result_free(result);
      api.orv_clear_files();
      for (const pointer of pointers) api.free(pointer);
    }
  }

  // The instructions, from the module's own table: each base mnemonic and
  // "BRK", with its opcode.
  const instructions = [{ name: 'BRK', opcode: 0 }];
  for (let index = 0, at; (at = api.orvasm_mnemonic(index)); index++) {
    const name = decoder.decode(bytes().subarray(at, bytes().indexOf(0, at)));
    instructions.push({ name, opcode: opcode(name) });
  }

  // The opcode `word` assembles to, or -1.
  function opcode(word) {
    const pointer = put(encoder.encode(word), true);
    try {
      return api.orvasm_opcode(pointer);
    } finally {
      api.free(pointer);
    }
  }

  return { assemble, keep, instructions, opcode, tokenKind, nameStart, tokenFinder };
}
