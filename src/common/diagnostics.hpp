// Every diagnostic, warning and summary line goes through here, to the sink
// of one assembly: standard error, another stream, or an observer that
// collects them as records (a test, an editor, an embedding program).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum class Severity : std::uint8_t { Error, Warning, Note };

// Where a diagnostic points: a file and a 1-based line and column (in
// bytes). A line of 0 means the place is not known.
struct SourceLocation {
    const char* file;
    std::uint32_t line;
    std::uint32_t column;
};

// One line of diagnostics, as its parts. Printed, an error reads
// "MESSAGE: DETAIL", a warning "-- MESSAGE: DETAIL", a note
// "note: MESSAGE DETAIL"; a known location goes before, as
// "FILE:LINE:COLUMN: ", where the sink asks for locations.
struct Diagnostic {
    Severity severity;
    const char* message;
    const char* detail;
    SourceLocation location;
    // On a hint note whose fix is certain, the text that replaces the whole
    // token of the failure it follows; nullptr otherwise. Never printed.
    const char* fix = nullptr;
    // On a note that is a step of the include or macro-use chain ("included
    // from here", "in expansion of macro"). Never printed.
    bool chain = false;
};

// Where the diagnostics of one assembly go. All zero: standard error, as the
// program prints them.
struct DiagnosticSink {
    std::FILE* file; // nullptr: standard error
    bool silent;     // prints nothing; the observer still sees every line
    bool locations;  // prints known locations before the lines
    // Called with every line printed (or not, when silent): `diagnostic` is
    // nullptr for a line that is none (the summary). `text` is the line as
    // printed, with its newline.
    void (*observe)(void* context, const Diagnostic* diagnostic, const char* text,
                    std::size_t length);
    void* context;
    std::int8_t terminal; // whether `file` is a terminal: 0 not yet known, 1 yes, -1 no
};

// Prints one diagnostic line. On a terminal, or with locations, control
// bytes in its detail (0x01-0x1f, 0x7f), C1 controls (U+0080-U+009F in
// UTF-8, and bytes 0x80-0x9f that begin no UTF-8 character) are shown as
// "\xHH", each byte; anywhere else the bytes are printed as they are.
void print_diagnostic(DiagnosticSink& sink, const Diagnostic& diagnostic);

// Copies `detail` to `shown` as print_diagnostic shows a detail on this
// sink, ended by 0x00 within `capacity` bytes (at least 1), and returns
// `shown`. A detail shown longer is cut before the escape or character that
// does not fit. For a path or token in a line of another form (the summary).
const char* shown_detail(DiagnosticSink& sink, const char* detail, char* shown,
                         std::size_t capacity);

// Prints "MESSAGE: DETAIL" and returns 0, so that a failing operation can
// end with `return report_error(...)`.
int report_error(DiagnosticSink& sink, const char* message, const char* detail);

// Prints "-- MESSAGE: DETAIL".
void report_warning(DiagnosticSink& sink, const char* message, const char* detail);

// Prints a formatted line that is neither an error nor a warning (the summary).
void report_line(DiagnosticSink& sink, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
