// The diagnostics of an assembly, printed to the sink its state holds.
#include "assembler/assembler.hpp"

int report_error(AssemblerState& state, const char* message, const char* detail) {
    return report_error(state.diagnostics, message, detail);
}

void report_warning(AssemblerState& state, const char* message, const char* detail) {
    report_warning(state.diagnostics, message, detail);
}
