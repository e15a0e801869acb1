// The symbol file debuggers read: one record per label in definition order,
// the address high byte first, the name and a 0x00, with no header or end.
#pragma once

#include <cstddef>

#include "assembler/assembly.hpp"

// The most a symbol file can hold: every label with a name of 63 characters.
constexpr std::size_t MAX_SYMBOL_FILE = MAX_LABELS * (2 + NAME_SIZE);

// Writes the symbol file to `buffer`, at most `capacity` bytes of it (none
// when `buffer` is null), and returns its whole size, as snprintf does.
std::size_t write_symbols(const AssemblerState& state, unsigned char* buffer, std::size_t capacity);
