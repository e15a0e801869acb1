// The rows of bytes of a listing: "ADDR", then " BB" for each of up to 8
// bytes of the image. Most of a large listing is rows of 8 bytes after the
// first of a line, so those are written as many as fit at a time, through a
// table of digits, or on x86-64 processors that have SSSE3 (nearly all)
// with two shuffles of a row's digits among its blanks. Both are defined
// wherever they can be, and the tests compare them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "assembler/assembly.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ORVASM_LISTING_SSSE3 1
#endif

constexpr std::uint32_t BYTES_PER_ROW = 8;
constexpr std::size_t ROW_START = 5; // after "ADDR "
constexpr std::size_t ROW_WIDTH = ROW_START + 3 * BYTES_PER_ROW;
// Bytes that writing full rows may write after them.
constexpr std::size_t ROWS_SLACK = 16;

// "00" to "ff"; " BB " for a byte of a row, whose last blank is written
// over by what follows; "00" to "99".
struct DigitTables {
    char pairs[256][2];
    char cells[256][4];
    char decimal[100][2];
};

constexpr DigitTables make_digit_tables() {
    constexpr char digits[] = "0123456789abcdef";
    DigitTables tables{};
    for (int value = 0; value < 256; value++) {
        char high = digits[value >> 4];
        char low = digits[value & 15];
        tables.pairs[value][0] = high;
        tables.pairs[value][1] = low;
        tables.cells[value][0] = ' ';
        tables.cells[value][1] = high;
        tables.cells[value][2] = low;
        tables.cells[value][3] = ' ';
    }
    for (int value = 0; value < 100; value++) {
        tables.decimal[value][0] = digits[value / 10];
        tables.decimal[value][1] = digits[value % 10];
    }
    return tables;
}

constexpr DigitTables DIGITS = make_digit_tables();

[[gnu::always_inline]] inline char* put_hex4(char* at, std::uint32_t value) {
    std::memcpy(at, DIGITS.pairs[(value >> 8) & 0xff], 2);
    std::memcpy(at + 2, DIGITS.pairs[value & 0xff], 2);
    return at + 4;
}

// A row of `count` bytes of the image from `address` (taken modulo 64 KiB),
// at most 8, without its line end. Writes one byte more than it returns.
[[gnu::always_inline]] inline char* put_row(char* at, const std::uint8_t* image,
                                            std::uint32_t address, std::uint32_t count) {
    std::uint32_t from = address & 0xffff;
    at = put_hex4(at, from);
    *at++ = ' ';
    if (count == BYTES_PER_ROW && from + BYTES_PER_ROW <= IMAGE_SIZE) {
        const std::uint8_t* bytes = image + from;
        for (std::uint32_t i = 0; i < BYTES_PER_ROW; i++)
            std::memcpy(at + 3 * i, DIGITS.cells[bytes[i]], 4);
    } else {
        for (std::uint32_t i = 0; i < count; i++)
            std::memcpy(at + 3 * i, DIGITS.cells[image[(from + i) & 0xffff]], 4);
    }
    return at + 3 * count;
}

// `rows` rows of 8 bytes of the image from `address`, each with its line
// end; returns their end, and may write ROWS_SLACK bytes after it.
inline char* put_full_rows_by_table(char* at, const std::uint8_t* image, std::uint32_t address,
                                    std::uint32_t rows) {
    for (; rows > 0; rows--, address += BYTES_PER_ROW) {
        at = put_row(at, image, address, BYTES_PER_ROW);
        *at++ = '\n';
    }
    return at;
}

#if ORVASM_LISTING_SSSE3
// put_full_rows_by_table: the 16 digits of a row's bytes are looked up by a
// shuffle, then spread among the blanks by two more, one for each half of
// the row after its address.
[[gnu::target("ssse3")]] inline char* put_full_rows_ssse3(char* at, const std::uint8_t* image,
                                                          std::uint32_t address,
                                                          std::uint32_t rows) {
    const __m128i digits = _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b',
                                         'c', 'd', 'e', 'f');
    const __m128i nibble = _mm_set1_epi8(0x0f);
    // For each byte of a half, the digit it shows (the two of byte i are
    // 2i and 2i + 1), or -1 for the blank (or line end) that it adds.
    const __m128i first_half = _mm_setr_epi8(-1, -1, 0, 1, -1, 2, 3, -1, 4, 5, -1, 6, 7, -1, 8, 9);
    const __m128i first_blanks =
        _mm_setr_epi8(' ', ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0);
    const __m128i second_half =
        _mm_setr_epi8(-1, 10, 11, -1, 12, 13, -1, 14, 15, -1, -1, -1, -1, -1, -1, -1);
    const __m128i second_blanks =
        _mm_setr_epi8(' ', 0, 0, ' ', 0, 0, ' ', 0, 0, '\n', 0, 0, 0, 0, 0, 0);
    for (; rows > 0; rows--, address += BYTES_PER_ROW) {
        std::uint32_t from = address & 0xffff;
        if (from > IMAGE_SIZE - BYTES_PER_ROW) {
            at = put_full_rows_by_table(at, image, address, 1);
            continue;
        }
        put_hex4(at, from);
        __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(image + from));
        __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble);
        __m128i low = _mm_and_si128(bytes, nibble);
        __m128i shown = _mm_shuffle_epi8(digits, _mm_unpacklo_epi8(high, low));
        __m128i first = _mm_or_si128(_mm_shuffle_epi8(shown, first_half), first_blanks);
        __m128i second = _mm_or_si128(_mm_shuffle_epi8(shown, second_half), second_blanks);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 4), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 20), second);
        at += ROW_WIDTH + 1;
    }
    return at;
}
#endif

// put_full_rows_by_table, by the widest way this machine has.
inline char* put_full_rows(char* at, const std::uint8_t* image, std::uint32_t address,
                           std::uint32_t rows) {
#if ORVASM_LISTING_SSSE3
    static const bool ssse3 = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    if (ssse3) return put_full_rows_ssse3(at, image, address, rows);
#endif
    return put_full_rows_by_table(at, image, address, rows);
}
