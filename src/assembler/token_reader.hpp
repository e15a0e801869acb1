// Splits a stream into tokens exactly as "%Ns" formatted scanning does:
// leading whitespace (blank, tab, line feed, vertical tab, form feed,
// carriage return) is skipped, then at most `width` other bytes are taken,
// so a longer run arrives as several tokens. A 0x00 byte is taken into the
// token but ends its text. Reading is done in blocks into the stream's own
// buffer, so there is no library call per token.
#pragma once

#include <cstdint>
#include <cstdio>

// The widest token any reader asks for; a token that reaches the end of the
// buffer is moved to its front before the next block is read, so it must be
// much shorter than the buffer.
constexpr int MAX_TOKEN_WIDTH = 63;

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

void open_token_stream(TokenStream& stream, std::FILE* file, const char* path);

// Reads the next token of at most `width` (up to MAX_TOKEN_WIDTH) characters
// into `token`, which holds MAX_TOKEN_WIDTH + 1 bytes whatever the width.
// Returns false at the end of the stream or on a read error, which also sets
// `failed`.
bool read_token(TokenStream& stream, char* token, int width);

// read_token, returning the length of the token's text, which ends at the
// first 0x00, or -1 where read_token returns false.
int read_token_text(TokenStream& stream, char* token, int width);

// Consumes what read_token with width MAX_TOKEN_WIDTH would return, without
// copying it, while `depth` stays at least 1: a token whose text is exactly
// "(" adds one, exactly ")" takes one away, and the stream is left just after
// the token that brought the depth below 1, or at its end.
void skip_comment_tokens(TokenStream& stream, int depth);
