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
