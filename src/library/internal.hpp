// What the program reaches of a result beyond the C interface: its writers
// of the listing and of the dependency file, which stay in the program with
// the other files on disk, read the state and the listing as the pass left
// them. Not installed; valid while the result lives.
#pragma once

#include <cstddef>

#include "assembler/assembly.hpp"
#include "orvasm/orvasm.h"

// The state the result was assembled in; nullptr for ORVASM_INVALID.
const AssemblerState* result_state(const orvasm_result* result);

// The listing records in the order of the pass (with ORVASM_LISTING).
const ListingRecord* result_listing(const orvasm_result* result, std::size_t& count);
