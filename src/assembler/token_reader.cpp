// The token reader's blocks and its slow paths: refilling the buffer, tokens
// that run past the end of a block, and the skipping of comment text, which
// looks for parentheses a word at a time instead of reading every token. The
// common case of reading a token is inline, in token_reader.hpp.
#include "assembler/token_reader.hpp"

#include <bit>
#include <cstring>

#include "assembler/comment_scan.hpp"

namespace {

bool is_space(unsigned char c) {
    return token_bytes.space[c];
}

// The scanning loops stop at a byte planted after the block instead of
// testing for its end at every byte: a ")" is a token byte, which ends the
// skipping of whitespace, and a byte that the comment search stops at.
constexpr unsigned char STOP_AFTER_BLOCK = ')';
static_assert(STREAM_SLACK >= COMMENT_SCAN_STEP, "the search reads whole steps");

} // namespace

// A short stretch, such as the bytes since the last token whose position
// was asked for, is counted a step of 16 bytes at a time; a long one, such
// as a block leaving the buffer, is searched for its line ends.
void count_lines(TokenStream& stream, std::uint32_t until) {
    if (stream.discarded + until <= stream.counted) return;
    auto from = static_cast<std::uint32_t>(stream.counted - stream.discarded);
    if (until - from < 16 * MASK_STEP) {
        count_line_feeds(stream, from, until);
        return;
    }
    const unsigned char* at = stream.buffer + from;
    const unsigned char* end = stream.buffer + until;
    const unsigned char* last_end = nullptr; // after the last line end seen
    while (const void* found = std::memchr(at, '\n', static_cast<std::size_t>(end - at))) {
        at = static_cast<const unsigned char*>(found) + 1;
        stream.line++;
        last_end = at;
    }
    if (last_end)
        stream.line_start = stream.discarded + static_cast<std::uint64_t>(last_end - stream.buffer);
    stream.counted = stream.discarded + until;
}

namespace {

// Moves the bytes from `keep` on to the front of the buffer and reads the
// next block after them; `position` moves with them. Every caller keeps
// less than a token of MAX_TOKEN_WIDTH bytes. This is the one place where
// bytes leave the buffer. Returns false when no byte was added.
// Out of line, and whole: once a block, and a part of it inlined into the
// comment skip costs that loop registers.
__attribute__((noinline)) bool refill(TokenStream& stream, std::uint32_t keep) {
    if (stream.exhausted) return false;
    if (stream.counts_lines) count_lines(stream, keep);
    if (stream.listing) keep_line_head(stream, keep);
    stream.discarded += keep;
    std::uint32_t kept = stream.end - keep;
    std::memmove(stream.buffer, stream.buffer + keep, kept);
    stream.position -= keep;
    std::size_t count = std::fread(stream.buffer + kept, 1, STREAM_BUFFER_SIZE, stream.file);
    stream.end = kept + static_cast<std::uint32_t>(count);
    // The comment search reads whole steps past the data; let it read zeros.
    std::memset(stream.buffer + stream.end, 0, COMMENT_SCAN_STEP);
    stream.buffer[stream.end] = STOP_AFTER_BLOCK;
    if (count == 0) {
        stream.exhausted = true;
        stream.failed = std::ferror(stream.file) != 0;
    }
    if (stream.listing) finish_line_text(stream);
    return count != 0;
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

// Where the token that holds the byte at `at` starts, when the stream is read
// with width MAX_TOKEN_WIDTH: a run of token bytes is cut into pieces of that
// width. A token starts at `anchor`, at or before `at`, so the run is taken
// to begin there at the earliest.
std::uint32_t token_start(const TokenStream& stream, std::uint32_t anchor, std::uint32_t at) {
    std::uint32_t run = at;
    while (run > anchor && !is_space(stream.buffer[run - 1])) run--;
    std::uint32_t offset = at - run;
    return offset < MAX_TOKEN_WIDTH ? run : at - offset % MAX_TOKEN_WIDTH;
}

// Whether the byte at `found`, which follows a token byte and where no token
// is known to start, lies inside a token: whitespace among the 16 bytes
// before it tells that the token that holds it starts after that whitespace,
// or at a known token start after it, too few bytes before it to be cut
// there. False where that is not known at once.
bool inside_short_token(const TokenStream& stream, std::uint32_t found) {
    return found >= COMMENT_SCAN_STEP && spaces_before(stream.buffer + found) != 0;
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

// After a comment: when only whitespace separates it from a lone "(" in the
// block, consumes that token and returns true. Otherwise leaves `position`
// where it was, for the reader.
bool opens_next_comment(TokenStream& stream) {
    const unsigned char* at = stream.buffer + stream.position;
    // The stop byte after the block ends this at the latest.
    while (is_space(*at)) at++;
    // At the end of the block, at[0] or at[1] is the stop byte, so this fails.
    if (at[0] != '(' || !is_space(at[1])) return false;
    stream.position = static_cast<std::uint32_t>(at + 1 - stream.buffer);
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
    stream.token_start = 0;
    stream.counts_lines = false;
    stream.discarded = 0;
    stream.counted = 0;
    stream.line = 1;
    stream.line_start = 0;
    stream.listing = nullptr;
    stream.head_line = 0;
    stream.head_length = 0;
    stream.text_line = 0;
    stream.text = NO_TEXT;
    stream.text_open = false;
    stream.buffer[0] = STOP_AFTER_BLOCK;
}

int read_token_near_end(TokenStream& stream, char* token, std::uint32_t wanted) {
    if (!fetch_token(stream, wanted)) return -1;
    std::uint32_t available = stream.end - stream.position;
    int length = take_token(stream, token, available < wanted ? available : wanted);
    // A token cut short by a read error is not handed on.
    return stream.failed ? -1 : length;
}

void skip_comment_tokens(TokenStream& stream, std::int64_t depth) {
    // Only tokens that begin with a parenthesis can change the depth, and
    // they are rare in prose: search for those bytes and read a real token
    // only where one starts. `anchor` is a token start at or before the
    // search, for token_start: where the skip began or one it met since.
    std::uint32_t anchor = stream.position;
    std::uint32_t search = anchor;
    for (;;) {
        // `end` when there is none: the stop byte is a parenthesis.
        std::uint32_t found = find_parenthesis(stream.buffer, search);
        if (found == stream.end) {
            // Keep the partial token at the end of the block for the next one.
            stream.position = token_start(stream, anchor, stream.end);
            std::uint32_t kept = stream.end - stream.position;
            if (!refill(stream, stream.position)) {
                stream.position = stream.end;
                return;
            }
            anchor = stream.position;
            search = kept;
            continue;
        }
        search = found + 1;
        // Right after whitespace a token starts; elsewhere only where a long
        // run of token bytes is cut, which token_start works out.
        if (found != anchor && !is_space(stream.buffer[found - 1])) {
            if (inside_short_token(stream, found)) continue;
            anchor = token_start(stream, anchor, found);
            if (anchor != found) continue;
        }
        // A token starts with a parenthesis; it counts if its text ends
        // there. The stop byte after the block is no whitespace.
        int change = stream.buffer[found] == '(' ? 1 : -1;
        if (is_space(stream.buffer[found + 1])) {
            depth += change;
            if (depth >= 1) continue;
            stream.position = found + 1;
            return;
        }
        if (found + 1 != stream.end && stream.buffer[found + 1] != '\0') continue;
        // Rare: the token may go on in the next block, or it holds a 0x00
        // and the rest of the token must be consumed with it.
        stream.position = found;
        char token[MAX_TOKEN_WIDTH + 1];
        if (read_token(stream, token, MAX_TOKEN_WIDTH) < 0) return;
        if (token[1] == '\0') depth += change;
        if (depth < 1) return;
        anchor = stream.position;
        search = anchor;
    }
}

void skip_comments(TokenStream& stream, std::int64_t depth) {
    skip_comment_tokens(stream, depth);
    while (opens_next_comment(stream)) skip_comment_tokens(stream, 1);
}
