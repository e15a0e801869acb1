// Masks of 16 bytes that the token reader takes a step at a time rather
// than a byte at a time, one bit per byte in memory order: the line feeds,
// for counting the lines between two tokens, and the bytes up to the blank,
// among which a token's text ends. x86-64 uses SSE2; other machines two 8-byte words. Both are
// defined wherever they can be, and the tests compare them.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The bytes one step of a mask reads.
constexpr std::uint32_t MASK_STEP = 16;

// The zero bytes among the 8 of `word`, in memory order from the lowest
// bit. Each byte is tested on its own 7 low bits, so no carry crosses into
// the next.
inline unsigned zeros_in_word(std::uint64_t word) {
    constexpr std::uint64_t highs = 0x8080808080808080;
    std::uint64_t zero = ~(((word & ~highs) + ~highs) | word) & highs;
    // Gathers the high bit of each byte into the top byte of the product.
    return static_cast<unsigned>(((zero >> 7) * 0x0102040810204080) >> 56);
}

// The bytes up to 0x20 among the 8 of `word`: those whose 7 low bits stay
// below 0x80 once 0x5f is added, and whose high bit is clear.
inline unsigned blank_or_below_in_word(std::uint64_t word) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    std::uint64_t below = ~(((word & ~highs) + ones * (0x80 - ' ' - 1)) | word) & highs;
    return static_cast<unsigned>(((below >> 7) * 0x0102040810204080) >> 56);
}

// The line feeds among the 8 bytes of `word`: the bytes that are zero once
// 0x0a is taken out of them.
inline unsigned line_feeds_in_word(std::uint64_t word) {
    return zeros_in_word(word ^ 0x0101010101010101 * '\n');
}

inline unsigned line_feeds_in_words(const unsigned char* at) {
    std::uint64_t low;
    std::uint64_t high;
    std::memcpy(&low, at, sizeof low);
    std::memcpy(&high, at + 8, sizeof high);
    if constexpr (std::endian::native == std::endian::little)
        return line_feeds_in_word(low) | line_feeds_in_word(high) << 8;
    unsigned feeds = 0;
    for (std::uint32_t i = 0; i < MASK_STEP; i++) feeds |= unsigned{at[i] == '\n'} << i;
    return feeds;
}

// The bytes up to 0x20, the blank, among the 16 at `at`: every byte that
// ends a token's text (whitespace and 0x00) is one, and the few others
// (control bytes) are told apart by the caller.
inline unsigned blank_or_below_in_words(const unsigned char* at) {
    std::uint64_t low;
    std::uint64_t high;
    std::memcpy(&low, at, sizeof low);
    std::memcpy(&high, at + 8, sizeof high);
    if constexpr (std::endian::native == std::endian::little)
        return blank_or_below_in_word(low) | blank_or_below_in_word(high) << 8;
    unsigned found = 0;
    for (std::uint32_t i = 0; i < MASK_STEP; i++) found |= unsigned{at[i] <= ' '} << i;
    return found;
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
