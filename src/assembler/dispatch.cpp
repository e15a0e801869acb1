// The assembly pass: reads tokens from the source and from included files and
// gives each one its meaning by its first character. Each token is handled in
// full (includes, macro expansions and comments nest inside the call) before
// the next one is read, and the first failing token ends the pass.
#include "assembler/assembler.hpp"
#include "assembler/token_kinds.hpp"
#include "common/diagnostics.hpp"
#include "common/text.hpp"
#include "platform/platform.hpp"

#include <cerrno>

// errno then says why a file was not opened: 0 when the opener gave no reason.
static std::FILE* open_source(AssemblerState& state, const char* path) {
    errno = 0;
    if (state.opener.open) return state.opener.open(path, state.opener.context);
    return platform::open_file(path, "rb");
}

// Reads a token from a file, counting its lines where the pass makes a
// listing, and handles it, also making its listing record there. Chosen
// once per file, so that a pass without a listing pays nothing for it.
template <bool Listed>
__attribute__((always_inline)) static inline int read_file_token(TokenStream& stream, char* token,
                                                                 int width) {
    if constexpr (Listed)
        return read_counted_token(stream, token, width);
    else
        return read_token(stream, token, width);
}

template <bool Listed>
__attribute__((always_inline)) static inline int
handle_read_token(AssemblerState& state, const char* token, int length, TokenStream& stream) {
    if constexpr (Listed)
        return handle_listed_token(state, token, length, stream);
    else
        return handle_token(state, token, length, stream);
}

template <bool Listed> static int source_tokens(AssemblerState& state, TokenStream& stream) {
    char token[NAME_SIZE];
    for (int length; (length = read_file_token<Listed>(stream, token, TOP_LEVEL_WIDTH)) >= 0;) {
        // Shorter than handle_token's own limit, so its inlined check drops out.
        if (length > TOP_LEVEL_MAX_TOKEN ||
            !handle_read_token<Listed>(state, token, length, stream))
            return report_error(state, "Invalid token", token);
    }
    return 1;
}

int assemble_source(AssemblerState& state, std::FILE* source, const char* path) {
    state.cursor = PROGRAM_START;
    set_scope(state, "on-reset", text_length("on-reset"));
    state.source_path = path;
    state.source_identified = identify_stream(source, state.source_identity);
    TokenStream& stream = state.streams[0];
    open_token_stream(stream, source, path);
    stream.counts_lines = state.tracks_positions;
    if (makes_listing(state) && state.listing.text) stream.listing = &state.listing;
    if (state.listing.room) renew_listing_room(state);
    enter_frame(state, {&stream, nullptr, 0, 0});
    int read = makes_listing(state) ? source_tokens<true>(state, stream)
                                    : source_tokens<false>(state, stream);
    if (read && stream.failed) {
        int error = errno; // of the read that failed
        read = report_error(state, "Invalid input", path);
        note_unreadable(state, error, path, false);
    }
    leave_frame(state);
    if (state.listing.room) renew_listing_room(state, true);
    return read && resolve_references(state);
}

// Keeps the path and identity of a file an include opened, once for each
// pair: a file included over and over is listed once. Returns the file's
// number in positions: 1 + its index in `included`.
// The entry is made in the next free slot (include_count bounds
// included_count below MAX_INCLUDES), kept only when it is new: nothing of
// it lies on the stack of the nested includes.
[[gnu::noinline]] static std::uint16_t note_included_file(AssemblerState& state, const char* path,
                                                          std::FILE* file) {
    IncludedFile& entry = state.included[state.included_count];
    entry = {};
    // Include tokens are shorter than a name field; the cut is never taken.
    int length = text_length(path);
    copy_text(entry.path, path, length < NAME_SIZE ? length : NAME_SIZE - 1);
    entry.identified = identify_stream(file, entry.identity);
    for (std::uint32_t i = 0; i < state.included_count; i++) {
        const IncludedFile& known = state.included[i];
        if (known.identified == entry.identified &&
            (!entry.identified || known.identity == entry.identity) &&
            std::strcmp(known.path, entry.path) == 0)
            return static_cast<std::uint16_t>(i + 1);
    }
    state.included_count++;
    return static_cast<std::uint16_t>(state.included_count);
}

bool was_read(const AssemblerState& state, const FileIdentity& identity) {
    if (state.source_identified && state.source_identity == identity) return true;
    for (std::uint32_t i = 0; i < state.included_count; i++) {
        const IncludedFile& file = state.included[i];
        if (file.identified && file.identity == identity) return true;
    }
    return false;
}

template <bool Listed> static int include_tokens(AssemblerState& state, TokenStream& stream) {
    char token[NAME_SIZE];
    for (int length; (length = read_file_token<Listed>(stream, token, MAX_TOKEN_WIDTH)) >= 0;) {
        if (!handle_read_token<Listed>(state, token, length, stream))
            return report_error(state, "Unknown token", token);
    }
    // A file that cannot be read is treated like one that cannot be opened.
    if (stream.failed) {
        int error = errno; // of the read that failed
        report_error(state, "Include missing", stream.path);
        return note_unreadable(state, error, stream.path, true);
    }
    return 1;
}

// include_tokens where the pass keeps positions: the include is listed, and
// its tokens are handled in a frame of their own. Apart, so that the frames
// of nested includes without positions stay small.
[[gnu::noinline]] static int include_tracked_tokens(AssemblerState& state, TokenStream& stream,
                                                    std::uint16_t number) {
    stream.counts_lines = true;
    if (makes_listing(state)) {
        if (state.listing.text) stream.listing = &state.listing;
        list_record(state, {current_position(state), state.cursor, 0, listing_depth(state),
                            ListingKind::Include, number, current_line_text(state)});
    }
    enter_frame(state, {&stream, nullptr, 0, number});
    int result = makes_listing(state) ? include_tokens<true>(state, stream)
                                      : include_tokens<false>(state, stream);
    leave_frame(state);
    return result;
}

int include_source(AssemblerState& state, const char* path) {
    // Bounded so that a file including itself fails instead of exhausting the stack.
    if (state.include_depth >= MAX_INCLUDE_DEPTH)
        return report_error(state, "Include depth exceeded", path);
    if (state.include_count >= MAX_INCLUDES)
        return report_error(state, "Includes limit exceeded", path);
    state.include_count++;
    std::FILE* file = open_source(state, path);
    if (!file) {
        int error = errno;
        report_error(state, "Include missing", path);
        return note_unreadable(state, error, path, true);
    }
    std::uint16_t number = note_included_file(state, path, file);
    state.include_depth++;
    TokenStream& stream = state.streams[state.include_depth];
    open_token_stream(stream, file, path);
    int result = state.tracks_positions ? include_tracked_tokens(state, stream, number)
                                        : include_tokens<false>(state, stream);
    state.include_depth--;
    std::fclose(file);
    return result;
}

// The failures of padding and literals with their hints, out of line, so
// that the checks they end stay small enough to inline.
[[gnu::cold, gnu::noinline]] static int invalid_padding(AssemblerState& state, const char* token) {
    report_error(state, "Invalid padding", token);
    return note_lower_case_hex(state, token);
}

[[gnu::cold, gnu::noinline]] static int invalid_literal(AssemblerState& state, const char* token) {
    report_error(state, "Invalid hex literal", token);
    return note_lower_case_hex(state, token);
}

static int handle_padding(AssemblerState& state, const char* token, bool absolute) {
    const char* rest = token + 1;
    std::uint32_t value;
    if (!read_hex_word(rest, value)) return invalid_padding(state, token);
    // The new cursor is not checked here; the next byte written checks it.
    std::uint32_t cursor = absolute ? value : state.cursor + value;
    // Moved back below what is written: a later overwrite's note points here.
    if (cursor < state.cursor && cursor < state.length) note_rewind(state, cursor);
    state.cursor = cursor;
    return 1;
}

static int handle_literal(AssemblerState& state, const char* token, int length) {
    const char* rest = token + 1;
    std::uint32_t value;
    if (length == 3 && read_hex_word(rest, value))
        return emit_literal_byte(state, static_cast<std::uint8_t>(value));
    if (length == 5 && read_hex_word(rest, value))
        return emit_short(state, static_cast<std::uint16_t>(value), true);
    return invalid_literal(state, token);
}

static int handle_text(AssemblerState& state, const char* text, int length) {
    return emit_bytes(state, reinterpret_cast<const std::uint8_t*>(text),
                      static_cast<std::uint32_t>(length));
}

static int handle_word(AssemblerState& state, const char* word, int length, TokenStream& stream) {
    // Mnemonics begin with a capital; names and hexadecimal words mostly do not.
    if (word[0] >= 'A' && word[0] <= 'Z') {
        if (int written = emit_instruction(state, word, length); written >= 0) return written;
    }
    std::uint32_t value;
    if (length == 2 && read_hex_word(word, value))
        return emit_byte(state, static_cast<std::uint8_t>(value));
    if (length == 4 && read_hex_word(word, value))
        return emit_short(state, static_cast<std::uint16_t>(value), false);
    if (Macro* macro = lookup_macro(state, word, length))
        return expand_macro(state, *macro, stream);
    return handle_reference(state, 0, word, length);
}

// What handle_literal and handle_word write for the tokens whose bytes do
// not depend on where they are handled: instruction words come first, and
// no macro or label may have a hexadecimal or instruction name.
int constant_bytes(const char* token, int length, std::uint8_t* bytes) {
    std::uint32_t value;
    if (sigil_of(token[0]) == Sigil::Literal) {
        if (length == 3 && read_hex_word(token + 1, value)) {
            bytes[0] = OPCODE_LIT;
            bytes[1] = static_cast<std::uint8_t>(value);
            return 2;
        }
        if (length == 5 && read_hex_word(token + 1, value)) {
            bytes[0] = OPCODE_LIT2;
            bytes[1] = static_cast<std::uint8_t>(value >> 8);
            bytes[2] = static_cast<std::uint8_t>(value);
            return 3;
        }
        return 0;
    }
    if (token[0] >= 'A' && token[0] <= 'Z' && is_instruction_word(token, length)) {
        bytes[0] = lookup_instruction(token);
        return 1;
    }
    if (length == 2 && read_hex_word(token, value)) {
        bytes[0] = static_cast<std::uint8_t>(value);
        return 1;
    }
    if (length == 4 && read_hex_word(token, value)) {
        bytes[0] = static_cast<std::uint8_t>(value >> 8);
        bytes[1] = static_cast<std::uint8_t>(value);
        return 2;
    }
    return 0;
}

// Inlined into the two reading loops above, where it runs once per token:
// left to the compiler, a change elsewhere could put a call on every token.
// Macro expansion, in another file, calls it out of line. GCC warns that a
// function other files call might not be inlined everywhere; that is meant.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
__attribute__((always_inline)) int handle_token(AssemblerState& state, const char* token,
                                                int length, TokenStream& stream) {
    if (length > MAX_TOKEN_LENGTH) return report_error(state, "Invalid token", token);
    const char* rest = token + 1;
    switch (sigil_of(token[0])) {
    case Sigil::Comment: skip_comment(state, token, stream); return 1;
    case Sigil::Include:
        if (!include_source(state, rest)) return report_error(state, "Invalid include", token);
        return 1;
    case Sigil::Macro:
        if (!define_macro(state, rest, length - 1, stream))
            return report_error(state, "Invalid macro", token);
        return 1;
    case Sigil::AbsolutePadding: return handle_padding(state, token, true);
    case Sigil::RelativePadding: return handle_padding(state, token, false);
    case Sigil::Label: return handle_label(state, token, length);
    case Sigil::Sublabel: return handle_sublabel(state, token, length);
    case Sigil::Literal: return handle_literal(state, token, length);
    case Sigil::Text: return handle_text(state, rest, length - 1);
    case Sigil::Reference: return handle_reference(state, token[0], rest, length - 1);
    case Sigil::Bracket:
        if (token[1] == '\0') return 1;
        break;
    case Sigil::Word: break;
    }
    return handle_word(state, token, length, stream);
}
#pragma GCC diagnostic pop

// Inlined into the reading loops of a listed pass, as handle_token is into
// all of them. The record is made only when the token did something a
// listing shows, in the frame of the token, which has its position.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
__attribute__((always_inline)) int handle_listed_token(AssemblerState& state, const char* token,
                                                       int length, TokenStream& stream) {
    std::uint32_t cursor = state.cursor;
    std::uint32_t written = state.length;
    std::uint16_t labels = state.label_count;
    std::uint32_t listed = state.listed;
    if (!handle_token(state, token, length, stream)) return 0;
    // An include or a macro use has listed its header and what it holds.
    if (state.listed != listed) return 1;
    ListingRecord record = {{}, cursor, 0, listing_depth(state), ListingKind::Bytes, 0, 0};
    if (state.length != written) {
        record.size = static_cast<std::uint16_t>(state.cursor - cursor);
    } else if (state.label_count != labels) {
        record.kind = ListingKind::Label;
    } else if (state.cursor != cursor) {
        record.address = state.cursor;
        record.kind = ListingKind::Padding;
    } else {
        return 1;
    }
    record.position = current_position(state);
    record.text = current_line_text(state);
    list_record(state, record);
    return 1;
}
#pragma GCC diagnostic pop
