// The playground's WebAssembly entry points: one whole assembly of files the
// page holds in memory, through the library's C interface, with the same
// steps and lines as the program, and the results left where the page's
// JavaScript (web/src/assembler.js) reads them. Files are served by a
// resolver, and the lines the program would print to standard error are
// captured through a stream.
//
// The calling sequence: malloc and fill a buffer per file name and text,
// orv_add_file for each, orv_assemble, then the orv_* readers, which read
// the last assembly until the next. One assembler handle is kept, so that
// an assembly clears only what the previous one used; the files stay until
// orv_clear_files.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE // fopencookie
#endif
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "library/internal.hpp"
#include "orvasm/orvasm.h"

#define EXPORT(name) extern "C" __attribute__((export_name(#name)))

// The page reads labels in place; these offsets are part of its contract.
static_assert(offsetof(Label, name) == 0 && offsetof(Label, address) == 64 &&
              offsetof(Label, uses) == 66 && sizeof(Label) == 80);

namespace {

struct MemoryFile {
    const char* name; // not terminated; `name_length` bytes
    std::size_t name_length;
    const char* data;
    std::size_t size;
};

constexpr int MAX_FILES = 256;
// Standard error past this is dropped and orv_output_truncated says so; a
// real program prints a few lines, a pathological one (a malformed comment
// in a macro used a million times) could print megabytes.
constexpr std::size_t OUTPUT_CAPACITY = 1 << 20;

orvasm_assembler* assembler;
orvasm_result* result; // the last assembly's, read until the next
MemoryFile files[MAX_FILES];
int file_count;
char output[OUTPUT_CAPACITY];
std::size_t output_length;
bool output_truncated;
std::FILE* output_stream;

const MemoryFile* find_file(const char* path) {
    std::size_t length = std::strlen(path);
    for (int i = 0; i < file_count; i++)
        if (files[i].name_length == length && std::memcmp(files[i].name, path, length) == 0)
            return &files[i];
    return nullptr;
}

// A missing name is a missing file, as fopen would find it.
int serve(void*, const char* path, const unsigned char** data, std::size_t* size) {
    const MemoryFile* file = find_file(path);
    if (!file) return ORVASM_NOT_FOUND;
    *data = reinterpret_cast<const unsigned char*>(file->data);
    *size = file->size;
    return ORVASM_FOUND;
}

ssize_t write_output(void*, const char* buffer, std::size_t size) {
    std::size_t room = OUTPUT_CAPACITY - output_length;
    std::size_t count = size < room ? size : room;
    std::memcpy(output + output_length, buffer, count);
    output_length += count;
    if (count < size) output_truncated = true;
    return static_cast<ssize_t>(size);
}

} // namespace

EXPORT(orv_clear_files) void orv_clear_files() {
    file_count = 0;
}

// Adds a file of the workspace; the buffers stay the caller's and must live
// until orv_clear_files. Returns 0 when the table is full.
EXPORT(orv_add_file)
int orv_add_file(const char* name, std::size_t name_length, const char* data, std::size_t size) {
    if (file_count == MAX_FILES) return 0;
    files[file_count++] = {name, name_length, data, size};
    return 1;
}

// Assembles the file named `main_path` (terminated) as `orvasm MAIN ROM`
// would, ROM being `rom_path`, the rom staying in memory (the page writes
// the symbol file itself). Returns the exit status.
EXPORT(orv_assemble) int orv_assemble(const char* main_path, const char* rom_path) {
    output_length = 0;
    output_truncated = false;
    if (!output_stream) {
        output_stream = fopencookie(nullptr, "w", {nullptr, write_output, nullptr, nullptr});
        if (!output_stream) return 1;
        std::setvbuf(output_stream, nullptr, _IONBF, 0);
    }
    // Freed first, so that the assembler's state is free to be reused.
    orvasm_result_free(result);
    if (!assembler) assembler = orvasm_assembler_new();
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_path = main_path;
    options.resolver = &serve;
    options.print_to = output_stream;
    options.rom_name = rom_path;
    result = orvasm_assemble(assembler, &options);
    std::fflush(output_stream);
    return orvasm_result_status(result) == ORVASM_OK ? 0 : 1;
}

EXPORT(orv_output) const char* orv_output() {
    return output;
}
EXPORT(orv_output_length) std::size_t orv_output_length() {
    return output_length;
}
EXPORT(orv_output_truncated) int orv_output_truncated() {
    return output_truncated;
}
// The rom: the image from 0x0100 up to the high-water mark.
EXPORT(orv_rom) const std::uint8_t* orv_rom() {
    return orvasm_result_rom(result, nullptr);
}
EXPORT(orv_rom_length) std::uint32_t orv_rom_length() {
    std::size_t size = 0;
    orvasm_result_rom(result, &size);
    return static_cast<std::uint32_t>(size);
}
EXPORT(orv_label_count) int orv_label_count() {
    return static_cast<int>(orvasm_result_symbol_count(result));
}
EXPORT(orv_labels) const Label* orv_labels() {
    const AssemblerState* state = result_state(result);
    return state ? state->labels : nullptr;
}
