// A fixed-size hash index over a table of named records, so that finding a
// name does not grow with the table. The table keeps its own order; the
// index only maps names to positions in it. Each slot holds 0 when empty or
// the record's position + 1, and collisions go on to the next slot (open
// addressing). Records are never removed, so no slot ever needs emptying.
#pragma once

#include <cstdint>

#include "common/text.hpp"

// FNV-1a over the bytes of a name.
inline std::uint32_t name_hash(const char* name) {
    std::uint32_t hash = 2166136261u;
    for (; *name; name++) hash = (hash ^ static_cast<unsigned char>(*name)) * 16777619u;
    return hash;
}

// The slot that holds the record named `name`, or else the empty slot where
// it belongs. SLOTS is a power of two, at least twice the table's capacity,
// so the probe always ends at an empty slot, after few steps.
template <typename Record, int SLOTS>
std::uint16_t* find_name_slot(std::uint16_t (&slots)[SLOTS], const Record* records,
                              const char* name) {
    static_assert((SLOTS & (SLOTS - 1)) == 0, "the index must have a power-of-two size");
    std::uint32_t slot = name_hash(name) & (SLOTS - 1);
    while (slots[slot] != 0 &&
           !names_equal(records[slots[slot] - 1].name, name, sizeof records->name))
        slot = (slot + 1) & (SLOTS - 1);
    return &slots[slot];
}
