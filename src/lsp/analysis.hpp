// The seam between the protocol and the assembler. The server hands over the
// open documents and the workspace root; the analysis assembles a document's
// program and answers in byte offsets of that document's text, which the
// server turns into the client's positions.
//
// Diagnostics are all it answers for now. Document symbols, definitions,
// references, hover, completion and rename data will come from the same
// assembly once the assembler records where each token lies; they belong in
// Analysis beside the diagnostics.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "lsp/documents.hpp"

struct AssemblerState;

struct ByteRange {
    std::size_t begin;
    std::size_t end;
};

// The protocol's DiagnosticSeverity values.
enum class ProtocolSeverity { Error = 1, Warning = 2 };

struct DocumentDiagnostic {
    ByteRange range;
    ProtocolSeverity severity;
    std::string message; // the line as the program prints it, without a warning's "-- "
};

struct Analysis {
    std::vector<DocumentDiagnostic> diagnostics;
};

// At most this many diagnostics per document, in the order printed: a source
// with a million malformed comments gets the first thousand warnings.
constexpr std::size_t MAX_DIAGNOSTICS = 1000;

// Assembles the program whose main source is `document` as "orvasm" started
// in `root` would: an included path is taken from `root` unless absolute,
// and served from the open document of that file if there is one, else from
// the file system, where only regular files are read (a FIFO or a device
// fails as a missing file). `state` is the caller's; it is reset first.
//
// Diagnostics: every line the assembler prints, an error, or a warning for
// lines that start with "-- "; after an assembly that gives a rom also the
// unused-label warnings, as the program prints them after writing it (its
// summary line is no diagnostic).
Analysis analyze_document(AssemblerState& state, const DocumentStore& documents,
                          const Document& document, const std::string& root);
