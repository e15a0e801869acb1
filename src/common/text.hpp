// Text helpers over NUL-terminated names in fixed buffers. None of them
// allocates; callers size every destination.
#pragma once

#include <cstdint>

// True as soon as `n` characters have matched or both texts end at the same
// place; false at the first difference. With n = 64 it is plain equality of
// names, with n = 3 it compares the first three characters.
bool names_equal(const char* a, const char* b, int n);

// True when `s` is non-empty and made only of "0"-"9" and "a"-"f".
bool is_hex_word(const char* s);

// value * 16 + digit for each hexadecimal character, wrapping in 32 bits;
// other characters are skipped.
std::uint32_t hex_word_value(const char* s);

// is_hex_word and hex_word_value in one pass over `s`: when it is a
// hexadecimal word, sets `value` and returns true.
bool read_hex_word(const char* s, std::uint32_t& value);

// Number of characters before the terminator.
int text_length(const char* s);

// 1-based position of the first `c` in `s`, or -1 when there is none.
int position_of(const char* s, char c);

// Copies `src` into `dst` until its end or until n - 1 characters are copied
// (one character when n is 1), then terminates `dst`. Returns `dst`.
char* copy_bounded(const char* src, char* dst, int n);

// Appends `src` to the end of `dst`.
char* append_text(char* dst, const char* src);
