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
// file that included it. The listing ends with every label sorted by
// address, with how often it was used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "assembler/assembly.hpp"

// The text of a line of a file of the assembly (SourcePosition::file),
// without its line end; nullptr when it cannot be had.
struct SourceLines {
    const char* (*text)(void* context, std::uint16_t file, std::uint32_t line, std::size_t* length);
    void* context;
};

// Writes the listing of an assembly whose records are `records` to `file`,
// which stays open. False when a write failed.
bool write_listing(const AssemblerState& state, const ListingRecord* records, std::size_t count,
                   SourceLines lines, std::FILE* file);
