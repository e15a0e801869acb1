// The glue the playground's JavaScript (web/src/assembler.js) needs around
// the library's C interface, which the module exports as it is: the files
// of the workspace, in buffers the page fills, served by a resolver, and one
// call that assembles with that resolver. The page reads the result through
// the interface's own functions and its records in place, whose layout on
// wasm32 is checked below.
//
// The calling sequence: malloc and fill a buffer per file name and text,
// orv_add_file for each, orv_assemble, the orvasm_result_* readers,
// orvasm_result_free, then orv_clear_files and free.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "orvasm/orvasm.h"

#define EXPORT(name) extern "C" __attribute__((export_name(#name)))

// The offsets assembler.js reads the records at.
static_assert(sizeof(void*) == 4 && sizeof(std::size_t) == 4);
static_assert(sizeof(orvasm_position) == 12);
static_assert(offsetof(orvasm_symbol, address) == 4 && offsetof(orvasm_symbol, uses) == 6 &&
              offsetof(orvasm_symbol, definition) == 8 && sizeof(orvasm_symbol) == 20);
static_assert(offsetof(orvasm_diagnostic, message) == 4 &&
              offsetof(orvasm_diagnostic, detail) == 8 &&
              offsetof(orvasm_diagnostic, position) == 12 &&
              offsetof(orvasm_diagnostic, notes) == 24 && offsetof(orvasm_diagnostic, text) == 28 &&
              offsetof(orvasm_diagnostic, length) == 32 && offsetof(orvasm_diagnostic, fix) == 36 &&
              offsetof(orvasm_diagnostic, chain) == 40 && sizeof(orvasm_diagnostic) == 44);
static_assert(offsetof(orvasm_listing_record, position) == 4 &&
              offsetof(orvasm_listing_record, address) == 16 &&
              offsetof(orvasm_listing_record, size) == 20 &&
              offsetof(orvasm_listing_record, depth) == 24 &&
              offsetof(orvasm_listing_record, target) == 28 &&
              offsetof(orvasm_listing_record, text) == 32 &&
              offsetof(orvasm_listing_record, text_length) == 36 &&
              offsetof(orvasm_listing_record, cut) == 40 && sizeof(orvasm_listing_record) == 44);
static_assert(offsetof(orvasm_listing_line, address) == 12 &&
              offsetof(orvasm_listing_line, bytes) == 20 &&
              offsetof(orvasm_listing_line, expansions) == 28 &&
              offsetof(orvasm_listing_line, text) == 32 &&
              offsetof(orvasm_listing_line, cut) == 40 &&
              offsetof(orvasm_listing_line, opens) == 48 && sizeof(orvasm_listing_line) == 52);
static_assert(offsetof(orvasm_macro, position) == 4 && offsetof(orvasm_macro, body_length) == 16 &&
              offsetof(orvasm_token, text) == 0);
static_assert(offsetof(orvasm_span, size) == 4 && sizeof(orvasm_span) == 8);

namespace {

struct MemoryFile {
    const char* name; // not terminated; `name_length` bytes
    std::size_t name_length;
    const unsigned char* data;
    std::size_t size;
};

constexpr int MAX_FILES = 256;

MemoryFile files[MAX_FILES];
int file_count;

// A name not in the workspace is a missing file, as fopen would find it.
int serve(void*, const char* path, const unsigned char** data, std::size_t* size) {
    std::size_t length = std::strlen(path);
    for (int i = 0; i < file_count; i++) {
        const MemoryFile& file = files[i];
        if (file.name_length != length || std::memcmp(file.name, path, length) != 0) continue;
        *data = file.data;
        *size = file.size;
        return ORVASM_FOUND;
    }
    return ORVASM_NOT_FOUND;
}

} // namespace

EXPORT(orv_clear_files) void orv_clear_files() {
    file_count = 0;
}

// Adds a file of the workspace; the buffers stay the caller's and must live
// until orv_clear_files. Returns 0 when the table is full.
EXPORT(orv_add_file)
int orv_add_file(const char* name, std::size_t name_length, const unsigned char* data,
                 std::size_t size) {
    if (file_count == MAX_FILES) return 0;
    files[file_count++] = {name, name_length, data, size};
    return 1;
}

// Assembles the workspace's file `main_path` (terminated) as `orvasm MAIN
// ROM` would, ROM being `rom_path`, with the extras `flags` asks for
// (ORVASM_LOCATIONS, ORVASM_LISTING...). Nothing is printed: the lines are
// the result's records. Returns the result, NULL when memory ran out.
EXPORT(orv_assemble)
orvasm_result* orv_assemble(orvasm_assembler* assembler, const char* main_path,
                            const char* rom_path, unsigned flags) {
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_path = main_path;
    options.resolver = &serve;
    options.flags = flags;
    options.rom_name = rom_path;
    return orvasm_assemble(assembler, &options);
}
