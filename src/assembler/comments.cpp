// Comments, and the one rule they follow wherever they are read. A token
// that begins with "(" opens a comment; one longer than "(" opens it all the
// same, with the warning "-- Malformed comment: TOKEN". Inside, only tokens
// whose whole text is "(" or ")" count: "(" nests one level deeper, ")"
// closes one, and the comment ends when the depth falls below 1. Every
// other token is skipped unread, "c)" and "(b" included.
//
// The rule runs in two places, which must agree:
// - In a stream (the source or an included file), skip_comment hands the
//   depth to skip_comment_tokens (token_reader.cpp), which finds the
//   parentheses in the reader's buffer without copying tokens out. Comment
//   text is read at MAX_TOKEN_WIDTH, so a run of 64 characters that ends in
//   ")" arrives as a piece and a lone ")", which counts. A comment still
//   open at the end of its stream ends there.
// - In a macro body, skip_body_comment walks the stored tokens: a comment
//   ends at its ")" or with the body, and never reads on into the stream
//   where the macro is used.
#include "assembler/assembler.hpp"
#include "common/diagnostics.hpp"

// Warns about an opening token longer than "("; returns the depth, 1.
static int open_comment(AssemblerState& state, const char* opening) {
    if (opening[1] != '\0') report_warning(state, "Malformed comment", opening);
    return 1;
}

// The depth after `token`: only a lone "(" or ")" changes it.
static std::int64_t comment_depth_after(const char* token, std::int64_t depth) {
    if (token[0] == '\0' || token[1] != '\0') return depth;
    if (token[0] == '(') return depth + 1;
    if (token[0] == ')') return depth - 1;
    return depth;
}

void skip_comment(AssemblerState& state, const char* opening, TokenStream& stream) {
    skip_comments(stream, open_comment(state, opening));
}

int skip_body_comment(AssemblerState& state, const Macro& macro, int first) {
    std::int64_t depth = open_comment(state, macro.body[first]);
    int i = first + 1;
    for (; i < macro.body_length && depth >= 1; i++)
        depth = comment_depth_after(macro.body[i], depth);
    return i;
}
