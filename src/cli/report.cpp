#include "cli/report.hpp"

#include <cstdint>
#include <string>

#include "cli/rom_writer.hpp"
#include "common/diagnostics.hpp"

// The rom can fill every address from 0x0100 to 0xffff.
constexpr std::uint32_t ROM_CAPACITY = 0x10000 - PROGRAM_START;

static bool is_exempt_from_warning(const Label& label) {
    return label.name[0] >= 'A' && label.name[0] <= 'Z';
}

void print_report(const AssemblerState& state, const char* rom_path) {
    for (int i = 0; i < state.label_count; i++) {
        const Label& label = state.labels[i];
        if (!is_exempt_from_warning(label) && label.uses == 0)
            report_warning("Unused label: %s\n", label.name);
    }
    std::uint32_t size = state.length - PROGRAM_START;
    // Hundredths of a percent, an exact half rounding up. Integer arithmetic
    // keeps halves exact where a binary floating-point quotient would not.
    std::uint32_t hundredths = (size * 10000 + ROM_CAPACITY / 2) / ROM_CAPACITY;
    report_line("Assembled %s in %u bytes(%u.%02u%% used), %d labels, %d macros.\n", rom_path, size,
                hundredths / 100, hundredths % 100, state.label_count, state.macro_count);
}

bool write_symbol_records(const AssemblerState& state, std::FILE* file) {
    bool written = true;
    for (int i = 0; i < state.label_count; i++) {
        const Label& label = state.labels[i];
        unsigned char address[2] = {static_cast<unsigned char>(label.address >> 8),
                                    static_cast<unsigned char>(label.address & 0xff)};
        std::size_t name_size = std::char_traits<char>::length(label.name) + 1;
        written = written && std::fwrite(address, 1, 2, file) == 2 &&
                  std::fwrite(label.name, 1, name_size, file) == name_size;
    }
    return written;
}

void write_symbol_file(const AssemblerState& state, const char* rom_path, const char* source_path) {
    std::string path = std::string(rom_path) + ".sym";
    // "orvasm game.sym game" must not truncate the source it just read.
    bool over_source = is_same_file(path.c_str(), source_path);
    std::FILE* file = over_source ? nullptr : std::fopen(path.c_str(), "wb");
    bool written = file && write_symbol_records(state, file);
    if (file && std::fclose(file) != 0) written = false;
    if (!written) report_warning("Symbol file not written: %s\n", path.c_str());
}
