// The seam between the protocol and the assembler. A Program is one assembly,
// through liborvasm, of the program whose main source is an open document:
// its included files served from the open documents first, then from the
// file system below the workspace root, as "orvasm" started there reads
// them. What the library records (diagnostics with their notes, labels,
// references with their resolved names, macros, the listing) is kept in the
// result; this file turns the library's positions (a file as the assembly
// names it, a line and a column in bytes) into places: a file's full path
// and byte offsets in its text, which the server turns into the client's
// positions.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lsp/documents.hpp"
#include "orvasm/orvasm.h"

struct ByteRange {
    std::size_t begin;
    std::size_t end;
};

// A range of bytes in a file of the program, by its full, lexically normal
// path (or the document's URI when the document names no file).
struct Place {
    std::string file;
    ByteRange range;
};

// The protocol's DiagnosticSeverity values.
enum class ProtocolSeverity { Error = 1, Warning = 2 };

struct RelatedNote {
    Place place;
    std::string message;
};

struct DocumentDiagnostic {
    ByteRange range; // in the document that was assembled
    ProtocolSeverity severity;
    std::string message; // as the program prints it, without location or "-- "
    std::vector<RelatedNote> related;
    // A certain fix from the library's hints: `fix` replaces the failing
    // token at `fix_place`. Empty when there is none.
    std::string fix;
    Place fix_place;
    bool placed; // on a token of the focus, not at its start for want of one
};

// At most this many diagnostics per document, in the order printed: a source
// with a million malformed comments gets the first thousand warnings.
constexpr std::size_t MAX_DIAGNOSTICS = 1000;

struct ResultDeleter {
    void operator()(orvasm_result* result) const { orvasm_result_free(result); }
};
struct AssemblerDeleter {
    void operator()(orvasm_assembler* assembler) const { orvasm_assembler_free(assembler); }
};
using ResultHandle = std::unique_ptr<orvasm_result, ResultDeleter>;
using AssemblerHandle = std::unique_ptr<orvasm_assembler, AssemblerDeleter>;

struct Program {
    const DocumentStore* documents;
    const Document* document; // the main source
    // The document the answers are about: the main source, or a file it
    // includes that is open, analysed through the program. Its name is its
    // full path (the main source's `name`).
    const Document* focus;
    std::string focus_name;
    const char* focus_file = nullptr; // a position's file last found to be the focus
    std::string root;
    std::string name; // the source's name in the assembly: its path, or its URI
    // Texts of files read from the disk, by full path; a std::map so that the
    // bytes lent to the assembler stay where they are.
    std::map<std::string, std::string> disk_files;
    std::map<std::string, std::unique_ptr<LineIndex>> line_indexes; // by full path, made on use
    // Where each included file (by its path as written) is first included.
    std::map<std::string, orvasm_position> include_sites;
    bool includes_found = false;
    ResultHandle result; // with positions, located diagnostics and the listing
};

// Assembles the program whose main source is `document` with `assembler`
// (the focus too, unless `focus` names an open file it includes)
// (which keeps its state between calls). An included path is taken from
// `root` unless absolute, and served from the open document of that file if
// there is one, else from the file system, where only regular files are
// read (a FIFO or a device fails as a missing file). After an assembly that
// succeeds, the report follows as the program prints it after writing the
// rom, so that the unused labels are known, unless `report` is false (a
// library assembled on its own, whose labels its programs use).
std::unique_ptr<Program> assemble_program(orvasm_assembler* assembler,
                                          const DocumentStore& documents, const Document& document,
                                          const std::string& root, bool report = true,
                                          const Document* focus = nullptr);

// Whether a position lies in the focus.
bool in_focus(Program& program, const orvasm_position& position);

// The full paths of the files the program read beside its main source, each
// once, in the order first opened.
std::vector<std::string> files_read(const Program& program);

// The full path of a file of the assembly, as a position names it.
std::string full_path_of(const Program& program, const char* file);

// The text of a file of the program, by full path (the document, an open
// document, a file read); nullptr when it cannot be read.
const std::string* text_of(Program& program, const std::string& full_path);

// The line index of a file of the program, by full path: an open
// document's own, else one made on first use. nullptr when the file cannot
// be read.
const LineIndex* line_index(Program& program, const std::string& full_path);

// The place of the token at `position`, as long as the assembly reads it.
// False when the file or the position is not known.
bool token_place(Program& program, const orvasm_position& position, Place& place);

// One diagnostic per problem, as the library selects them (the library's
// orvasm_result_problem): for a failure the innermost cause, placed on the
// token of the focus where it happened or, when that is in an included file
// or a macro's body elsewhere, where the focus includes it or uses the macro
// (a problem that never passes through a focus other than the main source
// is not its own, and is left out); its notes (the macro uses and includes,
// where a label was first defined, and the hints) as related information.
// Every warning is a diagnostic of its own, one in an included file placed
// on the include that reads it.
std::vector<DocumentDiagnostic> diagnostics_of(Program& program);
