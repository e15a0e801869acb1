// The two scans of the comment skip over a stream's buffer: ahead for the
// next "(" or ")", and back over the 16 bytes before one for whitespace.
// Prose has a parenthesis every few dozen bytes, so both run at every step of
// the skip and neither has a branch that depends on the bytes.
//
// x86-64 uses SSE2, 16 bytes at a time; every such processor has it, so the
// program needs no special build and runs everywhere. Other machines use
// 8-byte words, in memory order whatever their byte order (words.hpp). Both
// are defined wherever they can be, and the tests compare them.
#pragma once

#include <bit>
#include <cstdint>

#include "assembler/words.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The bytes one step of a scan reads.
constexpr std::uint32_t COMMENT_SCAN_STEP = 16;

// "(" is 0x28 and ")" 0x29: with the low bit set, both are ")", so one
// comparison finds either.
constexpr unsigned char PARENTHESIS_WITH_LOW_BIT = ')';

// --- Any machine ---

// The first "(" or ")" at or after `from`. The caller plants a parenthesis
// after its data, so the search does not test for an end, and the 15 bytes
// after that one must be readable. A zero byte in
// ((word | 0x01..01) ^ "))))))))") marks a match; the lowest such byte is
// found exactly, so the first match in memory order wins.
inline std::uint32_t find_parenthesis_in_words(const unsigned char* bytes, std::uint32_t from) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    constexpr std::uint64_t closing = ones * PARENTHESIS_WITH_LOW_BIT;
    for (;; from += 8) {
        std::uint64_t x = (load_word(bytes + from) | ones) ^ closing;
        std::uint64_t matches = (x - ones) & ~x & highs;
        if (matches) return from + static_cast<std::uint32_t>(std::countr_zero(matches) / 8);
    }
}

// The whitespace of the C locale (blank, 0x09 to 0x0d) among the 8 bytes of
// `word`, in memory order from the lowest bit. Each byte is tested on its
// own 7 low bits, so no carry crosses into the next.
inline unsigned spaces_in_word(std::uint64_t word) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    std::uint64_t low = word & ~highs;
    std::uint64_t blank = ~(((low ^ ones * ' ') + ~highs) | word) & highs;
    std::uint64_t from_tab = low + ones * (0x80 - '\t');
    std::uint64_t past_return = low + ones * (0x80 - '\r' - 1);
    std::uint64_t control = from_tab & ~past_return & ~word & highs;
    // Gathers the high bit of each byte into the top byte of the product.
    return static_cast<unsigned>((((blank | control) >> 7) * 0x0102040810204080) >> 56);
}

// The whitespace among the 16 bytes before `at`, one bit per byte: bit 15 is
// the byte right before `at`, bit 0 the one 16 bytes before it.
inline unsigned spaces_before_in_words(const unsigned char* at) {
    return spaces_in_word(load_word(at - COMMENT_SCAN_STEP)) |
           spaces_in_word(load_word(at - COMMENT_SCAN_STEP + 8)) << 8;
}

// --- x86-64 ---

#if defined(__SSE2__)
// The parentheses among the 16 bytes at `at`, one bit per byte.
inline unsigned parentheses_sse2(const unsigned char* at) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i folded = _mm_or_si128(chunk, _mm_set1_epi8(1));
    return static_cast<unsigned>(_mm_movemask_epi8(
        _mm_cmpeq_epi8(folded, _mm_set1_epi8(static_cast<char>(PARENTHESIS_WITH_LOW_BIT)))));
}

// find_parenthesis_in_words, 16 bytes a step and two steps a turn of the
// loop, which halves its cost.
inline std::uint32_t find_parenthesis_sse2(const unsigned char* bytes, std::uint32_t from) {
    for (const unsigned char* at = bytes + from;; at += 2 * COMMENT_SCAN_STEP) {
        if (unsigned found = parentheses_sse2(at))
            return static_cast<std::uint32_t>(at - bytes + std::countr_zero(found));
        if (unsigned found = parentheses_sse2(at + COMMENT_SCAN_STEP))
            return static_cast<std::uint32_t>(at + COMMENT_SCAN_STEP - bytes +
                                              std::countr_zero(found));
    }
}

// spaces_before_in_words in one step.
inline unsigned spaces_before_sse2(const unsigned char* at) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at - COMMENT_SCAN_STEP));
    __m128i blank = _mm_cmpeq_epi8(chunk, _mm_set1_epi8(' '));
    // 0x09 to 0x0d are the bytes that stay within 4 once 9 is taken away.
    __m128i beyond =
        _mm_subs_epu8(_mm_sub_epi8(chunk, _mm_set1_epi8('\t')), _mm_set1_epi8('\r' - '\t'));
    __m128i control = _mm_cmpeq_epi8(beyond, _mm_setzero_si128());
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(blank, control)));
}
#endif

// --- The scans the reader uses: the widest this machine has ---

inline std::uint32_t find_parenthesis(const unsigned char* bytes, std::uint32_t from) {
#if defined(__SSE2__)
    return find_parenthesis_sse2(bytes, from);
#else
    return find_parenthesis_in_words(bytes, from);
#endif
}

inline unsigned spaces_before(const unsigned char* at) {
#if defined(__SSE2__)
    return spaces_before_sse2(at);
#else
    return spaces_before_in_words(at);
#endif
}
