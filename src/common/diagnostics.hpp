// Every diagnostic, warning and summary line goes through here, to one sink
// (standard error unless a caller such as a test redirects it).
#pragma once

#include <cstdio>

// Prints "MESSAGE: DETAIL\n" and returns 0, so that a failing operation can
// end with `return report_error(...)`. On a terminal, control bytes in
// DETAIL (0x01-0x1f, 0x7f) are shown as "\xHH".
int report_error(const char* message, const char* detail);

// Prints a warning line, "-- MESSAGE: DETAIL\n", escaped as report_error's.
void report_warning(const char* message, const char* detail);

// Prints a formatted line that is neither an error nor a warning (the summary).
void report_line(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where diagnostics go; nullptr restores standard error. Returns the previous sink.
std::FILE* set_diagnostic_sink(std::FILE* sink);
