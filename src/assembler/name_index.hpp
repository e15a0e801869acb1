// A fixed-size hash index over a table of named records, so that finding a
// name does not grow with the table. The table keeps its own order; the
// index only maps names to positions in it. Each slot holds 0 when empty or
// the record's position + 1, and collisions go on to the next slot (open
// addressing). Records are never removed, so no slot ever needs emptying.
//
// Names lie in 64-byte fields (NameField) and are hashed and compared eight
// bytes at a time. A name ends at its first zero byte, or at a given limit
// when a prefix is looked up where it stands. Whatever follows the end of a
// name that is looked up is masked off; the names the records hold must have
// zero bytes after their end, so that they compare word for word.
#pragma once

#include <bit>
#include <cstdint>

#include "assembler/token_widths.hpp"
#include "assembler/words.hpp"

using NameField = char[NAME_SIZE];

namespace name_words {

constexpr std::uint64_t ONES = 0x0101010101010101;
constexpr std::uint64_t HIGHS = 0x8080808080808080;

// Eight bytes of a field as a word whose low byte is byte 0.
inline std::uint64_t load(const char* field, int at) {
    return load_word(field + at);
}

// The low `count` bytes of a word (count 0 to 7).
inline std::uint64_t low_bytes(std::uint64_t word, int count) {
    return word & ((std::uint64_t{1} << (8 * count)) - 1);
}

// Clears the bytes of the word from its first zero byte on; true if it had
// one. A borrow may mark bytes after the first zero byte as zero too, but
// never one before it, so the lowest mark is exact.
inline bool cut_at_end(std::uint64_t& word) {
    std::uint64_t zeros = (word - ONES) & ~word & HIGHS;
    if (zeros == 0) return false;
    word &= ((zeros & (~zeros + 1)) >> 7) - 1;
    return true;
}

} // namespace name_words

// A name as the index compares it: its words up to the one where it ends,
// with the bytes after the end cleared, and their hash.
struct NameKey {
    std::uint64_t words[NAME_SIZE / 8];
    int count;
    std::uint32_t hash; // multiplicative, so the top bits are the best mixed
};

// The key of the name in `field`, cut after `limit` characters.
inline NameKey make_key(const char* field, int limit = NAME_SIZE) {
    NameKey key;
    key.count = 0;
    std::uint64_t hash = 0;
    for (int at = 0; at < NAME_SIZE; at += 8) {
        std::uint64_t word = name_words::load(field, at);
        bool last = name_words::cut_at_end(word);
        if (limit - at < 8) {
            word = name_words::low_bytes(word, limit - at);
            last = true;
        }
        key.words[key.count++] = word;
        hash = (hash ^ word) * 0x9e3779b97f4a7c15;
        if (last) break;
    }
    key.hash = static_cast<std::uint32_t>(hash >> 32);
    return key;
}

// True when a record's name is the key. Records keep their names with zero
// bytes after the end, so the words compare as they are.
inline bool holds_key(const char* name, const NameKey& key) {
    for (int i = 0; i < key.count; i++)
        if (name_words::load(name, 8 * i) != key.words[i]) return false;
    return true;
}

// The slot that holds the record named by the key, or else the empty slot
// where it belongs. SLOTS is a power of two, at least twice the table's
// capacity, so the probe always ends at an empty slot, after few steps.
template <typename Record, int SLOTS>
std::uint16_t* find_name_slot(std::uint16_t (&slots)[SLOTS], const Record* records,
                              const NameKey& key) {
    static_assert((SLOTS & (SLOTS - 1)) == 0, "the index must have a power-of-two size");
    static_assert(sizeof(Record::name) == NAME_SIZE, "records keep names in fields");
    std::uint32_t slot = key.hash >> (32 - std::countr_zero(unsigned{SLOTS}));
    while (slots[slot] != 0 && !holds_key(records[slots[slot] - 1].name, key))
        slot = (slot + 1) & (SLOTS - 1);
    return &slots[slot];
}
