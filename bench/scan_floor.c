/* The floor for sources that are mostly comments: what any program must do
 * with one. "read" only reads the file in blocks of 64 KiB, as orvasm does;
 * "scan" also finds each parenthesis in turn, 16 bytes at a time (SSE2 on
 * x86-64, a byte at a time elsewhere), as a comment skip must: whether one
 * closes the comment depends on those before it.
 *
 * scan_floor read FILE: prints the number of bytes read.
 * scan_floor scan FILE: prints the number of parentheses. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

enum { BLOCK = 1 << 16, STEP = 16 };

/* The first "(" or ")" at or after `from`; a ")" is planted after the data.
 * "(" is 0x28 and ")" 0x29: with the low bit set, both are ")". */
static size_t next_parenthesis(const unsigned char* bytes, size_t from) {
#if defined(__SSE2__)
    const __m128i ones = _mm_set1_epi8(1), closing = _mm_set1_epi8(')');
    for (;; from += STEP) {
        __m128i chunk = _mm_loadu_si128((const __m128i*)(bytes + from));
        unsigned mask = (unsigned)_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_or_si128(chunk, ones), closing));
        if (mask) return from + (size_t)__builtin_ctz(mask);
    }
#else
    while ((bytes[from] | 1) != ')') from++;
    return from;
#endif
}

static size_t count_parentheses(unsigned char* bytes, size_t size) {
    size_t count = 0;
    bytes[size] = ')';
    for (size_t at = next_parenthesis(bytes, 0); at < size; at = next_parenthesis(bytes, at + 1))
        count++;
    return count;
}

int main(int argc, char** argv) {
    /* Room for the planted byte and the step that reads past it. */
    static unsigned char buffer[BLOCK + STEP];
    FILE* file;
    size_t read, total = 0, parentheses = 0;
    int scan = argc == 3 && strcmp(argv[1], "scan") == 0;
    if (argc != 3 || (!scan && strcmp(argv[1], "read") != 0) || !(file = fopen(argv[2], "rb"))) {
        fprintf(stderr, "usage: scan_floor read|scan FILE\n");
        return 1;
    }
    while ((read = fread(buffer, 1, BLOCK, file)) > 0) {
        total += read;
        if (scan) parentheses += count_parentheses(buffer, read);
    }
    fclose(file);
    printf("%zu\n", scan ? parentheses : total);
    return 0;
}
