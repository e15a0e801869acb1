// A fixed-size hash index over a table of named records, so that finding a
// name does not grow with the table. The table keeps its own order; the
// index only maps names to positions in it. Each slot holds 0 when empty or
// the record's position + 1, and collisions go on to the next slot (open
// addressing). Records are never removed, so no slot ever needs emptying.
//
// A key is the first `limit` characters of a text, or all of it when it ends
// sooner, so that a prefix can be looked up where it stands.
#pragma once

#include <cstdint>

// FNV-1a over the characters of the key.
inline std::uint32_t key_hash(const char* text, int limit) {
    std::uint32_t hash = 2166136261u;
    for (int i = 0; i < limit && text[i]; i++)
        hash = (hash ^ static_cast<unsigned char>(text[i])) * 16777619u;
    return hash;
}

// True when the stored name is exactly the key.
inline bool is_key(const char* name, const char* text, int limit) {
    for (int i = 0;; i++) {
        if (i == limit || text[i] == '\0') return name[i] == '\0';
        if (name[i] != text[i]) return false;
    }
}

// The slot that holds the record named by the key, or else the empty slot
// where it belongs. SLOTS is a power of two, at least twice the table's
// capacity, so the probe always ends at an empty slot, after few steps.
template <typename Record, int SLOTS>
std::uint16_t* find_name_slot(std::uint16_t (&slots)[SLOTS], const Record* records,
                              const char* text, int limit = sizeof(Record::name)) {
    static_assert((SLOTS & (SLOTS - 1)) == 0, "the index must have a power-of-two size");
    std::uint32_t slot = key_hash(text, limit) & (SLOTS - 1);
    while (slots[slot] != 0 && !is_key(records[slots[slot] - 1].name, text, limit))
        slot = (slot + 1) & (SLOTS - 1);
    return &slots[slot];
}
