// What an editor draws over a document, from one assembly of its program:
// inlay hints (addresses), folding ranges and semantic tokens. Everything is
// in byte offsets of the document; the server turns them into positions.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "lsp/analysis.hpp"

// A hint shown at `offset`: a label's address after its name, or the
// address of a line's first byte before the line.
struct InlayHint {
    std::size_t offset;
    std::string label;
    bool before; // before the text at `offset` (a line's address), else after
};

// Hints in the document's bytes [begin, end): each label defined there, and
// each line whose own tokens write bytes.
std::vector<InlayHint> inlay_hints(Program& program, std::size_t begin, std::size_t end);

// A fold from the line of byte `begin` to the line of byte `end`.
struct Fold {
    std::size_t begin;
    std::size_t end;
    bool comment;
};

// Comments over several lines, macro bodies, and the lines from each label
// to the next (or to the end); folds of one line are left out by the caller.
std::vector<Fold> folding_ranges(Program& program);

// The kinds of semantic tokens, in the order of the legend the server
// announces (SEMANTIC_TOKEN_TYPES).
enum class TokenType {
    Label,
    Sublabel,
    Macro,
    LabelCall,
    Reference,
    Instruction,
    ModeLetters,
    Literal,
    RawData,
    Text,
    Padding,
    Include,
    Comment,
};
extern const char* const SEMANTIC_TOKEN_TYPES[];
extern const std::size_t SEMANTIC_TOKEN_TYPE_COUNT;
// Modifier bits: a definition.
constexpr unsigned DEFINITION_MODIFIER = 1;
extern const char* const SEMANTIC_TOKEN_MODIFIERS[];
extern const std::size_t SEMANTIC_TOKEN_MODIFIER_COUNT;

// Whether the library names token kinds, which semantic tokens need.
#ifdef ORVASM_TOKEN_KINDS
constexpr bool SEMANTIC_TOKENS_AVAILABLE = true;
#else
constexpr bool SEMANTIC_TOKENS_AVAILABLE = false;
#endif

struct SemanticToken {
    ByteRange range;
    TokenType type;
    unsigned modifiers;
};

// Calls `visit(range, kind, in_comment)` for each whitespace-separated
// token of `text`: `kind` is the library's, a comment's own tokens come
// in_comment, and a macro definition's braces as brackets (its body is
// stored, not read, so "(" opens no comment there).
void for_each_token_kind(const std::string& text,
                         const std::function<void(ByteRange, int, bool)>& visit);

// The tokens of the document's bytes [begin, end), in order, as the
// assembler reads them: the kind from the library's table of token kinds, a
// word as a macro use when the program defines that macro, else a label
// call; every token of a comment as comment.
std::vector<SemanticToken> semantic_tokens(Program& program, std::size_t begin, std::size_t end);
