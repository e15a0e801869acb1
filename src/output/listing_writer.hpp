// The listing: what each source line became, for reading beside a debugger.
// One line per source line that wrote bytes, defined labels or moved the
// write position, in the order the assembly handled them:
//
//   ADDR  BYTES (up to 8)            FILE:LINE  SOURCE TEXT
//
// with the bytes as finally resolved. Longer runs go on in rows of their own
// (address and bytes only); padding shows the address it moved to; a macro
// use is followed by the lines of its body, marked "+" once for each
// expansion around them; an included file's lines follow a line
// "; FILE (included from FILE:LINE)", and "; FILE" marks the return to the
// file that included it. A source line longer than ORVASM_LISTED_TEXT bytes
// shows that many, then "...". The listing ends with every label sorted by
// address, with how often it was used.
//
// The program's own writer, over what the library gives of an assembly
// made with ORVASM_LISTING: its lines, rom bytes and symbols.
#pragma once

#include <cstdio>

#include "orvasm/orvasm.h"

// Writes the listing of `result`, whose source is `source_path`, to `file`,
// which stays open. False when a write failed, or the listing was not kept
// whole; throws std::bad_alloc when memory runs out.
bool write_listing(const orvasm_result* result, const char* source_path, std::FILE* file);
