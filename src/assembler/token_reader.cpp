#include "assembler/token_reader.hpp"

namespace {

// The C locale's whitespace; every other byte, 0x00 and 0x80-0xff included,
// belongs to a token.
struct CharacterClasses {
    bool space[256] = {};
    constexpr CharacterClasses() {
        const char blanks[] = " \t\n\v\f\r";
        for (const char* c = blanks; *c; c++) space[static_cast<unsigned char>(*c)] = true;
    }
};

constexpr CharacterClasses classes;

bool refill(TokenStream& stream) {
    if (stream.exhausted) return false;
    std::size_t count = std::fread(stream.buffer, 1, STREAM_BUFFER_SIZE, stream.file);
    stream.position = 0;
    stream.end = static_cast<std::uint32_t>(count);
    if (count == 0) {
        stream.exhausted = true;
        stream.failed = std::ferror(stream.file) != 0;
        return false;
    }
    return true;
}

} // namespace

void open_token_stream(TokenStream& stream, std::FILE* file, const char* path) {
    stream.file = file;
    stream.path = path;
    stream.position = 0;
    stream.end = 0;
    stream.exhausted = false;
    stream.failed = false;
}

bool read_token(TokenStream& stream, char* token, int width) {
    for (;;) {
        if (stream.position == stream.end && !refill(stream)) return false;
        if (!classes.space[stream.buffer[stream.position]]) break;
        stream.position++;
    }
    int length = 0;
    while (length < width) {
        if (stream.position == stream.end && !refill(stream)) break;
        unsigned char c = stream.buffer[stream.position];
        if (classes.space[c]) break;
        token[length++] = static_cast<char>(c);
        stream.position++;
    }
    token[length] = '\0';
    // A token cut short by a read error is not handed on.
    return !stream.failed;
}
