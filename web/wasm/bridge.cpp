// The playground's WebAssembly entry points: one whole assembly of files the
// page holds in memory, with the same steps and lines as the program, and
// the results left where the page's JavaScript (web/src/assembler.js) reads
// them. Files are served through the core's SourceOpener seam and standard
// error is captured through its diagnostic sink; the core is unchanged.
//
// The calling sequence: malloc and fill a buffer per file name and text,
// orv_add_file for each, orv_assemble, then the orv_* readers. Every call of
// orv_assemble starts from a fresh state; the files stay until orv_clear_files.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE // fopencookie
#endif
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assembler/assembly.hpp"
#include "common/diagnostics.hpp"
#include "output/report.hpp"

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

struct OpenFile {
    const MemoryFile* file;
    std::size_t position;
    bool in_use;
};

constexpr int MAX_FILES = 256;
// Includes nest at most MAX_INCLUDE_DEPTH deep, below the main source.
constexpr int MAX_OPEN_FILES = MAX_INCLUDE_DEPTH + 2;
// Standard error past this is dropped and orv_output_truncated says so; a
// real program prints a few lines, a pathological one (a malformed comment
// in a macro used a million times) could print megabytes.
constexpr std::size_t OUTPUT_CAPACITY = 1 << 20;

AssemblerState state;
MemoryFile files[MAX_FILES];
int file_count;
OpenFile open_files[MAX_OPEN_FILES];
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

ssize_t read_file(void* cookie, char* buffer, std::size_t size) {
    OpenFile& open = *static_cast<OpenFile*>(cookie);
    std::size_t count = open.file->size - open.position;
    if (count > size) count = size;
    std::memcpy(buffer, open.file->data + open.position, count);
    open.position += count;
    return static_cast<ssize_t>(count);
}

int close_file(void* cookie) {
    static_cast<OpenFile*>(cookie)->in_use = false;
    return 0;
}

// A missing name is a missing file, as fopen would find it.
std::FILE* open_memory_file(const char* path, void*) {
    const MemoryFile* file = find_file(path);
    if (!file) return nullptr;
    for (OpenFile& open : open_files) {
        if (open.in_use) continue;
        open = {file, 0, true};
        std::FILE* stream = fopencookie(&open, "r", {read_file, nullptr, nullptr, close_file});
        if (!stream) open.in_use = false;
        return stream;
    }
    return nullptr;
}

ssize_t write_output(void*, const char* buffer, std::size_t size) {
    std::size_t room = OUTPUT_CAPACITY - output_length;
    std::size_t count = size < room ? size : room;
    std::memcpy(output + output_length, buffer, count);
    output_length += count;
    if (count < size) output_truncated = true;
    return static_cast<ssize_t>(size);
}

// The steps of main.cpp after the arguments, without files on disk: the
// rom stays in the image and the page writes the symbol file itself.
int assemble(const char* main_path, const char* rom_path) {
    std::FILE* source = open_memory_file(main_path, nullptr);
    if (!source) {
        report_error(state, "Invalid input", main_path);
        return 1;
    }
    int assembled = assemble_source(state, source, main_path);
    std::fclose(source);
    if (!assembled) {
        report_error(state, "Assembly", "Failed to assemble rom.");
        return 1;
    }
    if (state.length <= PROGRAM_START) {
        report_error(state, "Assembly", "Output rom is empty.");
        return 1;
    }
    print_report(state, rom_path);
    return 0;
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
// would, ROM being `rom_path`. Returns the exit status.
EXPORT(orv_assemble) int orv_assemble(const char* main_path, const char* rom_path) {
    std::memset(&state, 0, sizeof state);
    state.opener = {&open_memory_file, nullptr};
    output_length = 0;
    output_truncated = false;
    if (!output_stream) {
        output_stream = fopencookie(nullptr, "w", {nullptr, write_output, nullptr, nullptr});
        if (!output_stream) return 1;
        std::setvbuf(output_stream, nullptr, _IONBF, 0);
    }
    state.diagnostics.file = output_stream;
    int status = assemble(main_path, rom_path);
    std::fflush(output_stream);
    return status;
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
    return state.image + PROGRAM_START;
}
EXPORT(orv_rom_length) std::uint32_t orv_rom_length() {
    return state.length > PROGRAM_START ? state.length - PROGRAM_START : 0;
}
EXPORT(orv_label_count) int orv_label_count() {
    return state.label_count;
}
EXPORT(orv_labels) const Label* orv_labels() {
    return state.labels;
}
