// orvasm SOURCE ROM: assembles SOURCE into ROM and writes ROM.sym beside it.
// Exit status 0 on success, 1 on any failure.
#include <csignal>
#include <cstdio>
#include <string>

#include "assembler/assembly.hpp"
#include "common/diagnostics.hpp"
#include "common/file_identity.hpp"
#include "output/output_file.hpp"
#include "output/report.hpp"
#include "output/rom_writer.hpp"
#include "output/symbol_writer.hpp"

// Large and zero-filled at start: static storage, not the stack.
static AssemblerState state;

// Prints "MESSAGE: DETAIL" and gives the exit status of a failed run.
static int fail(const char* message, const char* detail) {
    report_error(message, detail);
    return 1;
}

// True when writing `path` would replace a file the assembly read.
static bool replaces_input(const char* path) {
    FileIdentity identity;
    return identify_path(path, identity) && was_read(state, identity);
}

// Writes the symbol records to `path`; false when they were not written whole.
static bool write_symbols_to(const char* path) {
    OutputFile output;
    if (!open_output(output, path)) return false;
    if (write_symbols(state, output.stream)) return commit_output(output);
    abandon_output(output);
    return false;
}

// Writes ROM.sym, unless it would replace the rom or a file the assembly
// read; warns "-- Symbol file not written: PATH" whenever it is not written.
static void write_symbol_file(const char* rom_path) {
    std::string path = std::string(rom_path) + ".sym";
    FileIdentity symbols;
    FileIdentity rom;
    bool over_rom =
        identify_path(path.c_str(), symbols) && identify_path(rom_path, rom) && symbols == rom;
    if (over_rom || replaces_input(path.c_str()) || !write_symbols_to(path.c_str()))
        report_warning("Symbol file not written", path.c_str());
}

int main(int argc, char** argv) {
    if (argc < 3) return fail("usage", "input.orv output.rom");
    // A file-size limit then fails the write, which leaves the old rom,
    // instead of killing the run halfway.
    std::signal(SIGXFSZ, SIG_IGN);
    const char* source_path = argv[1];
    const char* rom_path = argv[2];
    std::FILE* source = std::fopen(source_path, "r");
    if (!source) return fail("Invalid input", source_path);
    int assembled = assemble_source(state, source, source_path);
    std::fclose(source);
    if (!assembled) return fail("Assembly", "Failed to assemble rom.");
    // Never replace the source, or a file it includes, because the command
    // line named it as the rom.
    if (replaces_input(rom_path)) return fail("Invalid Output", rom_path);
    OutputFile rom;
    if (!open_output(rom, rom_path)) return fail("Invalid Output", rom_path);
    if (state.length <= PROGRAM_START) {
        commit_output(rom);
        return fail("Assembly", "Output rom is empty.");
    }
    if (!write_rom(state, rom.stream)) {
        abandon_output(rom);
        return fail("Output write failed", rom_path);
    }
    if (!commit_output(rom)) return fail("Output write failed", rom_path);
    print_report(state, rom_path);
    write_symbol_file(rom_path);
    return 0;
}
