// The assembler core's own header: the operations the pass is made of, one
// section per file of src/assembler/, and the tables they share. An embedder
// needs only assembly.hpp. Every fallible operation returns 1 on success and
// 0 on failure; the innermost failing operation prints its line, and each
// caller that names a token adds its own line after it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "assembler/assembly.hpp"
#include "assembler/token_reader.hpp"

// --- Opcodes ---

// Mode bits, added to an instruction's base opcode by its mode letters.
constexpr std::uint8_t MODE_SHORT = 0x20;  // "2"
constexpr std::uint8_t MODE_RETURN = 0x40; // "r"
constexpr std::uint8_t MODE_KEEP = 0x80;   // "k"

// The opcodes the assembler writes of its own accord. "LIT" always carries
// the keep bit, so that no mnemonic encodes as 0x00, "BRK"; the other mode
// bits on 0x00 make the jumps and the call to a 16-bit offset that follows.
constexpr std::uint8_t OPCODE_BRK = 0x00;
constexpr std::uint8_t OPCODE_LIT = OPCODE_BRK | MODE_KEEP;      // 0x80: "#12", ",name"
constexpr std::uint8_t OPCODE_LIT2 = OPCODE_LIT | MODE_SHORT;    // 0xa0: "#1234", ";name"
constexpr std::uint8_t OPCODE_JUMP_IF = OPCODE_BRK | MODE_SHORT; // 0x20: "?name"
constexpr std::uint8_t OPCODE_JUMP = OPCODE_BRK | MODE_RETURN;   // 0x40: "!name"
constexpr std::uint8_t OPCODE_CALL = OPCODE_BRK | MODE_SHORT | MODE_RETURN; // 0x60: "name"

// --- Positions and located diagnostics (locations.cpp) ---

// Pushes a frame when the state tracks positions: the source or an included
// file (`stream`), or a macro's body (`macro`).
void enter_frame(AssemblerState& state, const Frame& frame);

// Pops the frame enter_frame pushed.
void leave_frame(AssemblerState& state);

// Where the last token read from `stream`, a stream of file `file`, begins:
// its line and column, both from 1, the column in bytes; unknown (line 0)
// unless the stream counts lines. The bytes since the last count are
// mostly few, and counted here, a step of 16 at a time; the buffer holds a
// step of slack after its data, and the bytes past the token are masked off.
inline SourcePosition token_position(TokenStream& stream, std::uint16_t file) {
    if (!stream.counts_lines) return {0, 0, file};
    std::uint64_t start = stream.discarded + stream.token_start;
    if (start > stream.counted) {
        auto from = static_cast<std::uint32_t>(stream.counted - stream.discarded);
        if (stream.token_start - from <= 4 * MASK_STEP)
            count_line_feeds(stream, from, stream.token_start);
        else
            count_lines(stream, stream.token_start);
    }
    return {stream.line, static_cast<std::uint32_t>(start - stream.line_start + 1), file};
}

// The position of the token frame `index` is handling: that of the body
// token of a macro's frame, or of the last token read from a file's.
inline SourcePosition frame_position(AssemblerState& state, int index) {
    const Frame& frame = state.frames[index];
    if (frame.macro) return frame.macro->body_positions[frame.body_index];
    return token_position(*frame.stream, frame.file);
}

// The position of the token being handled in the innermost frame; unknown
// (line 0) when positions are not tracked.
inline SourcePosition current_position(AssemblerState& state) {
    if (!state.tracks_positions || state.frame_count == 0) return {};
    return frame_position(state, state.frame_count - 1);
}

// report_error, located at `position` rather than at the current token.
int report_error_at(AssemblerState& state, const SourcePosition& position, const char* message,
                    const char* detail);

// Prints "FILE:LINE:COLUMN: note: MESSAGE DETAIL" when positions are tracked.
void report_note_at(AssemblerState& state, const SourcePosition& position, const char* message,
                    const char* detail);

// Whether diagnostics say where they happened, and so carry notes:
// positions tracked, and a sink that prints locations.
inline bool locates(const AssemblerState& state) {
    return state.tracks_positions && state.diagnostics.locations;
}

// report_note_at for a hint whose fix is certain: `fix` (or nullptr for
// none) replaces the whole token of the failure the note follows.
void report_hint_at(AssemblerState& state, const SourcePosition& position, const char* message,
                    const char* detail, const char* fix);

// The chain of macro uses and includes the current token is read in, as a
// reference keeps it (NO_CHAIN in the source itself, UNKNOWN_CHAIN once
// `chain_links` is full). Only for a pass that tracks positions.
std::uint16_t reference_chain(AssemblerState& state);

// Prints the notes of a reference's chain, innermost first, as a failure's
// chain is printed ("in expansion of macro NAME", "included from here").
void note_reference_chain(AssemblerState& state, std::uint16_t chain);

// Whether the pass makes a listing: it needs the positions too.
inline bool makes_listing(const AssemblerState& state) {
    return state.listing.room && state.tracks_positions;
}

// --- The listing (listing.cpp) ---

// Tells the listing how many records were written in the room it gave,
// and takes more room from it; with `last`, only tells it.
void renew_listing_room(AssemblerState& state, bool last = false);

// Gives the listing the text of the line `stream` is reading, as far as
// the buffer has it, and returns its number (listing.cpp).
std::uint32_t keep_line_text(TokenStream& stream);

// The text of the line of the last token read from `stream`, kept once for
// each line: the number the records of the line carry.
inline std::uint32_t stream_line_text(TokenStream& stream) {
    if (!stream.listing) return NO_TEXT;
    if (stream.text_line != stream.line) {
        stream.text_line = stream.line;
        stream.text = keep_line_text(stream);
    }
    return stream.text;
}

// The text of the line of the token being handled in the innermost frame:
// its file's line, or that of the macro body token.
inline std::uint32_t current_line_text(AssemblerState& state) {
    const Frame& frame = state.frames[state.frame_count - 1];
    if (frame.macro) return frame.macro->body_texts[frame.body_index];
    return stream_line_text(*frame.stream);
}

// The next free entry of the listing's room, where a record is made in place.
inline ListingRecord& next_listing_record(AssemblerState& state) {
    return *state.listing_next;
}

// Keeps the record made in the next free entry of the room.
inline void keep_listing_record(AssemblerState& state) {
    state.listed++;
    if (++state.listing_next == state.listing_end) renew_listing_room(state);
}

// Makes a record for the listing, when there is one.
inline void list_record(AssemblerState& state, const ListingRecord& record) {
    if (!state.listing.room) return;
    next_listing_record(state) = record;
    keep_listing_record(state);
}

// The depth of a record made in the innermost frame.
inline std::uint16_t listing_depth(const AssemblerState& state) {
    return static_cast<std::uint16_t>(state.frame_count - 1);
}

// --- Image and instruction encoding (image.cpp) ---

// The opcode of a mnemonic with its mode letters ("2", "r", "k"), or 0 when
// `word` is none. "BRK" is not in the table and also yields 0.
std::uint8_t lookup_instruction(const char* word);

// The mnemonic whose base opcode is `index`, 0 to 31, or nullptr.
const char* mnemonic_name(int index);

// True when `word`, of `length` characters, is a table mnemonic with valid
// mode letters, or exactly "BRK".
bool is_instruction_word(const char* word, int length);

// Writes one byte at the cursor. Fails, changing nothing, with
// "Writing in zero-page: ", "Writing after the end of RAM: " or
// "Memory overwrite: ", checked in that order.
int emit_byte(AssemblerState& state, std::uint8_t byte);

// Writes `count` bytes (at most 64K) as as many emit_byte calls would,
// ending at the first that fails; bytes already written stay.
int emit_bytes(AssemblerState& state, const std::uint8_t* bytes, std::uint32_t count);

// Writes `value` high byte first, after the "LIT2" opcode when `prefixed`.
// The first failing byte ends the call; bytes already written stay.
int emit_short(AssemblerState& state, std::uint16_t value, bool prefixed);

// Writes the "LIT" opcode, then `byte`.
int emit_literal_byte(AssemblerState& state, std::uint8_t byte);

// When `word`, of `length` characters, is an instruction word, writes its
// opcode (0x00 for "BRK") and returns the result of emit_byte; otherwise
// writes nothing and returns -1. The mnemonic is looked up once, for the
// test and the opcode.
int emit_instruction(AssemblerState& state, const char* word, int length);

// --- Assembly pass and token dispatch (dispatch.cpp) ---

// The pass itself, assemble_source, is declared in assembly.hpp.

// Splices the file at `path` into the pass. Prints "Include missing: PATH"
// when it cannot be opened or read, "Include depth exceeded: PATH" past
// MAX_INCLUDE_DEPTH levels, "Includes limit exceeded: PATH" past
// MAX_INCLUDES files, and "Unknown token: TOKEN" after a failing token.
int include_source(AssemblerState& state, const char* path);

// Gives one token, whose text has `length` characters, its meaning: the
// single entry of every token, from the source, an included file or a macro
// body. `token` lies in a buffer of NAME_SIZE bytes, as the readers and
// macro bodies hold tokens. `stream` is where the token came from; the
// comment and macro-definition sigils read ahead from it. Prints
// "Invalid token: TOKEN" for a token of more than MAX_TOKEN_LENGTH
// characters, and the lines of the sigils that name the token.
int handle_token(AssemblerState& state, const char* token, int length, TokenStream& stream);

// The bytes `token`, whose text has `length` characters, writes wherever it
// is handled, into `bytes` (3 at most): an instruction, a hexadecimal byte
// or short, or a literal. Returns their count, or 0 for every other token,
// whose meaning depends on where it is handled (or which fails).
int constant_bytes(const char* token, int length, std::uint8_t* bytes);

// handle_token in a pass that makes a listing, which also gives the listing
// the record of what the token did: the bytes it wrote, the label it
// defined, or where its padding moved the cursor, at the token's position.
int handle_listed_token(AssemblerState& state, const char* token, int length, TokenStream& stream);

// --- Comments (comments.cpp, where their rule is stated once) ---

// Skips the comment that `opening`, a token beginning with "(", opens in
// `stream`, up to its closing ")" or the end of the stream. Warns
// "-- Malformed comment: TOKEN" when `opening` is more than "(".
void skip_comment(AssemblerState& state, const char* opening, TokenStream& stream);

// Skips the comment that body token `first` of `macro` opens, up to its
// closing ")" or the end of the body, with the same warning; returns the
// position of the body token after it.
int skip_body_comment(AssemblerState& state, const Macro& macro, int first);

// --- Labels and scope (labels.cpp) ---

// The label named by the text in `field`, a buffer of NAME_SIZE bytes, up to
// its first 0x00 and at most `length` characters; nullptr when there is
// none. The name is not copied, so a parent is looked up where it stands in
// the name of its child.
Label* lookup_label(AssemblerState& state, const char* field, int length);

// Appends a label named `name`, of `length` (at most NAME_SIZE - 1)
// characters, at the cursor. Fails with "Label duplicate: NAME",
// "Label name is hex number: NAME", "Label name is invalid: NAME" or
// "Labels limit exceeded: NAME"; the caller adds its own line.
int define_label(AssemblerState& state, const char* name, int length);

// Forms "scope/name" in `dst` (NAME_SIZE bytes) from the state's scope and
// a name of `name_length` characters, and returns its length; when it would
// be longer than NAME_SIZE - 1 characters, prints
// "Sublabel length too long: NAME" and returns -1.
int build_sublabel_name(AssemblerState& state, char* dst, const char* name, int name_length);

// Makes `name`, of `length` (at most NAME_SIZE - 1) characters, the scope.
void set_scope(AssemblerState& state, const char* name, int length);

// "@name", whose text has `length` characters: defines the label and makes
// it the scope; "Invalid label: TOKEN" on failure.
int handle_label(AssemblerState& state, const char* token, int length);

// "&name", whose text has `length` characters: defines "scope/name";
// "Invalid sublabel: TOKEN" on failure.
int handle_sublabel(AssemblerState& state, const char* token, int length);

// --- References and resolution (references.cpp) ---

// Records a reference to `name`, of `length` characters, with its
// placeholder at `address`; an "&" name is taken in the current scope.
// `sigil` is 0 for the call of a label. Fails with
// "References limit exceeded: TOKEN" or, for "&" names that are too long,
// "Invalid sublabel: TOKEN", where TOKEN is the sigil and the name.
int add_reference(AssemblerState& state, char sigil, const char* name, int length,
                  std::uint16_t address);

// How a placeholder is filled once its label is known.
enum class ReferenceKind : std::uint8_t {
    None,          // the character starts no reference
    RelativeByte,  // target - (placeholder + 2), in -128..127
    ZeroPageByte,  // the low byte of the target
    AbsoluteShort, // the target, high byte first
    RelativeShort, // target - (placeholder + 2), wrapping in 16 bits
};

// What a reference emits, and how its placeholder is filled.
struct ReferenceForm {
    ReferenceKind kind;
    std::uint8_t opcode; // written before the placeholder; 0 for none
    std::uint8_t size;   // bytes of the placeholder, all 0xff until resolved
};

// The reference forms by sigil: the one list that the dispatch (through
// the table of token_kinds.hpp), the placeholder writer and resolution read. Row 0 is the call of a
// label, a word that is nothing else, recorded with sigil 0; every character without a row starts
// no reference. Adding a sigil is adding a row (and a case in tests/cases/).
struct ReferenceForms {
    ReferenceForm by_sigil[256] = {};
    constexpr ReferenceForms() {
        using enum ReferenceKind;
        const struct {
            char sigil;
            ReferenceKind kind;
            std::uint8_t opcode;
        } rows[] = {
            {',', RelativeByte, OPCODE_LIT},
            {'_', RelativeByte, 0},
            {'.', ZeroPageByte, OPCODE_LIT},
            {'-', ZeroPageByte, 0},
            {';', AbsoluteShort, OPCODE_LIT2},
            {':', AbsoluteShort, 0},
            {'=', AbsoluteShort, 0},
            {'!', RelativeShort, OPCODE_JUMP},
            {'?', RelativeShort, OPCODE_JUMP_IF},
            {'\0', RelativeShort, OPCODE_CALL},
        };
        for (const auto& row : rows) {
            auto size = static_cast<std::uint8_t>(
                row.kind == RelativeByte || row.kind == ZeroPageByte ? 1 : 2);
            by_sigil[static_cast<unsigned char>(row.sigil)] = {row.kind, row.opcode, size};
        }
    }
};

inline constexpr ReferenceForms reference_forms;

inline const ReferenceForm& reference_form(char sigil) {
    return reference_forms.by_sigil[static_cast<unsigned char>(sigil)];
}

// Records a reference token and emits its placeholder bytes. A word that is
// nothing else is passed here as the call of a label, with `sigil` 0.
// `length` is the length of `name`.
int handle_reference(AssemblerState& state, char sigil, const char* name, int length);

// Patches every placeholder once all labels are known. Prints the first
// unknown name ("Unknown relative reference: NAME", ...) or
// "Relative reference is too far: NAME", and stops there.
int resolve_references(AssemblerState& state);

// --- Hints (hints.cpp) ---

// True when `b`, of `b_length` characters, is at most `most` edits from
// `a`: a character inserted, deleted or replaced, or two neighbours
// swapped. Both names are shorter than NAME_SIZE; any other length is never
// within reach. Stops as soon as no alignment can stay within `most`.
bool within_edits(const char* a, int a_length, const char* b, int b_length, int most);

// The edits a name of `length` characters may be from what was meant: 2
// from 4 characters on, 1 below.
int edit_bound(int length);

// After the line of `token` (a literal or padding, as handle_token has it):
// "note: hexadecimal digits are lower case: TOKEN" with the token in lower
// case, when that is all that is wrong. Returns 0.
int note_lower_case_hex(AssemblerState& state, const char* token);

// Notes that padding moved the write position back to `address`, below
// what is written, for the notes of a later "Memory overwrite". Out of
// line, as every note: the padding that calls it stays small.
void note_rewind(AssemblerState& state, std::uint32_t address);

// After the line of a reference no label answers: the lower-case hint for
// a raw word of upper-case hexadecimal, or "note: did you mean 'NAME'?" at
// the definition of the one label in its scope within edit_bound of it
// (for a word, also the macros defined before it, and the instruction it
// spells in other case, at the word itself), with the token so written as
// its fix.
void note_unknown_name(AssemblerState& state, const Reference& reference);

// After "Memory overwrite: ": "note: writing at 0xADDR, below the highest
// address written so far, 0xADDR", and "note: write position moved back to
// 0xADDR" at the padding that did. Returns 0.
int note_overwrite(AssemblerState& state);

// --- Macros (macros.cpp) ---

// The macro named by the text in `field`, a buffer of NAME_SIZE bytes such
// as a token, up to its first 0x00 and at most `length` characters; nullptr
// when there is none. The name is not copied.
Macro* lookup_macro(AssemblerState& state, const char* field, int length);

// Registers a macro named `name`, of `length` characters, and reads its body
// from `stream`. Fails with
// "Macro duplicate", "Macro name is hex number", "Macro name is invalid",
// "Macros limit exceeded", "Macro error" or "Macro size exceeded", each
// followed by the name; the caller adds "Invalid macro: TOKEN".
int define_macro(AssemblerState& state, const char* name, int length, TokenStream& stream);

// Hands each body token to handle_token. Prints "Macro recursion: NAME" when
// the macro is already being expanded, and "Expansion limit exceeded: NAME"
// when its body would take the expansions past MAX_EXPANDED_TOKENS; otherwise
// adds no line of its own.
int expand_macro(AssemblerState& state, Macro& macro, TokenStream& stream);
