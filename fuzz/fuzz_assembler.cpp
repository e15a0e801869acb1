// libFuzzer entry: one whole assembly per input through the library's C
// interface, every file served from memory by a resolver and every output
// kept in memory, so that millions of runs touch neither the file system
// nor the terminal.
//
// Input layout: the main source, then up to three included files "a", "b"
// and "c", each part introduced by the separator line "\n--8<--\n". A few
// fixed files are always there (see fixed_files); any other path is missing.
//
// Each input is assembled by an assembler that is reused from input to
// input. One input in COMPARE_EVERY is assembled again from a fresh state,
// and the two must agree byte for byte: a trace that one assembly leaves in
// the kept state is a finding. A fresh state is 6 MiB to map, and its
// shadow to poison and release again under AddressSanitizer, which costs
// some hundred assemblies of a typical input. A hash of the input's bytes
// picks the compared inputs and the extras asked for (positions, listing,
// files, locations), so that a finding replays from its input alone.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "orvasm/orvasm.h"

namespace {

constexpr char SEPARATOR[] = "\n--8<--\n";
constexpr std::size_t SEPARATOR_LENGTH = sizeof SEPARATOR - 1;
constexpr int MAX_FILES = 12;
constexpr std::uint32_t COMPARE_EVERY = 512;
constexpr std::uint32_t LIST_EVERY = 8;

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
// a pair that include each other, an empty one, and one that includes "a"
// and "b". "/dev/null" is left to the file system.
const MemoryFile fixed_files[] = {
    {"self", "@self ~self", 11}, {"ping", "01 ~pong", 8}, {"pong", "02 ~ping", 8}, {"empty", "", 0},
    {"to-a", "~a ~b", 5},
};

FileTable table;

[[noreturn]] void fail(const char* why) {
    std::fprintf(stderr, "finding: %s\n", why);
    std::abort();
}

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

int serve(void* context, const char* path, const unsigned char** data, std::size_t* size) {
    const auto& files = *static_cast<const FileTable*>(context);
    if (std::strcmp(path, "/dev/null") == 0) return ORVASM_USE_FILE_SYSTEM;
    for (int i = 0; i < files.count; i++)
        if (std::strcmp(files.files[i].path, path) == 0) {
            *data = reinterpret_cast<const unsigned char*>(files.files[i].data);
            *size = files.files[i].size;
            return ORVASM_FOUND;
        }
    return ORVASM_NOT_FOUND;
}

// Everything a result holds, as bytes, checking what must hold of any
// result; `all` is filled only when it is asked for.
void contents(const orvasm_result* result, std::string* all) {
    if (!result) fail("no result");
    int status = orvasm_result_status(result);
    if (status != ORVASM_OK && status != ORVASM_FAILED && status != ORVASM_EMPTY)
        fail("an unknown status");
    std::size_t size = 0;
    const unsigned char* rom = orvasm_result_rom(result, &size);
    if (size > 0x10000 - ORVASM_PROGRAM_START) fail("a rom past the end of memory");
    static unsigned char symbols[ORVASM_MAX_SYMBOL_FILE];
    std::size_t symbol_size = orvasm_result_symbol_file(result, symbols, sizeof symbols);
    if (symbol_size > sizeof symbols) fail("a symbol file past its limit");
    if (all) {
        *all = std::to_string(status) + "\n";
        all->append(reinterpret_cast<const char*>(rom), size);
        all->append(reinterpret_cast<const char*>(symbols), symbol_size);
    }
    std::size_t count = orvasm_result_diagnostic_count(result);
    for (std::size_t i = 0; i < count; i++) {
        const orvasm_diagnostic* line = orvasm_result_diagnostic(result, i);
        if (!line->text || !line->message || !line->detail || line->notes > count - i - 1)
            fail("a malformed diagnostic record");
        if (all) all->append(line->text, line->length);
    }
    for (std::size_t i = 0; i < orvasm_result_listing_count(result); i++) {
        const orvasm_listing_record* record = orvasm_result_listing(result, i);
        if (record->position.line != 0 && !record->position.file) fail("a position without file");
        if (all) *all += std::to_string(record->kind) + " " + std::to_string(record->address) + " ";
    }
    for (std::size_t i = 0; i < orvasm_result_file_count(result); i++)
        if (all) *all += orvasm_result_file(result, i);
}

// FNV-1a: which inputs are compared with a fresh assembly.
std::uint32_t hash(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; i++) h = (h ^ data[i]) * 16777619u;
    return h;
}

// Positions, files and locations on half the inputs each, the listing on
// one in LIST_EVERY. A small listing's tables are small now, but a listed
// input still costs about 1.6 times another under AddressSanitizer: it
// keeps positions, and contents() has every record made for the interface,
// which for a long expansion is a large block to map. Listing every input
// would run some 35% fewer inputs per second.
unsigned extras(std::uint32_t picked) {
    unsigned flags = (picked >> 9) & (ORVASM_POSITIONS | ORVASM_DEPENDENCIES | ORVASM_LOCATIONS);
    if ((picked >> 13) % LIST_EVERY == 0) flags |= ORVASM_LISTING;
    return flags;
}

orvasm_assembler* kept = orvasm_assembler_new();

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    split_input(reinterpret_cast<const char*>(data), size);
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_path = "in.orv";
    options.resolver = &serve;
    options.resolver_context = &table;
    std::uint32_t picked = hash(data, size);
    options.flags = extras(picked);
    options.rom_name = "out.rom";
    orvasm_result* reused = orvasm_assemble(kept, &options);
    if (picked % COMPARE_EVERY != 0) {
        contents(reused, nullptr);
    } else {
        orvasm_result* fresh = orvasm_assemble(nullptr, &options);
        std::string by_reused, by_fresh;
        contents(reused, &by_reused);
        contents(fresh, &by_fresh);
        if (by_reused != by_fresh) fail("a reused assembler differs from a fresh one");
        orvasm_result_free(fresh);
    }
    orvasm_result_free(reused);
    return 0;
}
