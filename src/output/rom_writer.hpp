// The rom: the image from 0x0100 up to the high-water mark, in address
// order, with no header. Gaps that padding left are zero bytes.
#pragma once

#include <cstdio>

#include "assembler/assembly.hpp"

// Writes the rom bytes to `file`, which stays open. False when the write failed.
bool write_rom(const AssemblerState& state, std::FILE* file);
