#include "lsp/decorations.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

const char* const SEMANTIC_TOKEN_TYPES[] = {
    "namespace",  // Label
    "property",   // Sublabel
    "macro",      // Macro
    "function",   // LabelCall
    "variable",   // Reference
    "keyword",    // Instruction
    "modifier",   // ModeLetters
    "number",     // Literal
    "enumMember", // RawData
    "string",     // Text
    "operator",   // Padding
    "type",       // Include
    "comment",    // Comment
};
const std::size_t SEMANTIC_TOKEN_TYPE_COUNT = std::size(SEMANTIC_TOKEN_TYPES);
const char* const SEMANTIC_TOKEN_MODIFIERS[] = {"declaration"};
const std::size_t SEMANTIC_TOKEN_MODIFIER_COUNT = std::size(SEMANTIC_TOKEN_MODIFIERS);

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\0';
}

std::string hex_short(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value & 0xffff);
    return text;
}

std::size_t line_start(Program& program, std::uint32_t line) {
    return lines_of(*program.focus)
        .offset_of({static_cast<std::int64_t>(line) - 1, 0}, PositionEncoding::Utf8);
}

// Calls `visit(range)` for each whitespace-separated token of `text`.
template <typename Visit> void for_each_token(const std::string& text, Visit visit) {
    for (std::size_t at = 0; at < text.size();) {
        while (at < text.size() && is_space(text[at])) at++;
        std::size_t begin = at;
        while (at < text.size() && !is_space(text[at])) at++;
        if (at > begin) visit(ByteRange{begin, at});
    }
}

} // namespace

std::vector<InlayHint> inlay_hints(Program& program, std::size_t begin, std::size_t end) {
    std::vector<InlayHint> hints;
    const orvasm_result* result = program.result.get();
    Place place;
    for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++) {
        const orvasm_symbol& symbol = *orvasm_result_symbol(result, i);
        if (in_focus(program, symbol.definition) &&
            token_place(program, symbol.definition, place) && place.range.end >= begin &&
            place.range.end <= end)
            hints.push_back({place.range.end, hex_short(symbol.address), false});
    }
    // The document's own token that each record comes from (depth 0), and
    // the lines given an address already.
    std::uint32_t line = 0, last_line = 0;
    for (std::size_t i = 0; i < orvasm_result_listing_count(result); i++) {
        const orvasm_listing_record& record = *orvasm_result_listing(result, i);
        if (record.depth == 0) line = in_focus(program, record.position) ? record.position.line : 0;
        if (record.kind != ORVASM_LIST_BYTES || record.size == 0 || line == 0 || line == last_line)
            continue;
        last_line = line;
        std::size_t start = line_start(program, line);
        if (start >= begin && start < end)
            hints.push_back({start, hex_short(record.address), true});
    }
    std::stable_sort(hints.begin(), hints.end(),
                     [](const InlayHint& a, const InlayHint& b) { return a.offset < b.offset; });
    return hints;
}

namespace {

// Each top-level label of the document folds to the line before the next.
void label_folds(Program& program, std::vector<Fold>& folds) {
    const orvasm_result* result = program.result.get();
    const std::string& text = program.focus->text;
    std::vector<std::size_t> starts;
    Place place;
    for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++) {
        const orvasm_symbol& symbol = *orvasm_result_symbol(result, i);
        if (std::strchr(symbol.name, '/') == nullptr && in_focus(program, symbol.definition) &&
            token_place(program, symbol.definition, place))
            starts.push_back(line_start(program, symbol.definition.line));
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    std::size_t last = text.size();
    while (last > 0 && is_space(text[last - 1])) last--;
    for (std::size_t i = 0; i < starts.size(); i++) {
        std::size_t end = i + 1 < starts.size() ? starts[i + 1] : last;
        while (end > starts[i] && is_space(text[end - 1])) end--;
        folds.push_back({starts[i], end, false});
    }
}

// Each macro of the document, from its name to its last body token.
void macro_folds(Program& program, std::vector<Fold>& folds) {
    const orvasm_result* result = program.result.get();
    Place first, last;
    for (std::size_t i = 0; i < orvasm_result_macro_count(result); i++) {
        const orvasm_macro& macro = *orvasm_result_macro(result, i);
        const orvasm_token* end = macro.body_length == 0
                                      ? nullptr
                                      : orvasm_result_macro_body(result, i, macro.body_length - 1);
        if (end && in_focus(program, macro.position) && in_focus(program, end->position) &&
            token_place(program, macro.position, first) &&
            token_place(program, end->position, last))
            folds.push_back({first.range.begin, last.range.end, false});
    }
}

} // namespace

void for_each_token_kind(const std::string& text,
                         const std::function<void(ByteRange, int, bool)>& visit) {
    int depth = 0;
    enum { Outside, Opening, Body } macro = Outside;
    for_each_token(text, [&](ByteRange range) {
        std::string_view token(text.data() + range.begin, range.end - range.begin);
        int kind = orvasm_token_kind(token.data(), token.size());
        if (macro != Outside) {
            bool brace = (macro == Opening && token == "{") || token[0] == '}';
            macro = token[0] == '}' ? Outside : Body;
            return visit(range, brace ? ORVASM_TOKEN_BRACKET : kind, false);
        }
        if (depth > 0) {
            if (token == "(") depth++;
            if (token == ")") depth--;
            return visit(range, ORVASM_TOKEN_COMMENT, true);
        }
        if (kind == ORVASM_TOKEN_COMMENT || kind == ORVASM_TOKEN_MALFORMED_COMMENT) depth = 1;
        if (kind == ORVASM_TOKEN_MACRO) macro = Opening;
        visit(range, kind, false);
    });
}

#ifdef ORVASM_TOKEN_KINDS

namespace {

// The semantic token of a token outside comments, by the library's kind;
// false for tokens that get none (a lone bracket).
bool classify(Program& program, std::string_view token, int kind, SemanticToken& out) {
    switch (kind) {
    case ORVASM_TOKEN_INCLUDE: out.type = TokenType::Include; return true;
    case ORVASM_TOKEN_MACRO: out = {out.range, TokenType::Macro, DEFINITION_MODIFIER}; return true;
    case ORVASM_TOKEN_ABSOLUTE_PADDING:
    case ORVASM_TOKEN_RELATIVE_PADDING: out.type = TokenType::Padding; return true;
    case ORVASM_TOKEN_LABEL: out = {out.range, TokenType::Label, DEFINITION_MODIFIER}; return true;
    case ORVASM_TOKEN_SUBLABEL:
        out = {out.range, TokenType::Sublabel, DEFINITION_MODIFIER};
        return true;
    case ORVASM_TOKEN_LITERAL: out.type = TokenType::Literal; return true;
    case ORVASM_TOKEN_TEXT: out.type = TokenType::Text; return true;
    case ORVASM_TOKEN_INSTRUCTION: out.type = TokenType::Instruction; return true;
    case ORVASM_TOKEN_RAW_BYTE:
    case ORVASM_TOKEN_RAW_SHORT: out.type = TokenType::RawData; return true;
    case ORVASM_TOKEN_RELATIVE_REFERENCE:
    case ORVASM_TOKEN_ZERO_PAGE_REFERENCE:
    case ORVASM_TOKEN_ABSOLUTE_REFERENCE:
    case ORVASM_TOKEN_RELATIVE_SHORT_REFERENCE: out.type = TokenType::Reference; return true;
    case ORVASM_TOKEN_WORD: {
        const orvasm_result* result = program.result.get();
        out.type = TokenType::LabelCall;
        for (std::size_t i = 0; i < orvasm_result_macro_count(result); i++)
            if (token == orvasm_result_macro(result, i)->name) out.type = TokenType::Macro;
        return true;
    }
    default: return false;
    }
}

} // namespace

std::vector<SemanticToken> semantic_tokens(Program& program, std::size_t begin, std::size_t end) {
    const std::string& text = program.focus->text;
    std::vector<SemanticToken> tokens;
    for_each_token_kind(text, [&](ByteRange range, int kind, bool in_comment) {
        if (range.end <= begin || range.begin >= end) return;
        SemanticToken token{range, TokenType::Comment, 0};
        if (in_comment || kind == ORVASM_TOKEN_COMMENT || kind == ORVASM_TOKEN_MALFORMED_COMMENT)
            return tokens.push_back(token);
        std::string_view word(text.data() + range.begin, range.end - range.begin);
        if (!classify(program, word, kind, token)) return;
        // An instruction's mode letters after its three-letter mnemonic.
        if (token.type == TokenType::Instruction && word.size() > 3) {
            tokens.push_back({{range.begin, range.begin + 3}, TokenType::Instruction, 0});
            token = {{range.begin + 3, range.end}, TokenType::ModeLetters, 0};
        }
        tokens.push_back(token);
    });
    return tokens;
}

std::vector<Fold> folding_ranges(Program& program) {
    std::vector<Fold> folds;
    label_folds(program, folds);
    macro_folds(program, folds);
    // Each comment, from its "(" to the token that closes it.
    bool open = false;
    for_each_token_kind(program.focus->text, [&](ByteRange range, int kind, bool in_comment) {
        if (!in_comment &&
            (kind == ORVASM_TOKEN_COMMENT || kind == ORVASM_TOKEN_MALFORMED_COMMENT)) {
            folds.push_back({range.begin, range.end, true});
            open = true;
        } else if (in_comment && open) {
            folds.back().end = range.end;
        } else {
            open = false;
        }
    });
    return folds;
}

#else // a library without token kinds: no semantic tokens, no comment folds

std::vector<SemanticToken> semantic_tokens(Program&, std::size_t, std::size_t) {
    return {};
}

std::vector<Fold> folding_ranges(Program& program) {
    std::vector<Fold> folds;
    label_folds(program, folds);
    macro_folds(program, folds);
    return folds;
}

#endif
