// The one writer of diagnostics: every line goes to the sink, standard
// error unless a test or an embedder has set another stream.
#include "common/diagnostics.hpp"

#include <unistd.h>

#include <cstdarg>

namespace {

struct Sink {
    std::FILE* file = nullptr; // nullptr: standard error
    int escapes = -1;          // whether details are escaped; -1 until known
};

Sink diagnostic_sink;

std::FILE* sink() {
    return diagnostic_sink.file ? diagnostic_sink.file : stderr;
}

// A source can hold bytes that a terminal takes for commands (a new title, a
// cleared screen). Shown on a terminal, they are escaped; anywhere else the
// bytes stay as they are, since scripts and tests compare them.
bool escapes_details() {
    if (diagnostic_sink.escapes < 0) {
        int descriptor = fileno(sink());
        diagnostic_sink.escapes = descriptor >= 0 && isatty(descriptor) ? 1 : 0;
    }
    return diagnostic_sink.escapes == 1;
}

// One line of a diagnostic, gathered so that it reaches the sink in one
// write: standard error is unbuffered, and a line written in pieces could be
// interleaved with another program's output.
class Line {
  public:
    void add(const char* text) {
        for (; *text; text++) add_byte(*text);
    }
    // Adds `detail`, its control bytes escaped where the sink is a terminal.
    void add_detail(const char* detail) {
        bool escapes = escapes_details();
        for (const char* c = detail; *c; c++) {
            auto byte = static_cast<unsigned char>(*c);
            if (escapes && (byte < 0x20 || byte == 0x7f)) {
                const char* digits = "0123456789abcdef";
                const char escaped[] = {'\\', 'x', digits[byte >> 4], digits[byte & 15], '\0'};
                add(escaped);
            } else {
                add_byte(*c);
            }
        }
    }
    void flush() {
        std::fwrite(text_, 1, size_, sink());
        size_ = 0;
    }

  private:
    void add_byte(char c) {
        if (size_ == sizeof text_) flush();
        text_[size_++] = c;
    }
    char text_[512];
    std::size_t size_ = 0;
};

void print_line(const char* prefix, const char* message, const char* detail) {
    Line line;
    line.add(prefix);
    line.add(message);
    line.add(": ");
    line.add_detail(detail);
    line.add("\n");
    line.flush();
}

} // namespace

std::FILE* set_diagnostic_sink(std::FILE* file) {
    std::FILE* previous = diagnostic_sink.file;
    diagnostic_sink = {file, -1};
    return previous;
}

int report_error(const char* message, const char* detail) {
    print_line("", message, detail);
    return 0;
}

void report_warning(const char* message, const char* detail) {
    print_line("-- ", message, detail);
}

void report_line(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(sink(), format, arguments);
    va_end(arguments);
}
