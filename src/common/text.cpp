// Text helpers for names and hexadecimal words, on NUL-terminated texts in
// fixed buffers; none allocates.
#include "common/text.hpp"

#include <cstring>

// Digit values by character, -1 for any other byte: every literal, raw byte
// and candidate name is tested, so one load replaces the range tests.
struct HexDigits {
    signed char value[256] = {};
    constexpr HexDigits() {
        for (int c = 0; c < 256; c++) value[c] = -1;
        for (int d = 0; d < 10; d++) value['0' + d] = static_cast<signed char>(d);
        for (int d = 0; d < 6; d++) value['a' + d] = static_cast<signed char>(10 + d);
    }
};

constexpr HexDigits hex_digits;

static int hex_digit(char c) {
    return hex_digits.value[static_cast<unsigned char>(c)];
}

bool is_hex_word(const char* s) {
    if (s[0] == '\0') return false;
    for (; *s; s++)
        if (hex_digit(*s) < 0) return false;
    return true;
}

bool read_hex_word(const char* s, std::uint32_t& value) {
    if (s[0] == '\0') return false;
    std::uint32_t result = 0;
    for (; *s; s++) {
        int digit = hex_digit(*s);
        if (digit < 0) return false;
        result = result * 16 + static_cast<std::uint32_t>(digit);
    }
    value = result;
    return true;
}

int text_length(const char* s) {
    int length = 0;
    while (s[length]) length++;
    return length;
}

void copy_text(char* dst, const char* src, int length) {
    std::memcpy(dst, src, static_cast<std::size_t>(length));
    dst[length] = '\0';
}
