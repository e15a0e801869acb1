// Masks of 16 bytes that the token reader takes a step at a time rather
// than a byte at a time, one bit per byte in memory order: the line feeds,
// for counting the lines between two tokens, and the bytes up to the blank,
// among which a token's text ends. x86-64 uses SSE2; other machines two
// 8-byte words, in memory order whatever their byte order (words.hpp). Both
// are defined wherever they can be, and the tests compare them.
#pragma once

#include <cstdint>

#include "assembler/words.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The bytes one step of a mask reads.
constexpr std::uint32_t MASK_STEP = 16;

// The high bit of each of the 8 bytes of `marks`, in memory order from the
// lowest bit: the product gathers them into its top byte.
inline unsigned high_bits(std::uint64_t marks) {
    return static_cast<unsigned>(((marks >> 7) * 0x0102040810204080) >> 56);
}

// The zero bytes among the 8 of `word`. Each byte is tested on its own 7
// low bits, so no carry crosses into the next.
inline unsigned zeros_in_word(std::uint64_t word) {
    constexpr std::uint64_t highs = 0x8080808080808080;
    return high_bits(~(((word & ~highs) + ~highs) | word) & highs);
}

// The bytes up to 0x20 among the 8 of `word`: those whose 7 low bits stay
// below 0x80 once 0x5f is added, and whose high bit is clear.
inline unsigned blank_or_below_in_word(std::uint64_t word) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    return high_bits(~(((word & ~highs) + ones * (0x80 - ' ' - 1)) | word) & highs);
}

// The line feeds among the 8 bytes of `word`: the bytes that are zero once
// 0x0a is taken out of them.
inline unsigned line_feeds_in_word(std::uint64_t word) {
    return zeros_in_word(word ^ 0x0101010101010101 * '\n');
}

// A mask of the 16 bytes at `at` as two 8-byte words, `in_word` on each.
template <typename InWord> inline unsigned mask_in_words(const unsigned char* at, InWord in_word) {
    return in_word(load_word(at)) | in_word(load_word(at + 8)) << 8;
}

inline unsigned line_feeds_in_words(const unsigned char* at) {
    return mask_in_words(at, line_feeds_in_word);
}

// The bytes up to 0x20, the blank, among the 16 at `at`: every byte that
// ends a token's text (whitespace and 0x00) is one, and the few others
// (control bytes) are told apart by the caller.
inline unsigned blank_or_below_in_words(const unsigned char* at) {
    return mask_in_words(at, blank_or_below_in_word);
}

#if defined(__SSE2__)
inline unsigned blank_or_below_sse2(const unsigned char* at) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i blank = _mm_set1_epi8(' ');
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(chunk, blank), chunk)));
}

inline unsigned line_feeds_sse2(const unsigned char* at) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('\n'))));
}
#endif

// The line feeds among the 16 bytes at `at`, all of which must be readable.
inline unsigned line_feeds(const unsigned char* at) {
#if defined(__SSE2__)
    return line_feeds_sse2(at);
#else
    return line_feeds_in_words(at);
#endif
}

// The bytes up to 0x20 among the 16 at `at`, all of which must be readable.
inline unsigned blank_or_below(const unsigned char* at) {
#if defined(__SSE2__)
    return blank_or_below_sse2(at);
#else
    return blank_or_below_in_words(at);
#endif
}
