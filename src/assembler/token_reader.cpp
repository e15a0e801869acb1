// The token reader's blocks and its slow paths: refilling the buffer, tokens
// that run past the end of a block, and the skipping of comment text, which
// looks for parentheses a word at a time instead of reading every token. The
// common case of reading a token is inline, in token_reader.hpp.
#include "assembler/token_reader.hpp"

#include <bit>
#include <cstring>

namespace {

bool is_space(unsigned char c) {
    return token_bytes.space[c];
}

// The scanning loops stop at a byte planted after the block instead of
// testing for its end at every byte: a ")" is a token byte, which ends the
// skipping of whitespace, and a byte that the comment search stops at.
constexpr unsigned char STOP_AFTER_BLOCK = ')';

// Moves the bytes from `keep` on to the front of the buffer and reads the
// next block after them; `position` moves with them. Returns false when no
// byte was added.
bool refill(TokenStream& stream, std::uint32_t keep) {
    if (stream.exhausted) return false;
    std::uint32_t kept = stream.end - keep;
    std::memmove(stream.buffer, stream.buffer + keep, kept);
    stream.position -= keep;
    std::size_t count = std::fread(stream.buffer + kept, 1, STREAM_BUFFER_SIZE - kept, stream.file);
    stream.end = kept + static_cast<std::uint32_t>(count);
    // The comment search reads a little past the data; let it read zeros.
    std::memset(stream.buffer + stream.end, 0, sizeof(std::uint64_t));
    stream.buffer[stream.end] = STOP_AFTER_BLOCK;
    if (count == 0) {
        stream.exhausted = true;
        stream.failed = std::ferror(stream.file) != 0;
        return false;
    }
    return true;
}

// Leaves `position` at the next token byte; false at the end of the stream.
bool skip_space(TokenStream& stream) {
    for (;;) {
        const unsigned char* at = stream.buffer + stream.position;
        while (is_space(*at)) at++;
        stream.position = static_cast<std::uint32_t>(at - stream.buffer);
        if (stream.position < stream.end) return true;
        if (!refill(stream, stream.end)) return false;
    }
}

// The first "(" or ")" at or after `from`, or `end` when there is none.
// Whole words are tested at a time: with the low bit set, both bytes become
// ")", and a zero byte in (word ^ ")))))))") marks a match; the lowest such
// byte is found exactly, so the first match in memory order wins.
std::uint32_t find_parenthesis(const TokenStream& stream, std::uint32_t from) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t ones = 0x0101010101010101;
        constexpr std::uint64_t highs = 0x8080808080808080;
        constexpr std::uint64_t closing = ones * ')';
        for (;; from += 8) {
            std::uint64_t word;
            std::memcpy(&word, stream.buffer + from, sizeof word);
            std::uint64_t x = (word | ones) ^ closing;
            std::uint64_t matches = (x - ones) & ~x & highs;
            if (matches) return from + static_cast<std::uint32_t>(std::countr_zero(matches) / 8);
        }
    }
    while ((stream.buffer[from] | 1) != ')') from++;
    return from;
}

// Where the token that holds the byte at `at` starts, when the stream is read
// with width MAX_TOKEN_WIDTH: a run of token bytes is cut into pieces of that
// width. `position` is where a token starts (or `search` itself), and no
// whitespace lies between `position` and `search`, so only the bytes from
// `search` to `at` need to be looked at.
std::uint32_t token_start(const TokenStream& stream, std::uint32_t search, std::uint32_t at) {
    std::uint32_t run = at;
    while (run > search && !is_space(stream.buffer[run - 1])) run--;
    if (run == search) run = stream.position;
    std::uint32_t offset = at - run;
    return offset < MAX_TOKEN_WIDTH ? run : at - offset % MAX_TOKEN_WIDTH;
}

// Leaves `position` at a token whose `wanted` bytes are all in the block, or
// as many as the stream has left; false at the end of the stream. Apart from
// the first, only the tokens near the end of a block come here.
__attribute__((noinline)) bool fetch_token(TokenStream& stream, std::uint32_t wanted) {
    if (!skip_space(stream)) return false;
    while (stream.end - stream.position < wanted && refill(stream, stream.position)) {
    }
    return true;
}

} // namespace

void open_token_stream(TokenStream& stream, std::FILE* file, const char* path) {
    stream.file = file;
    stream.path = path;
    stream.position = 0;
    stream.end = 0;
    stream.exhausted = false;
    stream.failed = false;
    stream.buffer[0] = STOP_AFTER_BLOCK;
}

int read_token_near_end(TokenStream& stream, char* token, std::uint32_t wanted) {
    if (!fetch_token(stream, wanted)) return -1;
    std::uint32_t available = stream.end - stream.position;
    int length = take_token(stream, token, available < wanted ? available : wanted);
    // A token cut short by a read error is not handed on.
    return stream.failed ? -1 : length;
}

void skip_comment_tokens(TokenStream& stream, int depth) {
    // Only tokens that begin with a parenthesis can change the depth, and
    // they are rare in prose: search for those bytes and read a real token
    // only where one starts.
    std::uint32_t search = stream.position;
    for (;;) {
        std::uint32_t found = find_parenthesis(stream, search);
        if (found == stream.end) {
            // Keep the partial token at the end of the block for the next one.
            stream.position = token_start(stream, search, stream.end);
            std::uint32_t kept = stream.end - stream.position;
            if (!refill(stream, stream.position)) {
                stream.position = stream.end;
                return;
            }
            search = kept;
            continue;
        }
        std::uint32_t start = token_start(stream, search, found);
        stream.position = start;
        search = found + 1;
        if (start != found) continue;
        // A token starts with a parenthesis; it counts if its text ends there.
        int change = stream.buffer[found] == '(' ? 1 : -1;
        if (found + 1 < stream.end && is_space(stream.buffer[found + 1])) {
            stream.position = found + 1;
        } else if (found + 1 == stream.end || stream.buffer[found + 1] == '\0') {
            // Rare: the token may go on in the next block, or it holds a
            // 0x00 and the rest of the token must be consumed with it.
            char token[MAX_TOKEN_WIDTH + 1];
            if (read_token(stream, token, MAX_TOKEN_WIDTH) < 0) return;
            if (token[1] != '\0') change = 0;
            search = stream.position;
        } else {
            continue;
        }
        depth += change;
        if (depth < 1) return;
    }
}
