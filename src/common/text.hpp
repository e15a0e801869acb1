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

// Copies the first `length` characters of `src` to `dst` and terminates it;
// `dst` holds at least length + 1 bytes.
void copy_text(char* dst, const char* src, int length);
