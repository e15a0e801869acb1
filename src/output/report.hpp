// What a successful run tells the user once the rom is written: warnings for
// labels nothing used and the summary line. It only reads the state.
#pragma once

#include "assembler/assembly.hpp"

// Prints "-- Unused label: NAME" for every unused label whose name does not
// start with "A"-"Z", then
// "Assembled PATH in N bytes(P% used), L labels, M macros.".
void print_report(AssemblerState& state, const char* rom_path);
