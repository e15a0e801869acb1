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

// The length of the UTF-8 sequence at `text` that is shown as it is: a
// well-formed character other than a C1 control (U+0080-U+009F). 0 when the
// byte at `text` is to be escaped: a control byte, or a byte 0x80-0x9f that
// begins no such character (a terminal that reads bytes as Latin-1 takes it
// for a control). Other bytes are shown as they are (1).
std::size_t shown_length(const unsigned char* text) {
    unsigned char lead = text[0];
    if (lead < 0x20 || lead == 0x7f) return 0;
    if (lead < 0x80) return 1;
    std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 ? 2 : 0;
    std::uint32_t code = lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; i++) {
        if ((text[i] & 0xc0) != 0x80) return lead < 0xa0 ? 0 : 1;
        code = code << 6 | (text[i] & 0x3f);
    }
    static constexpr std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    bool valid =
        length > 0 && lead < 0xf5 && code >= shortest[length] && (code < 0xd800 || code > 0xdfff);
    if (!valid) return lead < 0xa0 ? 0 : 1;
    return code <= 0x9f ? 0 : length;
}

// Calls `put` with the pieces of `detail` as shown where `escapes`: control
// bytes, C1 controls in either form and stray bytes 0x80-0x9f as "\xHH".
template <typename Put> void show_detail(const char* detail, bool escapes, Put put) {
    auto text = reinterpret_cast<const unsigned char*>(detail);
    while (*text) {
        std::size_t length = escapes ? shown_length(text) : 1;
        if (length > 0) {
            put(reinterpret_cast<const char*>(text), length);
            text += length;
            continue;
        }
        // A C1 control in UTF-8 is escaped as its two bytes.
        std::size_t escaped = text[0] == 0xc2 ? 2 : 1;
        for (std::size_t i = 0; i < escaped; i++) {
            const char* digits = "0123456789abcdef";
            const char shown[] = {'\\', 'x', digits[text[i] >> 4], digits[text[i] & 15]};
            put(shown, sizeof shown);
        }
        text += escaped;
    }
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
        show_detail(detail, escapes_details(sink_), [this](const char* piece, std::size_t size) {
            for (std::size_t i = 0; i < size; i++) add_byte(piece[i]);
        });
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

const char* shown_detail(DiagnosticSink& sink, const char* detail, char* shown,
                         std::size_t capacity) {
    std::size_t size = 0;
    bool full = false;
    show_detail(detail, escapes_details(sink), [&](const char* piece, std::size_t length) {
        // Whole pieces only, so that no escape or character is cut.
        full = full || length >= capacity - size;
        for (std::size_t i = 0; !full && i < length; i++) shown[size++] = piece[i];
    });
    shown[size] = '\0';
    return shown;
}

void report_line(DiagnosticSink& sink, const char* format, ...) {
    char text[1024];
    std::va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length < 0) return; // GCOVR_EXCL_BR_LINE: only for a format this code never passes
    auto size = static_cast<std::size_t>(length) < sizeof text ? static_cast<std::size_t>(length)
                                                               : sizeof text - 1;
    if (sink.observe) sink.observe(sink.context, nullptr, text, size);
    if (!sink.silent) std::fwrite(text, 1, size, stream_of(sink));
}
