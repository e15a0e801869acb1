// The state of one file being read as tokens: its read buffer and where the
// reader stands in it. The reader itself is in token_reader.hpp; this record
// is apart so that the state can hold one per level of includes without its
// users compiling the reader.
#pragma once

#include <cstdint>
#include <cstdio>

#include "assembler/token_widths.hpp"

// A token that reaches the end of the buffer is moved to its front before
// the next block is read, so the widest token, MAX_TOKEN_WIDTH, must be much
// shorter than the buffer.
constexpr std::uint32_t STREAM_BUFFER_SIZE = 16384;
// Bytes after the block that may be read but hold no data: a token is copied
// out as one fixed-size block of MAX_TOKEN_WIDTH + 1 bytes, whatever its length.
constexpr std::uint32_t STREAM_SLACK = MAX_TOKEN_WIDTH + 1;

struct TokenStream {
    std::FILE* file;
    const char* path; // named in the read-error message
    std::uint32_t position;
    std::uint32_t end;
    bool exhausted; // nothing more will be read from `file`
    bool failed;    // a read error happened; the stream is not read further
    // The scanning loops plant a stop byte after the data instead of testing
    // for its end at every byte, and the comment search reads whole 8-byte
    // words up to that stop byte.
    unsigned char buffer[STREAM_BUFFER_SIZE + STREAM_SLACK];
};
