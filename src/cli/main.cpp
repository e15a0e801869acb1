// orvasm [OPTION]... SOURCE ROM: assembles SOURCE into ROM and writes
// ROM.sym beside it, then the outputs the options ask for. Exit status 0 on
// success, 1 on any failure.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "assembler/assembly.hpp"
#include "cli/options.hpp"
#include "common/diagnostics.hpp"
#include "common/file_identity.hpp"
#include "output/depfile_writer.hpp"
#include "output/listing_writer.hpp"
#include "output/output_file.hpp"
#include "output/report.hpp"
#include "output/rom_writer.hpp"
#include "output/source_lines.hpp"
#include "output/symbol_writer.hpp"

// Large and zero-filled at start: static storage, not the stack.
static AssemblerState state;

// Prints "MESSAGE: DETAIL" and gives the exit status of a failed run.
static int fail(const char* message, const char* detail) {
    report_error(state, message, detail);
    return 1;
}

// True when writing `path` would replace a file the assembly read.
static bool replaces_input(const char* path) {
    FileIdentity identity;
    return identify_path(path, identity) && was_read(state, identity);
}

// True when both paths name one existing file.
static bool same_file(const char* a, const char* b) {
    FileIdentity first;
    FileIdentity second;
    return identify_path(a, first) && identify_path(b, second) && first == second;
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
    if (same_file(path.c_str(), rom_path) || replaces_input(path.c_str()) ||
        !write_symbols_to(path.c_str()))
        report_warning(state, "Symbol file not written", path.c_str());
}

// Writes the make dependencies to --depfile's path; false when they were not
// written whole, or would replace the rom, its symbol file or a file the
// assembly read.
static bool write_dependencies(const Options& options) {
    const char* path = options.depfile_path;
    std::string symbols = std::string(options.rom_path) + ".sym";
    if (replaces_input(path) || same_file(path, options.rom_path) ||
        same_file(path, symbols.c_str()))
        return false;
    OutputFile output;
    if (!open_output(output, path)) return false;
    if (write_depfile(state, options.source_path, options.rom_path, output.stream))
        return commit_output(output);
    abandon_output(output);
    return false;
}

// The records of --listing, gathered while the assembly runs.
static std::vector<ListingRecord> listing;

static void keep_record(void*, const ListingRecord& record) {
    listing.push_back(record);
}

// Writes the listing to --listing's path; false when it was not written
// whole, or would replace the rom, its symbol file or a file the assembly
// read.
static bool write_listing_file(const Options& options) {
    const char* path = options.listing_path;
    std::string symbols = std::string(options.rom_path) + ".sym";
    if (replaces_input(path) || same_file(path, options.rom_path) ||
        same_file(path, symbols.c_str()))
        return false;
    OutputFile output;
    if (!open_output(output, path)) return false;
    FileLines lines(state, listing.data(), listing.size());
    if (write_listing(state, listing.data(), listing.size(), lines.source_lines(), output.stream))
        return commit_output(output);
    abandon_output(output);
    return false;
}

// The status after --help or --version: 1 when standard output failed.
static int finish_standard_output() {
    static const char* const name = "standard output";
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return fail("Output write failed", name);
    return 0;
}

int main(int argc, char** argv) {
    Options options;
    switch (parse_options(argc, argv, options, state.diagnostics)) {
    case Command::invalid: return 1;
    case Command::help: print_help(stdout); return finish_standard_output();
    case Command::version: print_version(stdout); return finish_standard_output();
    case Command::assemble: break;
    }
    // A file-size limit then fails the write, which leaves the old rom,
    // instead of killing the run halfway.
    std::signal(SIGXFSZ, SIG_IGN);
    state.tracks_positions = options.locations || options.listing_path;
    state.diagnostics.locations = options.locations;
    if (options.listing_path) state.listing = {&keep_record, nullptr};
    const char* source_path = options.source_path;
    const char* rom_path = options.rom_path;
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
    // Last, so that their lines follow the report and that of the symbol file.
    int status = 0;
    if (options.listing_path && !write_listing_file(options))
        status = fail("Listing not written", options.listing_path);
    if (options.depfile_path && !write_dependencies(options))
        status = fail("Depfile not written", options.depfile_path);
    return status;
}
