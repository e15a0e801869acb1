// Assembles a source through the native library and prints the whole result
// as one line of JSON, for web/test/native.test.mjs to compare with what the
// WebAssembly build gives for the same files:
//
//   orvasm_result_dump [--locations] SOURCE ROM
//
// The flags are those of the page (the listing, and the located lines with
// --locations). Every string is written as the hex of its bytes, so that any
// byte survives; a missing one is null.
#include <cstdio>
#include <cstring>

#include "orvasm/orvasm.h"

namespace {

void put_hex(const unsigned char* bytes, std::size_t size) {
    std::putchar('"');
    for (std::size_t i = 0; i < size; i++) std::printf("%02x", bytes[i]);
    std::putchar('"');
}

void put_string(const char* text) {
    if (!text) {
        std::fputs("null", stdout);
        return;
    }
    put_hex(reinterpret_cast<const unsigned char*>(text), std::strlen(text));
}

void put_position(const orvasm_position& at) {
    std::putchar(',');
    put_string(at.file);
    std::printf(",%u,%u", static_cast<unsigned>(at.line), static_cast<unsigned>(at.column));
}

void put_symbols(const orvasm_result* result) {
    std::fputs(",\"symbols\":[", stdout);
    for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++) {
        const orvasm_symbol* symbol = orvasm_result_symbol(result, i);
        std::fputs(i ? ",[" : "[", stdout);
        put_string(symbol->name);
        std::printf(",%u,%u", symbol->address, symbol->uses);
        put_position(symbol->definition);
        std::putchar(']');
    }
    std::putchar(']');
}

void put_diagnostics(const orvasm_result* result) {
    std::fputs(",\"diagnostics\":[", stdout);
    for (std::size_t i = 0; i < orvasm_result_diagnostic_count(result); i++) {
        const orvasm_diagnostic* d = orvasm_result_diagnostic(result, i);
        std::printf(i ? ",[%d," : "[%d,", d->severity);
        put_string(d->message);
        std::putchar(',');
        put_string(d->detail);
        put_position(d->position);
        std::printf(",%u,", static_cast<unsigned>(d->notes));
        put_hex(reinterpret_cast<const unsigned char*>(d->text), d->length);
        std::putchar(',');
        put_string(d->fix);
        std::putchar(']');
    }
    std::printf("],\"dropped\":%zu,\"problems\":[", orvasm_result_diagnostics_dropped(result));
    for (std::size_t i = 0; i < orvasm_result_problem_count(result); i++)
        std::printf(i ? ",%zu" : "%zu", orvasm_result_problem(result, i));
    std::putchar(']');
}

void put_listing(const orvasm_result* result) {
    std::fputs(",\"listing\":[", stdout);
    for (std::size_t i = 0; i < orvasm_result_listing_count(result); i++) {
        const orvasm_listing_record* r = orvasm_result_listing(result, i);
        std::printf(i ? ",[%d" : "[%d", r->kind);
        put_position(r->position);
        std::printf(",%u,%u,%u,", static_cast<unsigned>(r->address), static_cast<unsigned>(r->size),
                    static_cast<unsigned>(r->depth));
        put_string(r->target);
        std::putchar(']');
    }
    std::printf("],\"listing_dropped\":%zu", orvasm_result_listing_dropped(result));
}

} // namespace

int main(int argc, char** argv) {
    bool locations = argc == 4 && std::strcmp(argv[1], "--locations") == 0;
    if (argc != 3 + locations) {
        std::fputs("usage: orvasm_result_dump [--locations] SOURCE ROM\n", stderr);
        return 2;
    }
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_path = argv[1 + locations];
    options.rom_name = argv[2 + locations];
    options.flags = ORVASM_LISTING | (locations ? ORVASM_LOCATIONS : 0u);
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    if (!result) return 1;
    std::size_t size = 0;
    const unsigned char* rom = orvasm_result_rom(result, &size);
    std::printf("{\"status\":%d,\"start\":%u,\"rom\":", orvasm_result_status(result),
                orvasm_result_start(result));
    put_hex(rom, size);
    put_symbols(result);
    put_diagnostics(result);
    put_listing(result);
    std::puts("}");
    orvasm_result_free(result);
    return 0;
}
