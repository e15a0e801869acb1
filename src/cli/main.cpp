// orvasm [OPTION]... SOURCE ROM: assembles SOURCE into ROM and writes
// ROM.sym beside it, then the outputs the options ask for. Exit status 0 on
// success, 1 on any failure. The assembly, its lines, the rom bytes, the
// symbols and the report come from the library; the program adds the files
// on disk and its own lines about them.
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/lines.hpp"
#include "cli/options.hpp"
#include "orvasm/orvasm.h"
#include "output/depfile_writer.hpp"
#include "output/interruptions.hpp"
#include "output/listing_writer.hpp"
#include "output/output_file.hpp"
#include "platform/file_identity.hpp"
#include "platform/platform.hpp"

namespace {

// Prints "MESSAGE: DETAIL" and gives the exit status of a failed run.
int fail(const char* message, const char* detail) {
    report_error(message, detail);
    return 1;
}

// True when both paths name one existing file.
bool same_file(const char* a, const char* b) {
    FileIdentity first;
    FileIdentity second;
    return identify_path(a, first) && identify_path(b, second) && first == second;
}

// Writes `size` bytes to the open output; false when they were not written.
bool write_bytes(OutputFile& output, const unsigned char* bytes, std::size_t size) {
    return std::fwrite(bytes, 1, size, output.stream) == size;
}

// Writes the symbol records to `path`; false when they were not written whole.
bool write_symbols_to(const orvasm_result* result, const char* path) {
    // Too large for a small stack; left uninitialised, as it is written whole.
    std::unique_ptr<unsigned char[]> records(new unsigned char[ORVASM_MAX_SYMBOL_FILE]);
    std::size_t size = orvasm_result_symbol_file(result, records.get(), ORVASM_MAX_SYMBOL_FILE);
    // Defensive, no symbol file needs more: not counted by tools/coverage.sh.
    if (size > ORVASM_MAX_SYMBOL_FILE) return false; // GCOVR_EXCL_BR_LINE
    OutputFile output;
    if (!open_output(output, path)) return false;
    if (write_bytes(output, records.get(), size)) return commit_output(output);
    abandon_output(output);
    return false;
}

// Writes ROM.sym, unless it would replace the rom or a file the assembly
// read; warns "-- Symbol file not written: PATH" whenever it is not written.
void write_symbol_file(const orvasm_result* result, const char* rom_path) {
    std::string path = std::string(rom_path) + ".sym";
    if (same_file(path.c_str(), rom_path) || orvasm_result_read_file(result, path.c_str()) ||
        !write_symbols_to(result, path.c_str()))
        report_warning("Symbol file not written", path.c_str());
}

// True when `path`, an output an option asks for, names the rom, its
// symbol file or `other`, the other such output (null when not asked for).
// Decided before anything is written: such outputs are refused, never
// written over each other.
bool names_another_output(const Options& options, const char* path, const char* other) {
    std::string symbols = std::string(options.rom_path) + ".sym";
    return names_same_file(path, options.rom_path) || names_same_file(path, symbols.c_str()) ||
           (other && names_same_file(path, other));
}

// True when `path` may not be written by --listing or --depfile: it names
// another output (`named`, decided beforehand) or a file the assembly read.
bool replaces_output_or_input(const orvasm_result* result, const char* path, bool named) {
    return named || orvasm_result_read_file(result, path);
}

// Writes the make dependencies to --depfile's path; false when they were not
// written whole, or would replace an output or an input.
bool write_dependencies(const orvasm_result* result, const Options& options, bool named) {
    const char* path = options.depfile_path;
    if (replaces_output_or_input(result, path, named)) return false;
    OutputFile output;
    if (!open_output(output, path)) return false;
    // The files the assembly read: the source, then those it included.
    std::vector<const char*> included;
    for (std::size_t i = 1; i < orvasm_result_file_count(result); i++)
        included.push_back(orvasm_result_file(result, i));
    if (write_depfile(included.data(), included.size(), options.source_path, options.rom_path,
                      output.stream))
        return commit_output(output);
    abandon_output(output);
    return false;
}

// Writes the listing to --listing's path; false when it was not written
// whole (or not kept whole), or would replace an output or an input.
bool write_listing_file(const orvasm_result* result, const Options& options, bool named) {
    const char* path = options.listing_path;
    if (replaces_output_or_input(result, path, named) || orvasm_result_listing_dropped(result))
        return false;
    OutputFile output;
    if (!open_output(output, path)) return false;
    bool written = false;
    try {
        written = write_listing(result, options.source_path, output.stream);
        // GCOVR_EXCL_BR_START: the handler runs only when memory ran out
    } catch (const std::bad_alloc&) {
        written = false; // memory ran out: the listing is not written
    }
    // GCOVR_EXCL_BR_STOP
    if (written) return commit_output(output);
    abandon_output(output);
    return false;
}

// Everything after a successful assembly: the rom, the report, ROM.sym,
// then the listing and the depfile.
int write_outputs(orvasm_result* result, const Options& options) {
    const char* rom_path = options.rom_path;
    // Never replace the source, or a file it includes, because the command
    // line named it as the rom.
    if (orvasm_result_read_file(result, rom_path)) return fail("Invalid Output", rom_path);
    const char* listing_path = options.listing_path;
    const char* depfile_path = options.depfile_path;
    bool listing_named = listing_path && names_another_output(options, listing_path, depfile_path);
    bool depfile_named = depfile_path && names_another_output(options, depfile_path, listing_path);
    OutputFile rom;
    if (!open_output(rom, rom_path)) return fail("Invalid Output", rom_path);
    std::size_t size = 0;
    const unsigned char* bytes = orvasm_result_rom(result, &size);
    if (size == 0) {
        commit_output(rom);
        orvasm_result_report(result, rom_path); // "Assembly: Output rom is empty."
        return 1;
    }
    if (!write_bytes(rom, bytes, size)) {
        abandon_output(rom);
        return fail("Output write failed", rom_path);
    }
    if (!commit_output(rom)) return fail("Output write failed", rom_path);
    orvasm_result_report(result, rom_path);
    write_symbol_file(result, rom_path);
    // Last, so that their lines follow the report and that of the symbol file.
    int status = 0;
    if (listing_path && !write_listing_file(result, options, listing_named))
        status = fail("Listing not written", listing_path);
    if (depfile_path && !write_dependencies(result, options, depfile_named))
        status = fail("Depfile not written", depfile_path);
    return status;
}

// The status after --help or --version: 1 when standard output failed.
int finish_standard_output() {
    static const char* const name = "standard output";
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return fail("Output write failed", name);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    platform::use_binary_standard_streams();
    platform::Arguments arguments;
    platform::utf8_arguments(argc, argv, arguments);
    Options options;
    // GCOVR_EXCL_BR_START: every command has its case; no default is taken
    switch (parse_options(arguments.count, arguments.values, options)) {
    case Command::invalid: return 1;
    case Command::help: print_help(stdout); return finish_standard_output();
    case Command::version: print_version(stdout); return finish_standard_output();
    case Command::assemble: break;
    }
    // GCOVR_EXCL_BR_STOP
    // A file-size limit then fails the write, which leaves the old rom,
    // instead of killing the run halfway.
    platform::fail_writes_past_size_limit();
    remove_temporaries_when_interrupted();
    orvasm_options assembly = ORVASM_OPTIONS_INIT;
    assembly.source_path = options.source_path;
    assembly.print_to = stderr;
    if (options.locations) assembly.flags |= ORVASM_LOCATIONS;
    if (options.listing_path) assembly.flags |= ORVASM_LISTING;
    if (options.depfile_path) assembly.flags |= ORVASM_DEPENDENCIES;
    orvasm_result* result = orvasm_assemble(nullptr, &assembly);
    // GCOVR_EXCL_BR_START: no result only when memory ran out
    if (!result) {
        std::perror("orvasm"); // the working state could not be allocated
        return 1;
    }
    // GCOVR_EXCL_BR_STOP
    int status = orvasm_result_status(result) == ORVASM_OK ? write_outputs(result, options) : 1;
    orvasm_result_free(result);
    return status;
}
