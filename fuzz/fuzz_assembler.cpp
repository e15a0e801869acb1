// libFuzzer entry: one whole assembly per input, from a fresh state, with
// every file served from memory and every output kept in memory, so that
// millions of runs touch neither the file system nor the terminal.
//
// Input layout: the main source, then up to three included files "a", "b"
// and "c", each part introduced by the separator line "\n--8<--\n". A few
// fixed files are always there (see fixed_files); any other path is missing.
//
// Files are served through fopencookie, so the harness sees every close: a
// stream the assembler leaves open fails the run at once. (The leak checker
// cannot see it, as the C library keeps every open stream on a list.)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assembler/assembly.hpp"
#include "common/diagnostics.hpp"
#include "output/report.hpp"
#include "output/rom_writer.hpp"
#include "output/symbol_writer.hpp"

namespace {

constexpr char SEPARATOR[] = "\n--8<--\n";
constexpr std::size_t SEPARATOR_LENGTH = sizeof SEPARATOR - 1;
constexpr int MAX_FILES = 12;

struct MemoryFile {
    const char* path;
    const char* data;
    std::size_t size;
    bool unreadable; // opens, but every read fails
};

struct FileTable {
    MemoryFile files[MAX_FILES];
    int count;
};

// Files every input may include: one that includes itself (the depth limit),
// a pair that include each other, an empty one, one that includes "a" and
// "b", and one that cannot be read.
const MemoryFile fixed_files[] = {
    {"self", "@self ~self", 11, false}, {"ping", "01 ~pong", 8, false},
    {"pong", "02 ~ping", 8, false},     {"empty", "", 0, false},
    {"to-a", "~a ~b", 5, false},        {"unreadable", "", 0, true},
};

// One open stream's read position. Includes nest at most MAX_INCLUDE_DEPTH
// deep, plus the main source, so the pool never runs out while every stream
// is closed; if one is left open, it does, and the run is stopped.
struct OpenFile {
    const MemoryFile* file;
    std::size_t position;
    bool in_use;
};

constexpr int MAX_OPEN_FILES = MAX_INCLUDE_DEPTH + 8;

AssemblerState state;
FileTable table;
OpenFile open_files[MAX_OPEN_FILES];
int open_count;
// Outputs land here instead of on disk; sized for the largest rom and the
// largest symbol file (1,024 records of 2 + 63 + 1 bytes), plus fmemopen's
// terminator.
unsigned char rom_buffer[IMAGE_SIZE + 1];
unsigned char symbol_buffer[MAX_LABELS * (2 + NAME_SIZE) + 1];

[[noreturn]] void fail(const char* why) {
    std::fprintf(stderr, "finding: %s\n", why);
    std::abort();
}

void add_file(const char* path, const char* data, std::size_t size) {
    if (table.count < MAX_FILES) table.files[table.count++] = {path, data, size, false};
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

ssize_t read_file(void* cookie, char* buffer, std::size_t size) {
    OpenFile& open = *static_cast<OpenFile*>(cookie);
    if (open.file->unreadable) return -1;
    std::size_t count = std::min(size, open.file->size - open.position);
    std::memcpy(buffer, open.file->data + open.position, count);
    open.position += count;
    return static_cast<ssize_t>(count);
}

int close_file(void* cookie) {
    OpenFile& open = *static_cast<OpenFile*>(cookie);
    if (!open.in_use) fail("a stream was closed twice");
    open.in_use = false;
    open_count--;
    return 0;
}

std::FILE* open_memory_file(const char* path, void* context) {
    const FileTable& files = *static_cast<const FileTable*>(context);
    const MemoryFile* file = nullptr;
    for (int i = 0; i < files.count && !file; i++)
        if (std::strcmp(files.files[i].path, path) == 0) file = &files.files[i];
    if (!file) return nullptr;
    OpenFile* slot = nullptr;
    for (OpenFile& open : open_files)
        if (!open.in_use) {
            slot = &open;
            break;
        }
    if (!slot) fail("more streams open at once than includes can nest");
    *slot = {file, 0, true};
    open_count++;
    std::FILE* stream = fopencookie(slot, "r", {read_file, nullptr, nullptr, close_file});
    if (!stream) fail("fopencookie failed");
    return stream;
}

// What the driver does after a successful assembly, into memory.
void write_outputs() {
    if (state.length <= PROGRAM_START) return;
    std::FILE* rom = fmemopen(rom_buffer, sizeof rom_buffer, "wb");
    if (!rom || !write_rom(state, rom) || std::fclose(rom) != 0) fail("the rom was not written");
    print_report(state, "out.rom");
    std::FILE* symbols = fmemopen(symbol_buffer, sizeof symbol_buffer, "wb");
    if (!symbols || !write_symbols(state, symbols)) fail("the symbols were not written");
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
    if (!sane) fail("the state breaks an invariant");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::memset(&state, 0, sizeof state);
    state.diagnostics.silent = true;
    split_input(reinterpret_cast<const char*>(data), size);
    state.opener = {&open_memory_file, &table};
    std::FILE* source = open_memory_file("in.orv", &table);
    if (!source) fail("the main source cannot be opened");
    int assembled = assemble_source(state, source, "in.orv");
    std::fclose(source);
    if (open_count != 0) fail("the assembly left a stream open");
    check_invariants();
    if (assembled) write_outputs();
    return 0;
}
