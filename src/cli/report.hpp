// What a successful run tells the user after the rom is written: warnings for
// labels nothing used, the summary line, and the symbol file for debuggers.
// Both only read the state; neither can fail the run.
#pragma once

#include "assembler/assembler.hpp"

// Prints "-- Unused label: NAME" for every unused label whose name does not
// start with "A"-"Z", then
// "Assembled PATH in N bytes(P% used), L labels, M macros.".
void print_report(const AssemblerState& state, const char* rom_path);

// Writes the symbol records to `file`, which stays open: per label in
// definition order, the address high byte first, the name and a 0x00.
// Returns false when a write failed.
bool write_symbol_records(const AssemblerState& state, std::FILE* file);

// Writes ROM_PATH.sym: per label in definition order, the address high byte
// first, the name and a 0x00. Warns "-- Symbol file not written: PATH" when
// it cannot be opened or written, or when it would replace the source file.
void write_symbol_file(const AssemblerState& state, const char* rom_path, const char* source_path);
