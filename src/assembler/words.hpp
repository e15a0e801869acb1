// Eight bytes of memory as one word whose low byte is the first byte, on
// any machine: the scans and the name index test bytes a word at a time,
// and their masks give bit or byte 0 to the byte read first. A little-endian
// machine loads the word as it is; a big-endian one swaps its bytes, which
// costs one instruction (a load that swaps, where the machine has one). The
// load makes no assumption about alignment.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

inline std::uint64_t load_word(const void* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
#if defined(__GNUC__)
        word = __builtin_bswap64(word);
#else
        std::uint64_t swapped = 0;
        for (int i = 0; i < 8; i++, word >>= 8) swapped = swapped << 8 | (word & 0xff);
        word = swapped;
#endif
    }
    return word;
}
