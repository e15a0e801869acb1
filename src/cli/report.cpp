#include "cli/report.hpp"

#include <cstdint>
#include <cstring>
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

// Every record fits: a 2-byte address, a name of at most 63 characters and
// its 0x00. The records are gathered here and written in one block, which
// costs less than two writes per label.
static unsigned char symbol_records[MAX_LABELS * (2 + NAME_SIZE)];

bool write_symbol_records(const AssemblerState& state, std::FILE* file) {
    std::size_t size = 0;
    for (int i = 0; i < state.label_count; i++) {
        const Label& label = state.labels[i];
        std::size_t name_size = std::char_traits<char>::length(label.name) + 1;
        symbol_records[size++] = static_cast<unsigned char>(label.address >> 8);
        symbol_records[size++] = static_cast<unsigned char>(label.address & 0xff);
        std::memcpy(symbol_records + size, label.name, name_size);
        size += name_size;
    }
    return std::fwrite(symbol_records, 1, size, file) == size;
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
