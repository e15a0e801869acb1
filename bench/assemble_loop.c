/* Assembles one source from memory again and again through liborvasm, as
 * a live-coding tool that reassembles on every keystroke would: one
 * assembler handle, its state reused, no file system after the first read.
 *
 * assemble_loop FILE COUNT: prints "ASSEMBLIES_PER_SECOND ROM_BYTES". The
 * instructions of one assembly are the difference between two runs of
 * different counts, divided (bench/run.py does it under callgrind). */
#define _POSIX_C_SOURCE 199309L /* clock_gettime */
#include <orvasm/orvasm.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static unsigned char* read_whole(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    unsigned char* data = NULL;
    long length;
    if (!file) return NULL;
    if (fseek(file, 0, SEEK_END) == 0 && (length = ftell(file)) >= 0 &&
        fseek(file, 0, SEEK_SET) == 0 && (data = malloc((size_t)length + 1)) != NULL)
        *size = fread(data, 1, (size_t)length, file);
    fclose(file);
    return data;
}

int main(int argc, char** argv) {
    size_t size = 0;
    unsigned char* source = argc == 3 ? read_whole(argv[1], &size) : NULL;
    long count = argc == 3 ? atol(argv[2]) : 0;
    if (!source || count < 1) {
        fprintf(stderr, "usage: assemble_loop FILE COUNT\n");
        return 2;
    }
    orvasm_assembler* assembler = orvasm_assembler_new();
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_data = source;
    options.source_size = size;
    options.source_name = argv[1];
    options.rom_name = "out.rom";
    size_t rom_size = 0;
    double start = now();
    for (long i = 0; i < count; i++) {
        orvasm_result* result = orvasm_assemble(assembler, &options);
        if (orvasm_result_status(result) != ORVASM_OK) {
            fprintf(stderr, "assemble_loop: %s does not assemble\n", argv[1]);
            return 1;
        }
        orvasm_result_rom(result, &rom_size);
        orvasm_result_free(result);
    }
    double seconds = now() - start;
    printf("%.0f %zu\n", (double)count / seconds, rom_size);
    orvasm_assembler_free(assembler);
    free(source);
    return 0;
}
