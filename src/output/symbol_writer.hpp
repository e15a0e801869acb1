// The symbol file debuggers read: one record per label in definition order,
// the address high byte first, the name and a 0x00, with no header or end.
#pragma once

#include <cstdio>

#include "assembler/assembly.hpp"

// Writes the symbol records to `file`, which stays open. False when a write failed.
bool write_symbols(const AssemblerState& state, std::FILE* file);
