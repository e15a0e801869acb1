#include "lsp/framing.hpp"

#include <strings.h>

#include <algorithm>

const char* const FRAME_STATUS_TEXT[] = {
    "message",
    "end of input",
    "input ended inside a message",
    "malformed header line",
    "header without Content-Length",
    "Content-Length over the limit of 64 MiB",
};

namespace {

enum class LineStatus { Line, End, Truncated, TooLong };

// Reads one header line, without its LF and a CR before it. End is the end
// of the input before any byte of the line.
LineStatus read_header_line(std::FILE* input, std::string& line) {
    line.clear();
    for (int c; (c = std::getc(input)) != EOF;) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return LineStatus::Line;
        }
        if (line.size() == MAX_HEADER_LINE + 1) return LineStatus::TooLong; // room for the CR
        line.push_back(static_cast<char>(c));
    }
    return line.empty() ? LineStatus::End : LineStatus::Truncated;
}

// Reads the value of Content-Length: decimal digits with blanks around them.
// False when it is no number; a value over MAX_MESSAGE_SIZE is given as
// MAX_MESSAGE_SIZE + 1, however many digits follow.
bool parse_length(const char* text, std::size_t& length) {
    while (*text == ' ' || *text == '\t') text++;
    if (*text < '0' || *text > '9') return false;
    length = 0;
    for (; *text >= '0' && *text <= '9'; text++) {
        length = length * 10 + static_cast<std::size_t>(*text - '0');
        length = std::min(length, MAX_MESSAGE_SIZE + 1);
    }
    while (*text == ' ' || *text == '\t') text++;
    return *text == '\0';
}

// Reads `length` bytes in blocks, so a body that never comes costs nothing.
bool read_body(std::FILE* input, std::size_t length, std::string& body) {
    constexpr std::size_t BLOCK = 65536;
    body.clear();
    while (body.size() < length) {
        std::size_t start = body.size();
        std::size_t want = std::min(BLOCK, length - start);
        body.resize(start + want);
        std::size_t got = std::fread(body.data() + start, 1, want, input);
        body.resize(start + got);
        if (got < want) return false;
    }
    return true;
}

} // namespace

FrameStatus read_message(std::FILE* input, std::string& body) {
    std::string line;
    bool has_length = false;
    std::size_t length = 0;
    for (bool first = true;; first = false) {
        switch (read_header_line(input, line)) {
        case LineStatus::End: return first ? FrameStatus::End : FrameStatus::Truncated;
        case LineStatus::Truncated: return FrameStatus::Truncated;
        case LineStatus::TooLong: return FrameStatus::BadHeader;
        case LineStatus::Line: break;
        }
        if (line.empty()) break;
        // Names may not hold a NUL: the comparisons below would stop there.
        std::size_t colon = line.find(':');
        if (colon == std::string::npos || line.find('\0') != std::string::npos)
            return FrameStatus::BadHeader;
        line[colon] = '\0';
        if (strcasecmp(line.c_str(), "Content-Length") != 0) continue;
        if (!parse_length(line.c_str() + colon + 1, length)) return FrameStatus::BadHeader;
        if (length > MAX_MESSAGE_SIZE) return FrameStatus::TooLarge;
        has_length = true;
    }
    if (!has_length) return FrameStatus::MissingLength;
    return read_body(input, length, body) ? FrameStatus::Message : FrameStatus::Truncated;
}

bool write_message(std::FILE* output, const std::string& body) {
    std::fprintf(output, "Content-Length: %zu\r\n\r\n", body.size());
    std::fwrite(body.data(), 1, body.size(), output);
    return std::fflush(output) == 0 && !std::ferror(output);
}
