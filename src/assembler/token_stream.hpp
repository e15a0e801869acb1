// The state of one file being read as tokens: its read buffer and where the
// reader stands in it. The reader itself is in token_reader.hpp; this record
// is apart so that the state can hold one per level of includes without its
// users compiling the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "assembler/token_widths.hpp"

struct ListingObserver;

// The most bytes of a source line a listing keeps and shows.
constexpr std::uint32_t LISTED_TEXT = 256;
constexpr std::uint32_t NEW_TEXT = UINT32_MAX; // ListingObserver::text: a line not yet kept
constexpr std::uint32_t NO_TEXT = UINT32_MAX;  // a record whose line has no text

// Bytes asked of the file at a time: a whole number of the C library's
// buffers (4 or 8 KiB), so that each block is one read straight into the
// stream's buffer. On a source of comments 64 KiB take 2% less time than
// 32 KiB and 6% less than 16 KiB, and 128 KiB no less. Each level of
// includes holds a buffer, whose pages are touched only as far as its file
// reaches: the deepest chain, 65 files of a block or more, touches 4.1 MiB.
constexpr std::uint32_t STREAM_BUFFER_SIZE = 65536;
// Bytes after the data that may be read but hold no data: a token is copied
// out as one fixed-size block of MAX_TOKEN_WIDTH + 1 bytes, whatever its
// length, and the comment search reads whole steps of up to 16 bytes.
constexpr std::uint32_t STREAM_SLACK = MAX_TOKEN_WIDTH + 1;

struct TokenStream {
    std::FILE* file;
    const char* path; // named in the read-error message
    std::uint32_t position;
    std::uint32_t end;
    bool exhausted;            // nothing more will be read from `file`
    bool failed;               // a read error happened; the stream is not read further
    std::uint32_t token_start; // where in `buffer` the last token read begins
    // Lines are counted only for a pass that keeps positions, and only as
    // far as a position is asked for, or as bytes leave the buffer.
    bool counts_lines;
    std::uint64_t discarded;  // bytes of the file that have left the buffer
    std::uint64_t counted;    // the offset in the file up to which lines are counted
    std::uint32_t line;       // the line at `counted`, from 1
    std::uint64_t line_start; // the offset in the file where that line begins
    // The part of a token kept from the previous block (fewer than
    // MAX_TOKEN_WIDTH bytes), then the block. The scanning loops plant a stop
    // byte after the data instead of testing for its end at every byte, and
    // the comment search reads whole steps up to that stop byte.
    unsigned char buffer[MAX_TOKEN_WIDTH + STREAM_BUFFER_SIZE + STREAM_SLACK];
    // With a listing (listing.cpp): the observer that keeps the texts of
    // lines; the first bytes of the line that was being read when bytes
    // last left the buffer; and the text kept last, of `text_line`, which
    // is `text_open` while its end is still to be read.
    const ListingObserver* listing;
    std::uint32_t head_line;
    std::uint32_t head_length;
    std::uint32_t text_line;
    std::uint32_t text;
    bool text_open;
    // The text kept, and a few bytes more: enough to tell a longer line
    // from one whose carriage returns make it look longer.
    char head[LISTED_TEXT + 16];
};
