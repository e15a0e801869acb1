// Macros are named lists of tokens. A body is stored as text when it is
// defined and only gets its meaning at each use, so labels, scopes, cursors
// and macro names in it are those in force where the macro is used. Only
// the tokens whose bytes never depend on that (instructions, hexadecimal
// words and literals) are encoded once, when the macro is defined.
#include "assembler/assembler.hpp"
#include "assembler/name_index.hpp"
#include "common/diagnostics.hpp"
#include "common/text.hpp"

#include <cstring>

Macro* lookup_macro(AssemblerState& state, const char* field, int length) {
    std::uint16_t slot = *find_name_slot(state.macro_index, state.macros, make_key(field, length));
    return slot ? &state.macros[slot - 1] : nullptr;
}

int define_macro(AssemblerState& state, const char* name, int length, TokenStream& stream) {
    // Held with zero bytes after its end, as the index compares names.
    NameField stored = {};
    copy_text(stored, name, length);
    std::uint16_t* slot = find_name_slot(state.macro_index, state.macros, make_key(stored));
    if (*slot != 0) return report_error(state, "Macro duplicate", name);
    // Stricter than labels on purpose: a label loses only the names of two or
    // four digits, which word handling reads as data, but a macro loses every
    // hexadecimal name of even length ("%abcdef" too), as the manual states
    // and macro_name_six_hex_digits_refused.case pins. Making the two rules
    // alike would change which sources assemble.
    if (length % 2 == 0 && is_hex_word(name))
        return report_error(state, "Macro name is hex number", name);
    if (length == 0 || is_instruction_word(name, length))
        return report_error(state, "Macro name is invalid", name);
    if (state.macro_count == MAX_MACROS) return report_error(state, "Macros limit exceeded", name);
    // Registered before its body is read: a macro whose body fails still exists.
    Macro& macro = state.macros[state.macro_count++];
    std::memcpy(macro.name, stored, NAME_SIZE);
    *slot = state.macro_count;
    macro.body_length = 0;
    macro.expanding = false;
    macro.references_before = state.reference_count;
    if (state.tracks_positions) macro.position = current_position(state);
    char token[NAME_SIZE];
    for (int token_length; (token_length = read_token(stream, token, MAX_TOKEN_WIDTH)) >= 0;) {
        switch (token[0]) {
        case '{': continue; // braces are optional; an opening one is dropped whole
        case '}': return 1;
        case '%': return report_error(state, "Macro error", name);
        default:
            if (macro.body_length == MAX_MACRO_BODY)
                return report_error(state, "Macro size exceeded", name);
            if (state.tracks_positions)
                macro.body_positions[macro.body_length] =
                    token_position(stream, state.frames[state.frame_count - 1].file);
            if (makes_listing(state))
                macro.body_texts[macro.body_length] = stream_line_text(stream);
            macro.text_lengths[macro.body_length] = static_cast<std::uint8_t>(token_length);
            macro.constant_sizes[macro.body_length] = static_cast<std::uint8_t>(
                constant_bytes(token, token_length, macro.constant_bytes[macro.body_length]));
            copy_text(macro.body[macro.body_length++], token, token_length);
        }
    }
    return 1;
}

// Tracked: the frame says which body token is handled; Listed: each makes
// its listing record.
template <bool Tracked, bool Listed>
static int expand_body(AssemblerState& state, Macro& macro, TokenStream& stream) {
    for (int i = 0; i < macro.body_length;) {
        const char* token = macro.body[i];
        int length = macro.text_lengths[i];
        if constexpr (Tracked) state.frames[state.frame_count - 1].body_index = i;
        // Most body tokens write the same bytes at every use: those are
        // written without their meaning being looked up again.
        if (std::uint8_t size = macro.constant_sizes[i]) {
            std::uint32_t cursor = state.cursor;
            if (!emit_bytes(state, macro.constant_bytes[i], size)) return 0;
            if constexpr (Listed)
                list_record(state, {macro.body_positions[i], cursor, size, listing_depth(state),
                                    ListingKind::Bytes, 0, macro.body_texts[i]});
            i++;
            continue;
        }
        // A comment ends with the body (comments.cpp). The length is tested
        // first, as handle_token does before it looks at the sigil: a body
        // token of 63 characters fails at every use, "(" or not, exactly as
        // it would in an included file, instead of opening a comment.
        if (token[0] == '(' && length <= MAX_TOKEN_LENGTH) {
            i = skip_body_comment(state, macro, i);
            continue;
        }
        int handled;
        if constexpr (Listed) {
            handled = handle_listed_token(state, token, length, stream);
        } else {
            handled = handle_token(state, token, length, stream);
        }
        if (!handled) return 0;
        i++;
    }
    return 1;
}

// expand_body where the pass keeps positions: the use is listed, and the
// body's tokens are handled in a frame of their own.
static int expand_tracked_body(AssemblerState& state, Macro& macro, TokenStream& stream) {
    bool listed = makes_listing(state);
    if (listed)
        list_record(state,
                    {current_position(state), state.cursor, 0, listing_depth(state),
                     ListingKind::Expansion, static_cast<std::uint16_t>(&macro - state.macros),
                     current_line_text(state)});
    enter_frame(state, {nullptr, &macro, 0, 0});
    int result = listed ? expand_body<true, true>(state, macro, stream)
                        : expand_body<true, false>(state, macro, stream);
    leave_frame(state);
    return result;
}

int expand_macro(AssemblerState& state, Macro& macro, TokenStream& stream) {
    // Expanding a macro inside its own expansion would never end.
    if (macro.expanding) return report_error(state, "Macro recursion", macro.name);
    // Charged up front, comments included, so that even bodies that do
    // nothing count: nested macros multiply their uses.
    if (MAX_EXPANDED_TOKENS - state.expanded_tokens < macro.body_length)
        return report_error(state, "Expansion limit exceeded", macro.name);
    state.expanded_tokens += macro.body_length;
    macro.expanding = true;
    int result = state.tracks_positions ? expand_tracked_body(state, macro, stream)
                                        : expand_body<false, false>(state, macro, stream);
    macro.expanding = false;
    return result;
}
