// The one writer of diagnostics: every line goes to the sink, standard
// error unless a test or an embedder has set another stream.
#include "common/diagnostics.hpp"

#include <cstdarg>

static std::FILE* diagnostic_sink = nullptr;

static std::FILE* sink() {
    return diagnostic_sink ? diagnostic_sink : stderr;
}

std::FILE* set_diagnostic_sink(std::FILE* sink) {
    std::FILE* previous = diagnostic_sink;
    diagnostic_sink = sink;
    return previous;
}

int report_error(const char* message, const char* detail) {
    std::fprintf(sink(), "%s: %s\n", message, detail);
    return 0;
}

void report_warning(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::fputs("-- ", sink());
    std::vfprintf(sink(), format, arguments);
    va_end(arguments);
}

void report_line(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(sink(), format, arguments);
    va_end(arguments);
}
