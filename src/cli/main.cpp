// orvasm SOURCE ROM: assembles SOURCE into ROM and writes ROM.sym beside it.
// Exit status 0 on success, 1 on any failure.
#include <cstdio>

#include "assembler/assembler.hpp"
#include "cli/report.hpp"
#include "cli/rom_writer.hpp"
#include "common/diagnostics.hpp"

// Large and zero-filled at start: static storage, not the stack.
static AssemblerState state;

// Prints "MESSAGE: DETAIL" and gives the exit status of a failed run.
static int fail(const char* message, const char* detail) {
    report_error(message, detail);
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 3) return fail("usage", "input.orv output.rom");
    const char* source_path = argv[1];
    const char* rom_path = argv[2];
    std::FILE* source = std::fopen(source_path, "r");
    if (!source) return fail("Invalid input", source_path);
    int assembled = assemble_source(state, source, source_path);
    std::fclose(source);
    if (!assembled) return fail("Assembly", "Failed to assemble rom.");
    // Never truncate the source because the command line named it twice.
    if (is_same_file(source_path, rom_path)) return fail("Invalid Output", rom_path);
    std::FILE* rom = std::fopen(rom_path, "wb");
    if (!rom) return fail("Invalid Output", rom_path);
    if (state.length <= PROGRAM_START) {
        std::fclose(rom);
        return fail("Assembly", "Output rom is empty.");
    }
    if (!write_rom(state, rom)) return fail("Output write failed", rom_path);
    print_report(state, rom_path);
    write_symbol_file(state, rom_path, source_path);
    return 0;
}
