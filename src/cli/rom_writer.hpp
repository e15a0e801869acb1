#pragma once

#include "assembler/assembler.hpp"

// True when both paths name one existing file, however each is written.
bool is_same_file(const char* a, const char* b);

// Writes the image from 0x0100 up to the high-water mark to `file` and closes
// it. Returns false when the write or the close failed.
bool write_rom(const AssemblerState& state, std::FILE* file);
