/* The floor for the benchmark: the least a program can do with a source,
 * read it in blocks and count its whitespace-separated tokens. orvasm reads
 * the same bytes and does everything else besides.
 *
 * count_tokens FILE: prints the number of tokens. */
#include <stdio.h>

int main(int argc, char** argv) {
    static unsigned char buffer[1 << 16];
    static unsigned char space[256];
    FILE* file;
    size_t count;
    long tokens = 0;
    int in_token = 0;
    if (argc < 2 || !(file = fopen(argv[1], "rb"))) {
        fprintf(stderr, "usage: count_tokens FILE\n");
        return 1;
    }
    space[' '] = space['\t'] = space['\n'] = space['\v'] = space['\f'] = space['\r'] = 1;
    while ((count = fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (size_t i = 0; i < count; i++) {
            int is_space = space[buffer[i]];
            tokens += !is_space & !in_token;
            in_token = !is_space;
        }
    }
    fclose(file);
    printf("%ld\n", tokens);
    return 0;
}
