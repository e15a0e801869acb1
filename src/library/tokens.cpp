// What a token is, for the tools around the assembler: its kind from the
// table the pass dispatches on (token_kinds.hpp) and from the tests
// handle_word makes, where its name starts, and where it ends as the reader
// reads it (token_reader.hpp).
#include <cstring>

#include "assembler/token_kinds.hpp"
#include "common/text.hpp"
#include "orvasm/orvasm.h"

namespace {

int reference_kind(char sigil) {
    // GCOVR_EXCL_BR_START: called for a reference's sigil, never None; no default is taken
    switch (reference_form(sigil).kind) {
    case ReferenceKind::RelativeByte: return ORVASM_TOKEN_RELATIVE_REFERENCE;
    case ReferenceKind::ZeroPageByte: return ORVASM_TOKEN_ZERO_PAGE_REFERENCE;
    case ReferenceKind::AbsoluteShort: return ORVASM_TOKEN_ABSOLUTE_REFERENCE;
    case ReferenceKind::RelativeShort: return ORVASM_TOKEN_RELATIVE_SHORT_REFERENCE;
    case ReferenceKind::None: break;
    }
    // GCOVR_EXCL_BR_STOP
    return ORVASM_TOKEN_WORD;
}

// A word as handle_word tells it apart, in that order: an instruction, a raw
// byte or short, else a name. `word` is terminated.
int word_kind(const char* word, std::size_t length) {
    if (is_instruction_word(word, static_cast<int>(length))) return ORVASM_TOKEN_INSTRUCTION;
    std::uint32_t value;
    if (length == 2 && read_hex_word(word, value)) return ORVASM_TOKEN_RAW_BYTE;
    if (length == 4 && read_hex_word(word, value)) return ORVASM_TOKEN_RAW_SHORT;
    return ORVASM_TOKEN_WORD;
}

int kind_of(const char* text, std::size_t length) {
    switch (sigil_of(text[0])) { // GCOVR_EXCL_BR_LINE: every sigil has its case
    case Sigil::Comment: return length == 1 ? ORVASM_TOKEN_COMMENT : ORVASM_TOKEN_MALFORMED_COMMENT;
    case Sigil::Include: return ORVASM_TOKEN_INCLUDE;
    case Sigil::Macro: return ORVASM_TOKEN_MACRO;
    case Sigil::AbsolutePadding: return ORVASM_TOKEN_ABSOLUTE_PADDING;
    case Sigil::RelativePadding: return ORVASM_TOKEN_RELATIVE_PADDING;
    case Sigil::Label: return ORVASM_TOKEN_LABEL;
    case Sigil::Sublabel: return ORVASM_TOKEN_SUBLABEL;
    case Sigil::Literal: return ORVASM_TOKEN_LITERAL;
    case Sigil::Text: return ORVASM_TOKEN_TEXT;
    case Sigil::Reference: return reference_kind(text[0]);
    case Sigil::Bracket:
        if (length == 1) return ORVASM_TOKEN_BRACKET;
        break;
    case Sigil::Word: break;
    }
    // Words longer than a name are neither instructions nor hexadecimal.
    if (length >= NAME_SIZE) return ORVASM_TOKEN_WORD;
    char word[NAME_SIZE];
    copy_text(word, text, static_cast<int>(length));
    return word_kind(word, length);
}

// The length of the text: up to its first 0x00; none without bytes.
std::size_t cut_at_nul(const char* text, std::size_t length) {
    if (!text) return 0;
    const void* end = std::memchr(text, '\0', length);
    return end ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : length;
}

} // namespace

extern "C" {

ORVASM_API int orvasm_token_kind(const char* text, size_t length) {
    length = cut_at_nul(text, length);
    return length == 0 ? ORVASM_TOKEN_WORD : kind_of(text, length);
}

ORVASM_API size_t orvasm_token_name_start(const char* text, size_t length) {
    length = cut_at_nul(text, length);
    switch (orvasm_token_kind(text, length)) {
    case ORVASM_TOKEN_WORD: return 0;
    case ORVASM_TOKEN_INCLUDE:
    case ORVASM_TOKEN_MACRO:
    case ORVASM_TOKEN_LABEL:
    case ORVASM_TOKEN_SUBLABEL: return 1;
    case ORVASM_TOKEN_RELATIVE_REFERENCE:
    case ORVASM_TOKEN_ZERO_PAGE_REFERENCE:
    case ORVASM_TOKEN_ABSOLUTE_REFERENCE:
    case ORVASM_TOKEN_RELATIVE_SHORT_REFERENCE:
        // As add_reference: "&" first takes the name in the scope.
        return length > 1 && text[1] == '&' ? 2 : 1;
    default: return length;
    }
}

ORVASM_API size_t orvasm_token_length(const char* text, size_t size) {
    if (!text) return 0;
    std::size_t length = 0;
    while (length < size && !token_bytes.space[static_cast<unsigned char>(text[length])]) length++;
    return length;
}

} // extern "C"
