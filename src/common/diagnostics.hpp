// Every diagnostic, warning and summary line goes through here, to one sink
// (standard error unless a caller such as a test redirects it).
#pragma once

#include <cstdio>

// Prints "MESSAGE: DETAIL\n" and returns 0, so that a failing operation can
// end with `return report_error(...)`.
int report_error(const char* message, const char* detail);

// Prints a warning line: "-- " followed by the formatted text.
void report_warning(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints a formatted line that is neither an error nor a warning (the summary).
void report_line(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where diagnostics go; nullptr restores standard error. Returns the previous sink.
std::FILE* set_diagnostic_sink(std::FILE* sink);
