// The line feeds among 16 bytes, one bit per byte in memory order, for
// counting the lines between two tokens a step at a time rather than a byte
// at a time. x86-64 uses SSE2; other machines two 8-byte words. Both are
// defined wherever they can be, and the tests compare them.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The bytes one step of the count reads.
constexpr std::uint32_t LINE_SCAN_STEP = 16;

// The line feeds among the 8 bytes of `word`, in memory order from the
// lowest bit. A byte is a line feed when it is zero once 0x0a is taken out
// of it; each byte is tested on its own 7 low bits, so no carry crosses
// into the next.
inline unsigned line_feeds_in_word(std::uint64_t word) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    std::uint64_t x = word ^ ones * '\n';
    std::uint64_t zero = ~(((x & ~highs) + ~highs) | x) & highs;
    // Gathers the high bit of each byte into the top byte of the product.
    return static_cast<unsigned>(((zero >> 7) * 0x0102040810204080) >> 56);
}

inline unsigned line_feeds_in_words(const unsigned char* at) {
    std::uint64_t low;
    std::uint64_t high;
    std::memcpy(&low, at, sizeof low);
    std::memcpy(&high, at + 8, sizeof high);
    if constexpr (std::endian::native == std::endian::little)
        return line_feeds_in_word(low) | line_feeds_in_word(high) << 8;
    unsigned feeds = 0;
    for (std::uint32_t i = 0; i < LINE_SCAN_STEP; i++) feeds |= unsigned{at[i] == '\n'} << i;
    return feeds;
}

#if defined(__SSE2__)
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
