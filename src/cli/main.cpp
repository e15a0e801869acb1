// orvasm SOURCE ROM: assembles SOURCE into ROM and writes ROM.sym beside it.
// Exit status 0 on success, 1 on any failure. The assembly, its lines, the
// rom bytes, the symbols and the report come from the library; the program
// adds the files on disk and its own lines about them.
#include <csignal>
#include <cstdio>
#include <string>

#include "common/diagnostics.hpp"
#include "common/file_identity.hpp"
#include "orvasm/orvasm.h"
#include "output/output_file.hpp"

namespace {

// The program's own lines, to standard error as the library prints its own.
DiagnosticSink program_lines;

// Prints "MESSAGE: DETAIL" and gives the exit status of a failed run.
int fail(const char* message, const char* detail) {
    report_error(program_lines, message, detail);
    return 1;
}

// Writes `size` bytes to the open output; false when they were not written.
bool write_bytes(OutputFile& output, const unsigned char* bytes, std::size_t size) {
    return std::fwrite(bytes, 1, size, output.stream) == size;
}

// Writes the symbol records to `path`; false when they were not written whole.
bool write_symbols_to(const orvasm_result* result, const char* path) {
    unsigned char records[ORVASM_MAX_SYMBOL_FILE];
    std::size_t size = orvasm_result_symbol_file(result, records, sizeof records);
    OutputFile output;
    if (!open_output(output, path)) return false;
    if (size <= sizeof records && write_bytes(output, records, size)) return commit_output(output);
    abandon_output(output);
    return false;
}

// Writes ROM.sym, unless it would replace the rom or a file the assembly
// read; warns "-- Symbol file not written: PATH" whenever it is not written.
void write_symbol_file(const orvasm_result* result, const char* rom_path) {
    std::string path = std::string(rom_path) + ".sym";
    FileIdentity symbols;
    FileIdentity rom;
    bool over_rom =
        identify_path(path.c_str(), symbols) && identify_path(rom_path, rom) && symbols == rom;
    if (over_rom || orvasm_result_read_file(result, path.c_str()) ||
        !write_symbols_to(result, path.c_str()))
        report_warning(program_lines, "Symbol file not written", path.c_str());
}

// Everything after a successful assembly: the rom, the report, ROM.sym.
int write_outputs(orvasm_result* result, const char* rom_path) {
    // Never replace the source, or a file it includes, because the command
    // line named it as the rom.
    if (orvasm_result_read_file(result, rom_path)) return fail("Invalid Output", rom_path);
    OutputFile rom;
    if (!open_output(rom, rom_path)) return fail("Invalid Output", rom_path);
    std::size_t size = 0;
    const unsigned char* bytes = orvasm_result_rom(result, &size);
    if (size == 0) {
        commit_output(rom);
        orvasm_result_report(result, rom_path); // "Output rom is empty."
        return 1;
    }
    if (!write_bytes(rom, bytes, size)) {
        abandon_output(rom);
        return fail("Output write failed", rom_path);
    }
    if (!commit_output(rom)) return fail("Output write failed", rom_path);
    orvasm_result_report(result, rom_path);
    write_symbol_file(result, rom_path);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) return fail("usage", "input.orv output.rom");
    // A file-size limit then fails the write, which leaves the old rom,
    // instead of killing the run halfway.
    std::signal(SIGXFSZ, SIG_IGN);
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_path = argv[1];
    options.print_to = stderr;
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    if (!result) {
        std::perror("orvasm"); // the working state could not be allocated
        return 1;
    }
    int status = orvasm_result_status(result) == ORVASM_OK ? write_outputs(result, argv[2]) : 1;
    orvasm_result_free(result);
    return status;
}
