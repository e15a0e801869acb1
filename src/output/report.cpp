#include "output/report.hpp"

#include <cstdint>

#include "common/diagnostics.hpp"

// The rom can fill every address from 0x0100 to 0xffff.
constexpr std::uint32_t ROM_CAPACITY = 0x10000 - PROGRAM_START;

static bool is_exempt_from_warning(const Label& label) {
    return label.name[0] >= 'A' && label.name[0] <= 'Z';
}

void print_report(AssemblerState& state, const char* rom_path) {
    for (int i = 0; i < state.label_count; i++) {
        const Label& label = state.labels[i];
        if (!is_exempt_from_warning(label) && label.uses == 0)
            report_warning_at(state, label.position, "Unused label", label.name);
    }
    std::uint32_t size = state.length - PROGRAM_START;
    // Hundredths of a percent, an exact half rounding up. Integer arithmetic
    // keeps halves exact where a binary floating-point quotient would not.
    std::uint32_t hundredths = (size * 10000 + ROM_CAPACITY / 2) / ROM_CAPACITY;
    // The line holds 1,024 bytes: a longer path would be cut there anyway.
    char shown[1024];
    report_line(state.diagnostics,
                "Assembled %s in %u bytes(%u.%02u%% used), %d labels, %d macros.\n",
                shown_detail(state.diagnostics, rom_path, shown, sizeof shown), size,
                hundredths / 100, hundredths % 100, state.label_count, state.macro_count);
}
