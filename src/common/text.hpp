// Text helpers over NUL-terminated names in fixed buffers. None of them
// allocates; callers size every destination.
#pragma once

#include <cstdint>

// True when `s` is non-empty and made only of "0"-"9" and "a"-"f".
bool is_hex_word(const char* s);

// When `s` is a hexadecimal word (as is_hex_word), sets `value` to its value,
// wrapping in 32 bits, and returns true; otherwise leaves `value` alone.
bool read_hex_word(const char* s, std::uint32_t& value);

// Number of characters before the terminator.
int text_length(const char* s);

// Copies `src` into `dst` until its end or until n - 1 characters are copied
// (one character when n is 1), then terminates `dst`. Returns `dst`.
char* copy_bounded(const char* src, char* dst, int n);
