// Splits a stream into tokens exactly as "%Ns" formatted scanning does:
// leading whitespace (blank, tab, line feed, vertical tab, form feed,
// carriage return) is skipped, then at most `width` other bytes are taken,
// so a longer run arrives as several tokens. A 0x00 byte is taken into the
// token but ends its text. Reading is done in blocks into the stream's own
// buffer, so there is no library call per token.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "assembler/reader_masks.hpp"
#include "assembler/token_stream.hpp"

void open_token_stream(TokenStream& stream, std::FILE* file, const char* path);

// Reads the next token of at most `width` (up to MAX_TOKEN_WIDTH) characters
// into `token`, which holds MAX_TOKEN_WIDTH + 1 bytes whatever the width, and
// returns the length of its text, which ends at the first 0x00. Returns -1 at
// the end of the stream or on a read error, which also sets `failed`.
// Defined below, so that the reading loops inline the common case.
inline int read_token(TokenStream& stream, char* token, int width);

// Consumes what read_token with width MAX_TOKEN_WIDTH would return, without
// copying it, while `depth` stays at least 1: a token whose text is exactly
// "(" adds one, exactly ")" takes one away, and the stream is left just after
// the token that brought the depth below 1, or at its end. This is the
// comment rule of comments.cpp, run over the stream's buffer. The depth has
// 64 bits: no file holds enough "(" to overflow it.
void skip_comment_tokens(TokenStream& stream, std::int64_t depth);

// skip_comment_tokens, then the comments that follow with only whitespace
// before their lone "(", as long as that "(" is in the block already: a run
// of comments is skipped here instead of one return through the reader and
// the dispatch each.
void skip_comments(TokenStream& stream, std::int64_t depth);

// --- The common case of read_token, inlined where tokens are read ---

// The C locale's whitespace; every other byte, 0x00 and 0x80-0xff included,
// belongs to a token.
struct TokenByteClasses {
    bool space[256] = {};
    bool ends_text[256] = {}; // whitespace, and the 0x00 that ends a token's text
    constexpr TokenByteClasses() {
        const char blanks[] = " \t\n\v\f\r";
        for (const char* c = blanks; *c; c++) {
            space[static_cast<unsigned char>(*c)] = true;
            ends_text[static_cast<unsigned char>(*c)] = true;
        }
        ends_text[0] = true;
    }
};

inline constexpr TokenByteClasses token_bytes;

// Consumes the token at `position`, of at most `limit` bytes, all in the
// block, into `token`; returns the length of its text. One fixed-size copy
// costs less than a loop over a short token; the token then ends at the
// first whitespace in the copy, or at the blank planted at its limit.
static_assert(STREAM_SLACK >= MASK_STEP, "the masks read a whole step past a token's start");

inline int take_token(TokenStream& stream, char* token, std::uint32_t limit) {
    stream.token_start = stream.position;
    std::memcpy(token, stream.buffer + stream.position, MAX_TOKEN_WIDTH + 1);
    token[limit] = ' ';
    // Most texts end within 16 bytes, at the first byte up to the blank
    // there, which one mask finds; from a control byte, past the step or
    // at the limit, the loop reads on to the end. The buffer holds a step
    // of slack after its data.
    std::uint64_t candidates = blank_or_below(stream.buffer + stream.position) |
                               std::uint64_t{1} << MASK_STEP | std::uint64_t{1} << limit;
    char* end = token + std::countr_zero(candidates);
    while (!token_bytes.ends_text[static_cast<unsigned char>(*end)]) end++;
    auto length = static_cast<int>(end - token);
    // A 0x00 ends the text, not the token: the rest of the token is consumed.
    while (!token_bytes.space[static_cast<unsigned char>(*end)]) end++;
    *end = '\0';
    stream.position += static_cast<std::uint32_t>(end - token);
    return length;
}

// read_token for a token that may go on past the end of the block.
int read_token_near_end(TokenStream& stream, char* token, std::uint32_t wanted);

inline int read_token(TokenStream& stream, char* token, int width) {
    auto wanted = static_cast<std::uint32_t>(width);
    // A token byte is planted after the block, so this stops there at the latest.
    const unsigned char* at = stream.buffer + stream.position;
    while (token_bytes.space[*at]) at++;
    stream.position = static_cast<std::uint32_t>(at - stream.buffer);
    if (stream.end - stream.position < wanted) return read_token_near_end(stream, token, wanted);
    // A failed read leaves fewer than `wanted` bytes, so it never gets here.
    return take_token(stream, token, wanted);
}

// Counts the lines of the buffer from where counting stopped up to `until`.
void count_lines(TokenStream& stream, std::uint32_t until);

// The texts of listed lines (listing.cpp), for a stream whose `listing` is
// set: as bytes from `keep` on are about to be all the buffer holds, saves
// the first bytes of the line being read; once a block has been read,
// gives the observer the text of a line that was open at the block's end.
void keep_line_head(TokenStream& stream, std::uint32_t keep);
void finish_line_text(TokenStream& stream);

// Counts the lines of the buffer from `from`, where counting stopped, up to
// `until`, a step of 16 bytes at a time: for the few bytes between two
// tokens. The buffer holds a step of slack after its data, and the bytes
// past `until` are masked off.
inline void count_line_feeds(TokenStream& stream, std::uint32_t from, std::uint32_t until) {
    for (std::uint32_t at = from; at < until; at += MASK_STEP) {
        unsigned feeds = line_feeds(stream.buffer + at);
        if (std::uint32_t left = until - at; left < MASK_STEP) feeds &= (1u << left) - 1;
        if (!feeds) continue;
        stream.line_start =
            stream.discarded + at + static_cast<std::uint32_t>(32 - std::countl_zero(feeds));
        for (; feeds; feeds &= feeds - 1) stream.line++;
    }
    stream.counted = stream.discarded + until;
}

// read_token for a pass that makes a listing, which asks where every token
// begins: also counts the line ends in the whitespace it skips, so that no
// byte is looked at twice and token_position has the token's place at
// hand (token_position). A token holds no line end, so the count then stands at its end.
inline int read_counted_token(TokenStream& stream, char* token, int width) {
    if (stream.counted != stream.discarded + stream.position) count_lines(stream, stream.position);
    auto wanted = static_cast<std::uint32_t>(width);
    const unsigned char* at = stream.buffer + stream.position;
    for (; token_bytes.space[*at]; at++) {
        if (*at != '\n') continue;
        stream.line++;
        stream.line_start = stream.discarded + static_cast<std::uint32_t>(at + 1 - stream.buffer);
    }
    stream.position = static_cast<std::uint32_t>(at - stream.buffer);
    if (stream.end - stream.position < wanted) {
        stream.counted = stream.discarded + stream.position;
        int length = read_token_near_end(stream, token, wanted);
        // Whitespace in the next block was skipped without being counted.
        if (length >= 0) count_lines(stream, stream.token_start);
        return length;
    }
    int length = take_token(stream, token, wanted);
    stream.counted = stream.discarded + stream.position;
    return length;
}
