// Skipping lines of a file read back for its listing: the byte after the
// n-th line end of a block. A source that is mostly comments shows a line
// of code every few hundred lines, so the listing passes over most of the
// file unseen; counting line ends costs a few instructions for 16 bytes,
// where finding each in turn costs a call for each line.
//
// x86-64 counts 256 bytes at a turn with SSE2 (every such processor has it)
// and then finds the line end wanted within 16 bytes; other machines take
// memchr line by line. Both are defined wherever they can be, and the tests
// compare them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "assembler/reader_masks.hpp"

// Bytes after the end of a block that a scan may read, but never counts:
// the block's buffer must have them.
constexpr std::size_t LINE_SCAN_SLACK = 16;

// The byte after the `count`-th line end ('\n') from `at` on, before `end`,
// with `count` then 0; or nullptr when there are fewer, with `count` lowered
// by as many as there are. `count` is at least 1.
inline const char* skip_line_ends_bytes(const char* at, const char* end, std::uint64_t& count) {
    while (at < end) {
        const void* found = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
        if (!found) break;
        at = static_cast<const char*>(found) + 1;
        if (--count == 0) return at;
    }
    return nullptr;
}

#if defined(__SSE2__)
// The line ends among the 16 bytes at `at`, one bit for each: the token
// reader's mask.
inline unsigned line_ends_sse2(const char* at) {
    return line_feeds_sse2(reinterpret_cast<const unsigned char*>(at));
}

// The line ends from `at` on before `at + limit`, one bit for each, in
// turn, 16 bytes at a time: the byte after the `count`-th, or nullptr with
// `count` lowered by those seen up to `at + limit` (or `end`, if first).
inline const char* find_line_ends_sse2(const char* at, const char* end, std::ptrdiff_t limit,
                                       std::uint64_t& count) {
    const char* stop = end - at < limit ? end : at + limit;
    for (; at < stop; at += 16) {
        unsigned ends = line_ends_sse2(at);
        if (stop - at < 16) ends &= (1u << (stop - at)) - 1;
        for (; ends != 0; ends &= ends - 1)
            if (--count == 0) return at + std::countr_zero(ends) + 1;
    }
    return nullptr;
}

// The first line end from `at` on before `end`, or nullptr; 32 bytes at a
// turn, and reading up to LINE_SCAN_SLACK bytes after `end`.
inline const char* find_line_end_sse2(const char* at, const char* end) {
    const __m128i line_end = _mm_set1_epi8('\n');
    for (std::ptrdiff_t left = end - at; left >= 32; left -= 32, at += 32) {
        __m128i low =
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), line_end);
        __m128i high =
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16)), line_end);
        if (_mm_movemask_epi8(_mm_or_si128(low, high)) == 0) continue;
        if (unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(low)))
            return at + std::countr_zero(ends);
        return at + 16 + std::countr_zero(static_cast<unsigned>(_mm_movemask_epi8(high)));
    }
    for (; at < end; at += 16) {
        unsigned ends = line_ends_sse2(at);
        if (end - at < 16) ends &= (1u << (end - at)) - 1;
        if (ends != 0) return at + std::countr_zero(ends);
    }
    return nullptr;
}

// skip_line_ends_bytes, reading up to LINE_SCAN_SLACK bytes after `end`.
inline const char* skip_line_ends_sse2(const char* at, const char* end, std::uint64_t& count) {
    constexpr std::ptrdiff_t near = 64;
    constexpr std::ptrdiff_t turn = 256;
    const __m128i line_end = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    // A line end close by, as in a listing that shows most lines, is found
    // at once.
    if (const char* found = find_line_ends_sse2(at, end, near, count)) return found;
    if (end - at <= near) return nullptr;
    at += near;
    // Each byte lane counts the line ends it sees in a turn, at most 16; the
    // lanes are summed once a turn, and the turn that reaches the line end
    // wanted is read again below.
    while (end - at >= turn) {
        __m128i lanes = zero;
        for (int i = 0; i < 16; i++) {
            __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(chunk, line_end));
        }
        __m128i sums = _mm_sad_epu8(lanes, zero);
        auto found = static_cast<std::uint64_t>(_mm_cvtsi128_si32(sums)) +
                     static_cast<std::uint64_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
        if (found >= count) break;
        count -= found;
        at += turn;
    }
    return find_line_ends_sse2(at, end, turn, count);
}
#endif

// The first line end from `at` on before `end`, or nullptr; reads up to
// LINE_SCAN_SLACK bytes after `end` where SSE2 is used.
inline const char* find_line_end(const char* at, const char* end) {
#if defined(__SSE2__)
    return find_line_end_sse2(at, end);
#else
    return static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
#endif
}

// skip_line_ends_bytes, by the widest scan this machine has.
inline const char* skip_line_ends(const char* at, const char* end, std::uint64_t& count) {
#if defined(__SSE2__)
    return skip_line_ends_sse2(at, end, count);
#else
    return skip_line_ends_bytes(at, end, count);
#endif
}
