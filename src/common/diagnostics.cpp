// The one writer of diagnostics: each line is gathered and handed to the
// sink in one write, and to its observer.
#include "common/diagnostics.hpp"

#include <cstdarg>

#include "platform/platform.hpp"

namespace {

std::FILE* stream_of(const DiagnosticSink& sink) {
    return sink.file ? sink.file : stderr;
}

// A source can hold bytes that a terminal takes for commands (a new title, a
// cleared screen). Shown on a terminal, or with locations, they are escaped;
// anywhere else the bytes stay as they are, since scripts and tests compare
// them.
bool escapes_details(DiagnosticSink& sink) {
    // Lines with locations are read by editors and tools, which want text.
    if (sink.locations) return true;
    if (sink.terminal == 0) {
        sink.terminal = !sink.silent && platform::is_terminal(stream_of(sink)) ? 1 : -1;
    }
    return sink.terminal == 1;
}

// One line, gathered so that it reaches the stream in one write: standard
// error is unbuffered, and a line written in pieces could be interleaved
// with another program's output. A longer line than the buffer is handed on
// in pieces, and seen whole by no observer; no diagnostic is that long.
class Line {
  public:
    explicit Line(DiagnosticSink& sink) : sink_(sink) {}

    void add(const char* text) {
        for (; *text; text++) add_byte(*text);
    }
    void add_number(std::uint32_t number) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%u", number);
        add(digits);
    }
    // Adds `detail`, its control bytes escaped where the sink is a terminal.
    void add_detail(const char* detail) {
        bool escapes = escapes_details(sink_);
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
    void finish(const Diagnostic* diagnostic) {
        add_byte('\n');
        if (sink_.observe) sink_.observe(sink_.context, diagnostic, text_, size_);
        flush();
    }

  private:
    void add_byte(char c) {
        if (size_ == sizeof text_) flush();
        text_[size_++] = c;
    }
    void flush() {
        if (!sink_.silent) std::fwrite(text_, 1, size_, stream_of(sink_));
        size_ = 0;
    }

    DiagnosticSink& sink_;
    char text_[1024];
    std::size_t size_ = 0;
};

} // namespace

void print_diagnostic(DiagnosticSink& sink, const Diagnostic& diagnostic) {
    Line line(sink);
    const SourceLocation& at = diagnostic.location;
    if (sink.locations && at.line != 0) {
        line.add_detail(at.file);
        line.add(":");
        line.add_number(at.line);
        line.add(":");
        line.add_number(at.column);
        line.add(": ");
    }
    if (diagnostic.severity == Severity::Note) {
        line.add("note: ");
        line.add(diagnostic.message);
        if (diagnostic.detail[0] != '\0') line.add(" ");
    } else {
        if (diagnostic.severity == Severity::Warning) line.add("-- ");
        line.add(diagnostic.message);
        line.add(": ");
    }
    line.add_detail(diagnostic.detail);
    line.finish(&diagnostic);
}

int report_error(DiagnosticSink& sink, const char* message, const char* detail) {
    print_diagnostic(sink, {Severity::Error, message, detail, {}});
    return 0;
}

void report_warning(DiagnosticSink& sink, const char* message, const char* detail) {
    print_diagnostic(sink, {Severity::Warning, message, detail, {}});
}

void report_line(DiagnosticSink& sink, const char* format, ...) {
    char text[1024];
    std::va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    auto size = static_cast<std::size_t>(length) < sizeof text ? static_cast<std::size_t>(length)
                                                               : sizeof text - 1;
    if (sink.observe) sink.observe(sink.context, nullptr, text, size);
    if (!sink.silent) std::fwrite(text, 1, size, stream_of(sink));
}
