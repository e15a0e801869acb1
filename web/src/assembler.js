// The playground's assembler: orvasm.wasm (web/wasm/bridge.cpp) behind one
// call. The contract, which later builds of the module keep:
//
//   const asm = await loadAssembler(wasm);   // URL, Response or bytes of orvasm.wasm
//   const r = asm.assemble({files: {"main.orv": text, "lib.orv": text}, main: "main.orv"});
//
// `files` maps each name, as an include writes it, to its text (a string,
// written as UTF-8, or a Uint8Array of raw bytes). `rom` names the rom in the
// summary line, by default `main` with ".rom" for its extension. The result:
//
//   status       0 or 1, the program's exit status
//   rom          Uint8Array, the bytes from `start` (0x0100); empty on failure
//   start        0x0100
//   symbols      [{name, nameBytes, address, uses, file, line, column}], in
//                definition order, as the symbol file lists them; [] on failure
//   diagnostics  [{severity: "error"|"warning"|"note", message, detail, text,
//                file, line, column, length, chain: [{kind, name, file, line,
//                column}]}], one per line of standard error but the summary;
//                positions are null where unknown
//   lines        the exact lines of standard error, summary included
//   stderr       the same as bytes
//   truncated    true when standard error passed 1 MiB and was cut
//   listing      records of where each token's bytes went ([] for now)

const PROGRAM_START = 0x0100;
const LABEL_SIZE = 80; // name[64], address at 64, uses at 66 (checked in bridge.cpp)

// The module needs no system call: the bridge serves files from memory and
// writes standard error into its own buffer. Each import says so; the
// directory scan at start-up is told there is nothing to scan.
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

// Splits a line of standard error into its parts. Warnings start with "-- ";
// every other line but the summary is an error, "MESSAGE: DETAIL".
export function parseLine(text) {
  const warning = text.startsWith('-- ');
  const body = warning ? text.slice(3) : text;
  const colon = body.indexOf(': ');
  return {
    severity: warning ? 'warning' : 'error',
    message: colon < 0 ? body : body.slice(0, colon),
    detail: colon < 0 ? null : body.slice(colon + 2),
    text,
    file: null,
    line: null,
    column: null,
    length: null,
    chain: [],
  };
}

export function defaultRomName(main) {
  const base = main.replace(/^.*\//, '');
  const dot = base.lastIndexOf('.');
  return (dot > 0 ? base.slice(0, dot) : base) + '.rom';
}

export async function loadAssembler(wasm = 'orvasm.wasm') {
  const module = await compile(wasm);
  let api = null;
  // A fresh instance; also after a trap, which leaves the old one unusable.
  const start = () => {
    api = new WebAssembly.Instance(module, imports).exports;
    api._initialize();
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

  function readSymbols() {
    const symbols = [];
    const base = api.orv_labels();
    const memory = bytes();
    const view = new DataView(api.memory.buffer);
    for (let i = 0; i < api.orv_label_count(); i++) {
      const at = base + i * LABEL_SIZE;
      const end = memory.indexOf(0, at);
      const nameBytes = memory.slice(at, end);
      symbols.push({
        name: decoder.decode(nameBytes),
        nameBytes,
        address: view.getUint16(at + 64, true),
        uses: view.getUint16(at + 66, true),
        file: null,
        line: null,
        column: null,
      });
    }
    return symbols;
  }

  function assemble({ files, main, rom = defaultRomName(main) }) {
    const pointers = [];
    const own = (pointer) => (pointers.push(pointer), pointer);
    try {
      api.orv_clear_files();
      for (const [name, text] of Object.entries(files)) {
        const nameBytes = encoder.encode(name);
        const data = typeof text === 'string' ? encoder.encode(text) : text;
        const namePointer = own(put(nameBytes, false));
        const dataPointer = own(put(data, false));
        if (!api.orv_add_file(namePointer, nameBytes.length, dataPointer, data.length))
          throw new Error('too many files in the workspace');
      }
      let status;
      try {
        status = api.orv_assemble(own(put(encoder.encode(main), true)), own(put(encoder.encode(rom), true)));
      } catch (error) {
        pointers.length = 0; // they went with the instance
        start();
        throw new Error(`orvasm.wasm stopped: ${error.message}`);
      }
      const output = api.orv_output();
      const stderr = bytes().slice(output, output + api.orv_output_length());
      const text = decoder.decode(stderr);
      const lines = text === '' ? [] : text.replace(/\n$/, '').split('\n');
      const romStart = api.orv_rom();
      return {
        status,
        rom: status === 0 ? bytes().slice(romStart, romStart + api.orv_rom_length()) : new Uint8Array(0),
        start: PROGRAM_START,
        symbols: status === 0 ? readSymbols() : [],
        // On success the last line is the summary, not a diagnostic.
        diagnostics: (status === 0 ? lines.slice(0, -1) : lines).map(parseLine),
        lines,
        stderr,
        truncated: api.orv_output_truncated() !== 0,
        listing: [],
      };
    } finally {
      api.orv_clear_files();
      for (const pointer of pointers) api.free(pointer);
    }
  }

  return { assemble };
}

// The symbol file: per label in definition order, the address high byte
// first, the name and a 0x00.
export function symbolFile(symbols) {
  const size = symbols.reduce((sum, s) => sum + s.nameBytes.length + 3, 0);
  const out = new Uint8Array(size);
  let at = 0;
  for (const symbol of symbols) {
    out[at++] = symbol.address >> 8;
    out[at++] = symbol.address & 0xff;
    out.set(symbol.nameBytes, at);
    at += symbol.nameBytes.length + 1;
  }
  return out;
}
