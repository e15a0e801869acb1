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
//
// It is made in three steps, so that the source lines are read back once
// the lines that show them are known: form_listing_lines groups the
// records into the listing's lines in one pass, the caller reads the source
// lines those name (FileLines, source_lines.hpp), and write_listing writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "assembler/assembly.hpp"

// The source text a line of the listing shows, without its line end;
// `bytes` is nullptr when it could not be had.
struct ShownText {
    const char* bytes;
    std::size_t length;
};

// ListingLine::flags
constexpr std::uint8_t LINE_RESUMES_FILE = 1; // "; FILE" before it: an include has ended
constexpr std::uint8_t LINE_OPENS_FILE = 2;   // "; FILE (included from ...)" after it

// One line of the listing: consecutive records of one source line, shown
// together (labels, padding and the bytes that follow at the address shown).
struct ListingLine {
    std::uint32_t record;  // the first, whose position (and target) the line shows
    std::uint32_t address; // shown: where the line starts
    std::uint32_t size;    // bytes written from `address`, shown 8 to a row
    std::uint16_t marks;   // "+" shown: the expansions around the line
    std::uint8_t flags;    // LINE_RESUMES_FILE, LINE_OPENS_FILE
};

// The lines of a listing.
struct ListingLines {
    std::unique_ptr<ListingLine[]> lines;
    std::size_t count = 0;
    std::size_t files = 0;          // the files of the assembly, and one for any other number
    std::size_t location_width = 0; // of the widest "FILE:LINE"
};

// The place of a file among the `files` of a listing: its number, or the
// last place for a number that names no file of the assembly.
inline std::size_t listing_slot(std::size_t files, std::uint16_t file) {
    return file < files ? file : files - 1;
}

// The path of a file of the assembly, as the listing shows it: "" for a
// number that names no file.
const char* listing_path(const AssemblerState& state, std::uint16_t file);

// Groups the `count` records of an assembly into the lines of its listing.
// False for more records than a listing numbers; throws std::bad_alloc
// when memory runs out.
bool form_listing_lines(ListingLines& listing, const AssemblerState& state,
                        const ListingRecord* records, std::size_t count);

// Writes the listing whose lines `listing` holds, formed from `records`, to
// `file`, which stays open; `texts` holds the source text of each line, or
// is nullptr to show none. False when a write failed; throws
// std::bad_alloc when memory runs out.
bool write_listing(const AssemblerState& state, const ListingRecord* records,
                   const ListingLines& listing, const ShownText* texts, std::FILE* file);
