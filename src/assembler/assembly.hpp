// The assembler as an embedder sees it: one AssemblerState per assembly,
// owned by the caller, its limits, the SourceOpener through which included
// files are opened, and the pass. The operations the pass is made of, the
// token reader and the name indexes stay behind it, in assembler.hpp.
//
// The state is large (some 6 MiB): keep it in static storage or
// on the heap, all zero when assemble_source starts. Afterwards it holds the
// result: `image` from PROGRAM_START up to `length`, and the labels in
// definition order with their uses. The pass allocates nothing; each level
// of includes reads its file through a TokenStream of about 64 KiB, one of
// `streams`, so that deep nesting needs little stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "assembler/token_stream.hpp"
#include "assembler/token_widths.hpp"
#include "common/diagnostics.hpp"
#include "platform/file_identity.hpp"

constexpr std::uint32_t IMAGE_SIZE = 0x10000;
constexpr std::uint32_t PROGRAM_START = 0x0100;
constexpr int MAX_LABELS = 1024;
constexpr int MAX_MACROS = 256;
constexpr int MAX_MACRO_BODY = 64;
constexpr int MAX_REFERENCES = 4096;
// The command-line source is level 0; its first include opens level 1.
constexpr int MAX_INCLUDE_DEPTH = 64;
// Hash indexes beside the label and macro tables (name_index.hpp), at most
// half full so that probes stay short.
constexpr int LABEL_INDEX_SLOTS = 2 * MAX_LABELS;
constexpr int MACRO_INDEX_SLOTS = 2 * MAX_MACROS;
// Work budgets of one assembly. Macros used in macro bodies, and files that
// include other files several times, multiply: a page of source could
// otherwise ask for more tokens than any machine can handle. A real program
// stays far below both, since almost every token it handles writes a byte,
// a label or a reference, and those are limited.
constexpr std::uint32_t MAX_EXPANDED_TOKENS = 1u << 20; // body tokens of all expansions
constexpr std::uint32_t MAX_INCLUDES = 4096;            // include files opened
// Links of the chains of macro uses and includes that references remember
// for their notes (ChainLink); past them a reference's chain is unknown.
constexpr int MAX_CHAIN_LINKS = 16384;

// Where a token's text starts: a file of the assembly (0 the source, i + 1
// `included[i]`) and a line and a column in bytes, both counted from 1. Kept
// only while the state tracks positions; a line of 0 means unknown.
struct SourcePosition {
    std::uint32_t line;
    std::uint32_t column;
    std::uint16_t file;
};

// The most frames a pass can nest: the source, 64 levels of includes and,
// since no macro may expand inside its own expansion, every macro once.
constexpr int MAX_FRAMES = 1 + MAX_INCLUDE_DEPTH + MAX_MACROS;

struct Label {
    char name[NAME_SIZE];
    std::uint16_t address;   // low 16 bits of the cursor at definition
    std::uint16_t uses;      // raised by references; unused labels are reported
    SourcePosition position; // of its definition
};

struct Reference {
    char name[NAME_SIZE];
    char sigil;              // selects how the placeholder is filled; 0 for a label call
    std::uint16_t address;   // first byte of the placeholder
    SourcePosition position; // of the reference token
    // For the notes of a failure: where the name as written starts in
    // `name` (past the scope and its "/" for an "&" name, else 0), and, kept
    // with the position, the chain of macro uses and includes it was read in
    // (a ChainLink number, NO_CHAIN or UNKNOWN_CHAIN).
    std::uint8_t written_from;
    std::uint16_t chain;
};

// A reference read in the source itself has no chain; one whose chain found
// no room in `chain_links` has one that is not known.
constexpr std::uint16_t NO_CHAIN = 0;
constexpr std::uint16_t UNKNOWN_CHAIN = 0xffff;

// One step of the way a reference was read: the macro use or include at
// `from` (a macro's index + 1 in `macro`, or 0 for an include), within the
// step `parent` (NO_CHAIN: the source). Link n is `chain_links[n - 1]`.
struct ChainLink {
    SourcePosition from;
    std::uint16_t parent;
    std::uint16_t macro;
};

struct Macro {
    char name[NAME_SIZE];
    char body[MAX_MACRO_BODY][NAME_SIZE];
    std::uint8_t text_lengths[MAX_MACRO_BODY]; // of the body tokens, so uses need not measure them
    // The bytes a body token writes wherever it is used (an instruction, a
    // hexadecimal word or literal), found once when the macro is defined;
    // 0 bytes for a token whose meaning depends on where it is used.
    std::uint8_t constant_sizes[MAX_MACRO_BODY];
    std::uint8_t constant_bytes[MAX_MACRO_BODY][3];
    std::uint8_t body_length;
    bool expanding;          // set while its body is being handled, to refuse recursion
    SourcePosition position; // of its "%name" token
    SourcePosition body_positions[MAX_MACRO_BODY];
    // With a listing: the text of each body token's line (ListingObserver),
    // kept once when the macro is defined and shown at every use.
    std::uint32_t body_texts[MAX_MACRO_BODY];
    // References recorded before it was defined, which could not name it.
    std::uint16_t references_before;
};

// What a listing shows of one token, in the order the pass handles them.
enum class ListingKind : std::uint8_t {
    Bytes,     // the token wrote `size` bytes from `address`
    Label,     // the token defined a label or sublabel at `address`
    Padding,   // the token moved the write position to `address`
    Expansion, // a macro use; the records of its body follow, one level deeper
    Include,   // an include; the records of the file follow, one level deeper
};

struct ListingRecord {
    SourcePosition position; // of the token
    std::uint32_t address;   // the cursor, as the token left it for padding
    std::uint16_t size;      // bytes written, for ListingKind::Bytes: a token writes at most 64
    std::uint16_t depth;     // expansions and includes around the token, the source's own being 0
    ListingKind kind;
    std::uint16_t target; // Expansion: the macro's index; Include: the file's (1 + included index)
    std::uint32_t text;   // the text of the token's line, as the observer numbered it
};

// Receives the records of a listing while the pass runs, in order; the
// bytes they name are final only once the references are resolved. The
// pass writes the records where the observer says: `room` is told how many
// were written since it was last asked (none the first time) and gives
// room for `*size` more, at least one; at the end of the pass it is told
// the last count with `size` null, and gives nothing. A call for each token
// would cost more than the record.
//
// `text` keeps the text of a listed line: at most LISTED_TEXT bytes of it,
// without its line end and the carriage returns before that, `cut` when
// the line is longer. It is asked once for each line a record names, from
// the bytes the reader has at hand, and gives the number the records carry
// (NO_TEXT when it kept nothing). A line whose end the reader has not yet
// read is given as far as it goes, then again, with the number `text`
// gave, once its end is read; `id` is NEW_TEXT otherwise.
struct ListingObserver {
    ListingRecord* (*room)(void* context, std::size_t written, std::size_t* size);
    std::uint32_t (*text)(void* context, std::uint32_t id, const char* bytes, std::size_t length,
                          bool cut);
    void* context;
};

// One level of what the pass is reading: a file, or a macro's body.
struct Frame {
    TokenStream* stream; // the file's stream, or nullptr for a macro body
    const Macro* macro;  // the macro whose body is handled
    int body_index;      // the body token being handled
    std::uint16_t file;  // the file of the stream
    // Its ChainLink once a reference read within it needed one; NO_CHAIN
    // until then.
    std::uint16_t chain = NO_CHAIN;
};

// A file an include opened, once for each path and file: outputs are never
// written over a file the assembly read.
struct IncludedFile {
    char path[NAME_SIZE]; // as the include names it; include tokens are shorter
    FileIdentity identity;
    bool identified; // false for a file served without a descriptor
};

// Opens a source or included file for reading; returns nullptr on failure.
// Tests and the fuzzer serve files from memory through it.
struct SourceOpener {
    std::FILE* (*open)(const char* path, void* context);
    void* context;
};

struct AssemblerState {
    std::uint8_t image[IMAGE_SIZE];
    std::uint32_t cursor; // next address to write; any 32-bit value, checked on write
    std::uint32_t length; // high-water mark, never decreases

    Label labels[MAX_LABELS];
    std::uint16_t label_count;
    std::uint16_t label_index[LABEL_INDEX_SLOTS]; // finds a name in `labels`
    char scope[NAME_SIZE];
    int scope_length; // kept with `scope`, for building sublabel names

    Reference references[MAX_REFERENCES];
    std::uint16_t reference_count;

    Macro macros[MAX_MACROS];
    std::uint16_t macro_count;
    std::uint16_t macro_index[MACRO_INDEX_SLOTS]; // finds a name in `macros`

    // One stream for the source and one for each level of includes, here
    // rather than on the stack: 65 read buffers would take over a megabyte.
    TokenStream streams[MAX_INCLUDE_DEPTH + 1];
    int include_depth;
    std::uint32_t include_count; // files opened by includes so far
    FileIdentity source_identity;
    bool source_identified;
    IncludedFile included[MAX_INCLUDES];
    std::uint32_t included_count;
    std::uint32_t expanded_tokens; // body tokens of every expansion so far
    SourceOpener opener;           // all zero: the standard library's fopen
    DiagnosticSink diagnostics;    // all zero: standard error

    // Positions, kept when the caller sets `tracks_positions` before the
    // pass: for labels, references, macro bodies, diagnostics (with their
    // locations on, the sink prints them) and the listing. Off, the pass
    // spends nothing on them.
    bool tracks_positions;
    ListingObserver listing; // all zero: no listing
    const char* source_path; // as assemble_source was given it
    Frame frames[MAX_FRAMES];
    int frame_count;
    std::uint32_t listed; // records made for the listing so far
    // The room the listing gave: the records from `listing_room` on are
    // written, `listing_next` is the next, and the room ends at `listing_end`.
    ListingRecord* listing_room;
    ListingRecord* listing_next;
    ListingRecord* listing_end;
    bool failure_located; // the first failure's chain of notes is printed
    // The last padding that moved the write position back below what was
    // written, where it went: the note of a "Memory overwrite" points there.
    SourcePosition rewind_position;
    std::uint32_t rewind_address;
    std::uint16_t chain_link_count;
    ChainLink chain_links[MAX_CHAIN_LINKS]; // made only for references in macros and includes
};

// Runs the whole pass over `source`, which stays open for the caller to
// close, and resolves the references; included files are opened through
// `state.opener` and closed again. Returns 1 on success, or 0 after
// printing the failure (the innermost cause first): a read error prints
// "Invalid input: PATH", a failing token "Invalid token: TOKEN" after its
// own lines.
int assemble_source(AssemblerState& state, std::FILE* source, const char* path);

// The notes of a file that could not be opened or read, after its line
// ("Invalid input: PATH", "Include missing: PATH"), where the sink prints
// locations: the system's reason for `error` (an errno value; none for 0),
// and for a missing `include` of a relative path, the working directory it
// was looked for in. Returns 0, as report_error.
int note_unreadable(AssemblerState& state, int error, const char* path, bool include);

// Makes a state that has run a pass all zero again, as a fresh one, at the
// cost of clearing only what that pass used (the rom bytes, the entries of
// the tables, the streams' records) rather than all of it.
void clear_state(AssemblerState& state);

// True when `identity` is the source's or that of a file an include opened:
// the files no output may replace.
bool was_read(const AssemblerState& state, const FileIdentity& identity);

// Prints "MESSAGE: DETAIL" to the state's sink and returns 0, so that a
// failing operation can end with `return report_error(...)`.
int report_error(AssemblerState& state, const char* message, const char* detail);

// Prints "-- MESSAGE: DETAIL" to the state's sink.
void report_warning(AssemblerState& state, const char* message, const char* detail);

// The path of file `file` of a SourcePosition, as the source or its include
// names it.
const char* file_path(const AssemblerState& state, std::uint16_t file);

// report_warning, located at `position` where positions are tracked.
void report_warning_at(AssemblerState& state, const SourcePosition& position, const char* message,
                       const char* detail);
