// The assembler as an embedder sees it: one AssemblerState per assembly,
// owned by the caller, its limits, the SourceOpener through which included
// files are opened, and the pass. The operations the pass is made of, the
// token reader and the name indexes stay behind it, in assembler.hpp.
//
// The state is large (more than a mebibyte): keep it in static storage or
// on the heap, all zero when assemble_source starts. Afterwards it holds the
// result: `image` from PROGRAM_START up to `length`, and the labels in
// definition order with their uses. The pass allocates nothing; each level
// of includes reads its file through a TokenStream of about 16 KiB, one of
// `streams`, so that deep nesting needs little stack.
#pragma once

#include <cstdint>
#include <cstdio>

#include "assembler/token_stream.hpp"
#include "assembler/token_widths.hpp"
#include "common/file_identity.hpp"

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

struct Label {
    char name[NAME_SIZE];
    std::uint16_t address; // low 16 bits of the cursor at definition
    std::uint16_t uses;    // raised by references; unused labels are reported
};

struct Reference {
    char name[NAME_SIZE];
    char sigil;            // selects how the placeholder is filled; 0 for a label call
    std::uint16_t address; // first byte of the placeholder
};

struct Macro {
    char name[NAME_SIZE];
    char body[MAX_MACRO_BODY][NAME_SIZE];
    std::uint8_t text_lengths[MAX_MACRO_BODY]; // of the body tokens, so uses need not measure them
    std::uint8_t body_length;
    bool expanding; // set while its body is being handled, to refuse recursion
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
};

// Runs the whole pass over `source`, which stays open for the caller to
// close, and resolves the references; included files are opened through
// `state.opener` and closed again. Returns 1 on success, or 0 after
// printing the failure (the innermost cause first): a read error prints
// "Invalid input: PATH", a failing token "Invalid token: TOKEN" after its
// own lines.
int assemble_source(AssemblerState& state, std::FILE* source, const char* path);

// True when `identity` is the source's or that of a file an include opened:
// the files no output may replace.
bool was_read(const AssemblerState& state, const FileIdentity& identity);
