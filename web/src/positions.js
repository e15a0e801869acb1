// Positions from the assembler (a line from 1, a column and a length in bytes
// of the line's UTF-8 form) as ranges of the editor's document, which counts
// UTF-16 units.

// The UTF-16 offset in `text` of the character at byte `column` (from 1)
// of its UTF-8 form: the assembler counts bytes, the editor characters.
export function offsetOfByte(text, column) {
  let bytes = 1;
  let at = 0;
  while (at < text.length && bytes < column) {
    const code = text.codePointAt(at);
    bytes += code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    at += code >= 0x10000 ? 2 : 1;
  }
  return at;
}

// The range of a diagnostic or listing record in the document, or null.
export function rangeOf(doc, item) {
  if (item.line === null || item.column === null || item.line < 1 || item.line > doc.lines)
    return null;
  const line = doc.line(item.line);
  const from = line.from + offsetOfByte(line.text, item.column);
  const to = line.from + offsetOfByte(line.text, item.column + (item.length ?? 1));
  return { from, to: to > from ? to : Math.min(from + 1, line.to) };
}

// The column in bytes (from 1) of UTF-16 offset `offset` in `text`.
export function byteColumn(text, offset) {
  let bytes = 1;
  for (let at = 0; at < offset && at < text.length; at++) {
    const code = text.charCodeAt(at);
    // A surrogate pair is 4 bytes, 2 for each half.
    bytes += code < 0x80 ? 1 : code < 0x800 ? 2 : code >= 0xd800 && code < 0xe000 ? 2 : 3;
  }
  return bytes;
}

// The bytes of the rom, as offsets [from, to) from `start`, that the token
// of `file` at `line` and byte `column` wrote: its own, or for a macro use
// or an include, those of the records under it. A macro's body, written once
// and used many times, has a range at each use.
export function bytesAt(listing, start, file, line, column) {
  const ranges = [];
  for (let i = 0; i < listing.length; i++) {
    const r = listing[i];
    if (r.file !== file || r.line !== line || column < r.column || column > r.column + (r.length ?? 1))
      continue;
    let last = i;
    if (r.kind === 'expansion' || r.kind === 'include')
      while (last + 1 < listing.length && listing[last + 1].depth > r.depth) last++;
    for (let j = i; j <= last; j++) {
      const written = listing[j];
      if (written.kind !== 'bytes' || written.size === 0 || written.address < start) continue;
      const from = written.address - start;
      const previous = ranges.at(-1);
      if (previous && previous.to === from) previous.to = from + written.size;
      else ranges.push({ from, to: from + written.size });
    }
  }
  return ranges;
}
