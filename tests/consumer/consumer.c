/* A program outside the tree that uses an installed liborvasm: it
 * assembles a source from memory, with an include served by a resolver,
 * and prints the status, the rom bytes and the symbols. */
#include <orvasm/orvasm.h>
#include <stdio.h>
#include <string.h>

static int serve(void* context, const char* path, const unsigned char** data, size_t* size) {
    const char* text = context;
    if (strcmp(path, "lib.orv") != 0) return ORVASM_NOT_FOUND;
    *data = (const unsigned char*)text;
    *size = strlen(text);
    return ORVASM_FOUND;
}

int main(void) {
    const char source[] = "@main ;lib JSR2 BRK ~lib.orv";
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_data = (const unsigned char*)source;
    options.source_size = sizeof source - 1;
    options.source_name = "main.orv";
    options.resolver = serve;
    options.resolver_context = "@lib #2a";
    options.print_to = stderr;
    options.rom_name = "main.rom";
    orvasm_result* result = orvasm_assemble(NULL, &options);
    if (!result) return 2;
    size_t size = 0;
    const unsigned char* rom = orvasm_result_rom(result, &size);
    printf("orvasm %s (header %d) status %d rom", orvasm_version(), ORVASM_VERSION_NUMBER,
           orvasm_result_status(result));
    for (size_t i = 0; i < size; i++) printf(" %02x", rom[i]);
    for (size_t i = 0; i < orvasm_result_symbol_count(result); i++) {
        const orvasm_symbol* symbol = orvasm_result_symbol(result, i);
        printf(" %s=%04x", symbol->name, symbol->address);
    }
    printf("\n");
    orvasm_result_free(result);
    return 0;
}
