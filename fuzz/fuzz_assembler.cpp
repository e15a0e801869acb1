// libFuzzer entry: one whole assembly per input, from a fresh state, with
// every file served from memory and every output kept in memory, so that
// millions of runs touch neither the file system nor the terminal.
//
// Input layout: the main source, then up to three included files "a", "b"
// and "c", each part introduced by the separator line "\n--8<--\n". A few
// fixed files are always there (see fixed_files); any other path is missing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assembler/assembler.hpp"
#include "cli/report.hpp"
#include "cli/rom_writer.hpp"
#include "common/diagnostics.hpp"

namespace {

constexpr char SEPARATOR[] = "\n--8<--\n";
constexpr std::size_t SEPARATOR_LENGTH = sizeof SEPARATOR - 1;
constexpr int MAX_FILES = 12;

struct MemoryFile {
    const char* path;
    const char* data;
    std::size_t size;
};

struct FileTable {
    MemoryFile files[MAX_FILES];
    int count;
};

// Files every input may include: one that includes itself (the depth limit),
// a pair that include each other, an empty one, and one that includes "a".
const MemoryFile fixed_files[] = {
    {"self", "@self ~self", 11}, {"ping", "01 ~pong", 8}, {"pong", "02 ~ping", 8}, {"empty", "", 0},
    {"to-a", "~a ~b", 5},
};

AssemblerState state;
FileTable table;
std::FILE* null_sink;
// Outputs land here instead of on disk; sized for the largest rom and the
// largest symbol file (1,024 records of 2 + 63 + 1 bytes), plus fmemopen's
// terminator.
unsigned char rom_buffer[IMAGE_SIZE + 1];
unsigned char symbol_buffer[MAX_LABELS * (2 + NAME_SIZE) + 1];

void add_file(const char* path, const char* data, std::size_t size) {
    if (table.count < MAX_FILES) table.files[table.count++] = {path, data, size};
}

const char* find_separator(const char* from, const char* end) {
    for (const char* p = from; p + SEPARATOR_LENGTH <= end; p++)
        if (std::memcmp(p, SEPARATOR, SEPARATOR_LENGTH) == 0) return p;
    return end;
}

// Splits the input into "in.orv" (the main source, also reachable by
// "~in.orv"), "a", "b" and "c".
void split_input(const char* data, std::size_t size) {
    static const char* const names[] = {"in.orv", "a", "b", "c"};
    table.count = 0;
    const char* end = data + size;
    const char* part = data;
    for (const char* name : names) {
        const char* stop = find_separator(part, end);
        add_file(name, part, static_cast<std::size_t>(stop - part));
        if (stop == end) break;
        part = stop + SEPARATOR_LENGTH;
    }
    for (const MemoryFile& file : fixed_files) add_file(file.path, file.data, file.size);
}

std::FILE* open_memory_file(const char* path, void* context) {
    const FileTable& files = *static_cast<const FileTable*>(context);
    for (int i = 0; i < files.count; i++) {
        const MemoryFile& file = files.files[i];
        if (std::strcmp(file.path, path) != 0) continue;
        // fmemopen refuses an empty buffer; /dev/null reads as an empty file.
        if (file.size == 0) return std::fopen("/dev/null", "r");
        return fmemopen(const_cast<char*>(file.data), file.size, "r");
    }
    return nullptr;
}

// What the driver does after a successful assembly, into memory.
void write_outputs() {
    if (state.length <= PROGRAM_START) return;
    std::FILE* rom = fmemopen(rom_buffer, sizeof rom_buffer, "wb");
    if (!rom || !write_rom(state, rom)) std::abort();
    print_report(state, "out.rom");
    std::FILE* symbols = fmemopen(symbol_buffer, sizeof symbol_buffer, "wb");
    if (!symbols || !write_symbol_records(state, symbols)) std::abort();
    std::fclose(symbols);
}

// Properties that hold after any assembly, successful or not; a breach is a
// finding even when nothing crashed.
void check_invariants() {
    bool sane = state.length <= IMAGE_SIZE && state.label_count <= MAX_LABELS &&
                state.macro_count <= MAX_MACROS && state.reference_count <= MAX_REFERENCES &&
                state.include_depth == 0;
    for (int i = 0; i < state.macro_count; i++)
        sane = sane && !state.macros[i].expanding && state.macros[i].body_length <= MAX_MACRO_BODY;
    if (!sane) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    null_sink = std::fopen("/dev/null", "w");
    if (!null_sink) std::abort();
    set_diagnostic_sink(null_sink);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::memset(&state, 0, sizeof state);
    split_input(reinterpret_cast<const char*>(data), size);
    state.opener = {&open_memory_file, &table};
    std::FILE* source = open_memory_file("in.orv", &table);
    if (!source) std::abort();
    int assembled = assemble_source(state, source, "in.orv");
    std::fclose(source);
    check_invariants();
    if (assembled) write_outputs();
    return 0;
}
