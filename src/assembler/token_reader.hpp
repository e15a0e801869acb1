// Splits a stream into tokens exactly as "%Ns" formatted scanning does:
// leading whitespace (blank, tab, line feed, vertical tab, form feed,
// carriage return) is skipped, then at most `width` other bytes are taken,
// so a longer run arrives as several tokens. A 0x00 byte is taken into the
// token but ends its text. Reading is done in blocks into the stream's own
// buffer, so there is no library call per token.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr std::uint32_t STREAM_BUFFER_SIZE = 16384;

struct TokenStream {
    std::FILE* file;
    const char* path; // named in the read-error message
    std::uint32_t position;
    std::uint32_t end;
    bool exhausted; // nothing more will be read from `file`
    bool failed;    // a read error happened; the stream is not read further
    unsigned char buffer[STREAM_BUFFER_SIZE];
};

void open_token_stream(TokenStream& stream, std::FILE* file, const char* path);

// Reads the next token of at most `width` characters into `token`, which
// holds width + 1 bytes. Returns false at the end of the stream or on a read
// error, which also sets `failed`.
bool read_token(TokenStream& stream, char* token, int width);
