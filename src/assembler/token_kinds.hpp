// What a token is by its first byte: the one table that the pass dispatches
// on (handle_token, dispatch.cpp) and that the library's orvasm_token_kind
// answers from, for the language server and the playground. The reference
// sigils come from reference_forms, their own table; every other sigil is a
// row here. Adding a sigil is adding a row, a case in handle_token and a
// kind in orvasm.h.
#pragma once

#include <cstdint>

#include "assembler/assembler.hpp"

enum class Sigil : std::uint8_t {
    Word,            // nothing else: an instruction, raw hex, a macro use or a label call
    Comment,         // "(": a comment, up to its lone ")"
    Include,         // "~path"
    Macro,           // "%name": a macro definition
    AbsolutePadding, // "|hex"
    RelativePadding, // "$hex"
    Label,           // "@name"
    Sublabel,        // "&name"
    Literal,         // "#hex"
    Text,            // "\"text"
    Bracket,         // "[" or "]": ignored alone, a word otherwise
    Reference,       // a row of reference_forms
};

struct SigilTable {
    Sigil by_byte[256] = {};
    constexpr SigilTable() {
        const struct {
            char byte;
            Sigil sigil;
        } rows[] = {
            {'(', Sigil::Comment},         {'~', Sigil::Include},         {'%', Sigil::Macro},
            {'|', Sigil::AbsolutePadding}, {'$', Sigil::RelativePadding}, {'@', Sigil::Label},
            {'&', Sigil::Sublabel},        {'#', Sigil::Literal},         {'"', Sigil::Text},
            {'[', Sigil::Bracket},         {']', Sigil::Bracket},
        };
        for (const auto& row : rows) by_byte[static_cast<unsigned char>(row.byte)] = row.sigil;
        // Byte 0 has the row of a label call there, but starts an empty word.
        for (int byte = 1; byte < 256; byte++)
            if (reference_forms.by_sigil[byte].kind != ReferenceKind::None)
                by_byte[byte] = Sigil::Reference;
    }
};

inline constexpr SigilTable sigils;

inline Sigil sigil_of(char first) {
    return sigils.by_byte[static_cast<unsigned char>(first)];
}
